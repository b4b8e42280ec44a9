// Helpers of the ugn tests: a fresh temporary directory per test, process
// environment variables set and restored, the texts on the error stack.
#ifndef MVX_TEST_UGN_SUPPORT_H
#define MVX_TEST_UGN_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "libmvx.h"

namespace ugntest {

// A directory made with mkdtemp under the system's temporary directory,
// removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/mvxugn.XXXXXX";
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        // Permissions a test took away must not stop the removal.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with nullopt unsets) a process environment variable and puts the
// old value back at the end.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~EnvVar() { Set(old_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;
    void Set(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// The texts on the error stack, most recent first.
inline std::vector<std::string> StackTexts() {
    std::vector<std::string> texts;
    for (int i = 1; mpm__ErrorStack != nullptr && i <= mpm__ErrorStack->count; ++i) {
        auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, i));
        texts.emplace_back(rec->text);
    }
    return texts;
}

} // namespace ugntest

#endif
