#include "support/capture.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace mvxtest {

StreamCapture::StreamCapture(FILE* stream) : stream_(stream) {
    std::fflush(stream_);
    file_ = std::tmpfile();
    saved_ = dup(fileno(stream_));
    dup2(fileno(file_), fileno(stream_));
}

StreamCapture::~StreamCapture() {
    if (file_ != nullptr) Finish();
}

std::string StreamCapture::Finish() {
    std::fflush(stream_);
    dup2(saved_, fileno(stream_));
    close(saved_);
    std::string out;
    std::rewind(file_);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
        out.append(chunk, n);
    std::fclose(file_);
    file_ = nullptr;
    return out;
}

OutputRecorder* OutputRecorder::active_ = nullptr;

OutputRecorder::OutputRecorder() : saved_(mpm__Output) {
    active_ = this;
    mpm__Output = &OutputRecorder::Record;
}

OutputRecorder::~OutputRecorder() {
    mpm__Output = saved_;
    active_ = nullptr;
}

int OutputRecorder::Record(const char* line, FILE* stream) {
    active_->lines_.push_back({line, stream, mpm__LastLine});
    return 0;
}

std::string OutputRecorder::On(FILE* stream) const {
    std::string all;
    for (const OutputLine& l : lines_) {
        if (l.stream == stream) all += l.text;
    }
    return all;
}

std::vector<std::string> StackTexts() {
    std::vector<std::string> texts;
    for (int i = 1; mpm__ErrorStack != nullptr && i <= mpm__ErrorStack->count; ++i) {
        auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, i));
        texts.emplace_back(rec->text != nullptr ? rec->text : "");
    }
    return texts;
}

std::string LastText() {
    const std::vector<std::string> texts = StackTexts();
    return texts.empty() ? "" : texts.front();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace mvxtest
