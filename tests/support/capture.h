// Test helpers: capture what the library writes to standard output and
// standard error, and record the lines it hands to mpm__Output.
#ifndef MVX_TEST_CAPTURE_H
#define MVX_TEST_CAPTURE_H

#include <cstdio>
#include <string>
#include <vector>

#include "libmvx.h"

namespace mvxtest {

// Redirects a standard stream (stdout or stderr) into a temporary file
// until Finish, which returns everything written in between.
class StreamCapture {
public:
    explicit StreamCapture(FILE* stream);
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    std::string Finish();

private:
    FILE* stream_;
    int saved_ = -1;
    FILE* file_ = nullptr;
};

// One line as mpm__Output received it.
struct OutputLine {
    std::string text;
    FILE* stream;
    int last_line; // mpm__LastLine during the call
};

// Replaces mpm__Output by a recorder for its lifetime.
class OutputRecorder {
public:
    OutputRecorder();
    ~OutputRecorder();
    OutputRecorder(const OutputRecorder&) = delete;
    OutputRecorder& operator=(const OutputRecorder&) = delete;
    const std::vector<OutputLine>& lines() const { return lines_; }
    // Everything written to one stream, concatenated.
    std::string On(FILE* stream) const;

private:
    static int Record(const char* line, FILE* stream);
    MPM_OUTPUT saved_;
    std::vector<OutputLine> lines_;
    static OutputRecorder* active_;
};

// The texts on the error stack, most recent first.
std::vector<std::string> StackTexts();
// The text of the most recent record on the error stack, or "".
std::string LastText();

// Reads a whole file.
std::string ReadFile(const std::string& path);

} // namespace mvxtest

#endif
