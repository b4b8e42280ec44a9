// Test helpers for the file system and the environment: a fresh temporary
// directory per test, and process environment variables set for the length
// of a test and put back afterwards.
#ifndef MVX_TEST_SUPPORT_TEMPDIR_H
#define MVX_TEST_SUPPORT_TEMPDIR_H

#include <optional>
#include <string>

namespace mvxtest {

// A directory made with mkdtemp under the system's temporary directory,
// removed with everything in it when the object goes. Permissions a test
// took away do not stop the removal.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with nullopt unsets) a process environment variable and puts the
// old value back when the object goes.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;
    void Set(const std::optional<std::string>& value);

private:
    std::string name_;
    std::optional<std::string> old_;
};

// What a program run by RunTool printed and how it ended.
struct ToolRun {
    std::string out;
    int status; // the exit status, or -1 when it did not exit normally
};

// Which output streams of the program RunTool collects.
enum class ToolStreams { kStdout, kStderr, kBoth };

// Runs the mvx program of this build with the given (shell-quoted) arguments
// and collects the chosen streams; the others are discarded.
ToolRun RunTool(const std::string& args, ToolStreams streams = ToolStreams::kStdout);

} // namespace mvxtest

#endif
