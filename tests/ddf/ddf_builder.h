// A binary dictionary file taken apart into its file header, its dictionary
// header and its sections, so that tests can make precise corruptions of a
// compiled dictionary and write the result out again.
#ifndef MVX_TEST_DDF_BUILDER_H
#define MVX_TEST_DDF_BUILDER_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "mvx/ddf.h"

namespace ddftest {

using Bytes = std::vector<uint8_t>;

template <typename T> void Put(Bytes& out, std::size_t at, const T& value) {
    if (out.size() < at + sizeof value) out.resize(at + sizeof value);
    std::memcpy(out.data() + at, &value, sizeof value);
}
template <typename T> void Append(Bytes& out, const T& value) {
    Put(out, out.size(), value);
}
template <typename T> T Get(const Bytes& in, std::size_t at) {
    T value{};
    std::memcpy(&value, in.data() + at, sizeof value);
    return value;
}

struct Section {
    std::string name;
    Bytes data;
};

struct DdfImage {
    std::string magic = DDF_MAGIC;
    int16_t version = DDF_FILE_VERSION;
    int16_t section_count = -1; // -1: the number of sections in the list
    DDF_DICT header{};          // pointer fields carry whatever the test puts there
    std::vector<Section> sections;

    Section* Find(const std::string& name) {
        for (auto& s : sections)
            if (s.name == name) return &s;
        ADD_FAILURE() << "no section " << name;
        return nullptr;
    }
    void Remove(const std::string& name) {
        std::erase_if(sections, [&](const Section& s) { return s.name == name; });
    }
    // Changes descriptor `index` of fld_data in place.
    template <typename Change> void Field(int index, Change change) {
        Bytes& data = Find("fld_data")->data;
        auto field = Get<DDF_FIELD>(data, index * sizeof(DDF_FIELD));
        change(field);
        Put(data, index * sizeof(DDF_FIELD), field);
    }
    // The file: headers, sections, then zeros up to whole pages.
    Bytes File() const {
        Bytes out(32, 0);
        std::memcpy(out.data(), magic.data(), std::min<std::size_t>(magic.size(), 32));
        Append(out, version);
        Append(out, section_count != -1 ? section_count : static_cast<int16_t>(sections.size()));
        Append(out, header);
        for (const auto& s : sections) {
            DDF_SECTHDR sh{};
            std::memcpy(sh.name, s.name.data(), std::min<std::size_t>(s.name.size(), 32));
            sh.size = static_cast<int32_t>(s.data.size());
            Append(out, sh);
            out.insert(out.end(), s.data.begin(), s.data.end());
        }
        out.resize((out.size() + DDF_PAGE_SIZE - 1) / DDF_PAGE_SIZE * DDF_PAGE_SIZE, 0);
        return out;
    }
};

// A section of strings: count 8-byte offsets, then the strings.
inline Bytes StringSection(const std::vector<std::string>& strings) {
    Bytes out(strings.size() * 8, 0);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        Put<uint64_t>(out, i * 8, out.size());
        out.insert(out.end(), strings[i].begin(), strings[i].end());
        out.push_back(0);
    }
    return out;
}

// Compiles source and takes the file apart; a diagnostic fails the test.
inline DdfImage Compiled(const std::string& source) {
    Bytes file;
    std::vector<ddfc::Diagnostic> diags;
    DdfImage image;
    if (!ddfc::Compile(source, "image.ddl", &file, &diags)) {
        ADD_FAILURE() << (diags.empty() ? std::string("?") : diags[0].Text());
        return image;
    }
    image.header = Get<DDF_DICT>(file, sizeof(DDF_FILEHDR));
    std::size_t at = sizeof(DDF_FILEHDR) + sizeof(DDF_DICT);
    for (int16_t n = Get<int16_t>(file, 34); n > 0; --n) {
        const auto sh = Get<DDF_SECTHDR>(file, at);
        const auto* data = file.data() + at + sizeof sh;
        image.sections.push_back({sh.name, Bytes(data, data + sh.size)});
        at += sizeof sh + static_cast<std::size_t>(sh.size);
    }
    return image;
}

} // namespace ddftest

#endif
