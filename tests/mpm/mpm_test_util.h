// Helpers shared by the message tests: message table files built byte by
// byte, and texts the library allocated.
#ifndef MVX_TEST_MPM_UTIL_H
#define MVX_TEST_MPM_UTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace mpmtest {

// A message table file: the module index (one offset per module, -1 for
// none) at 0, one module's directory at 1024 with a record (offset, length)
// per text index, then the texts. An empty text has no record.
inline std::string TableBytes(int module, const std::vector<std::string>& texts) {
    std::string bytes(1024 + 8 * 64, '\0');
    auto put = [&](size_t at, size_t v) {
        const auto value = static_cast<int32_t>(v);
        std::memcpy(&bytes[at], &value, 4);
    };
    for (int m = 0; m < 256; ++m)
        put(4 * static_cast<size_t>(m), m == module ? 1024 : static_cast<size_t>(-1));
    for (size_t i = 0; i < texts.size() && i < 64; ++i) {
        if (texts[i].empty()) continue;
        put(1024 + 8 * i, bytes.size());
        put(1024 + 8 * i + 4, texts[i].size());
        bytes += texts[i];
    }
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, '\0'); // whole pages
    return bytes;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// A text the library allocated, freed; "<null>" for none.
inline std::string Take(char* heap) {
    std::string s = heap != nullptr ? heap : "<null>";
    std::free(heap);
    return s;
}

} // namespace mpmtest

#endif
