#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace mvxtest {

TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/mvxtest.XXXXXX";
    char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

EnvVar::EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
}

EnvVar::~EnvVar() {
    Set(old_);
}

void EnvVar::Set(const std::optional<std::string>& value) {
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ToolRun RunTool(const std::string& args, ToolStreams streams) {
    static const char* const kRedirect[] = {" 2>/dev/null", " 2>&1 1>/dev/null", " 2>&1"};
    const std::string command =
        std::string("'") + MVX_TOOL_PATH + "' " + args + kRedirect[static_cast<int>(streams)];
    ToolRun result{"", -1};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace mvxtest
