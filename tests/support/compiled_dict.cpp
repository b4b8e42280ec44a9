#include "support/compiled_dict.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ddfc/ddfc.h"

namespace mvxtest {

std::string TestDataPath(const std::string& leaf) {
    return std::string(MVX_TEST_DATA_DIR) + "/" + leaf;
}

std::string ExamplePath(const std::string& leaf) {
    return std::string(MVX_EXAMPLES_DIR) + "/" + leaf;
}

CompiledDict::~CompiledDict() {
    Free();
}

void FreeDict(DDF_DICT* dict) {
    if (dict == nullptr) return;
    // The loader gives each section a block of its own (an empty one too),
    // so every pointer of the section table is one block to free.
    for (const DDF_SECTION* s = ddf__Sections; s->name != nullptr; ++s) {
        void* block = nullptr;
        std::memcpy(&block, reinterpret_cast<uint8_t*>(dict) + s->offset, sizeof block);
        std::free(block);
    }
    std::free(dict);
}

void CompiledDict::Free() {
    FreeDict(dict_);
    dict_ = nullptr;
}

bool CompiledDict::Load(const std::string& source_path) {
    Free();
    std::string leaf = source_path.substr(source_path.find_last_of('/') + 1);
    const std::string binary = dir_ / (leaf + ".ddf");
    std::vector<ddfc::Diagnostic> diagnostics;
    if (!ddfc::CompileFile(source_path, binary, &diagnostics)) {
        std::string text;
        for (const ddfc::Diagnostic& d : diagnostics)
            text += d.Text() + "\n";
        ADD_FAILURE() << "cannot compile " << source_path << ":\n" << text;
        return false;
    }
    const int32_t status = ddf_LoadDDF(0, binary.c_str(), &dict_);
    if (status != 0 || dict_ == nullptr) {
        ADD_FAILURE() << "cannot load " << binary << ": status 0x" << std::hex << status;
        dict_ = nullptr;
        return false;
    }
    return true;
}

int32_t CompiledDict::Tfi(int32_t tf) const {
    if (dict_ == nullptr) return -1;
    return ddf_FindTF(dict_->typeforms, dict_->type_count, tf);
}

DDF_FIELD* CompiledDict::Fields(int32_t tf) const {
    const int32_t tfi = Tfi(tf);
    if (tfi < 0) return nullptr;
    return dict_->fld_data + dict_->fld_indices[tfi];
}

DDF_FIELD* CompiledDict::Field(int32_t tf, int32_t number) const {
    const int32_t tfi = Tfi(tf);
    if (tfi < 0 || number < 0 || number >= dict_->ent_fldcnts[tfi]) {
        ADD_FAILURE() << "no descriptor " << number << " in type " << (tf >> 16) << ":"
                      << (tf & 0xFFFF);
        return nullptr;
    }
    return dict_->fld_data + dict_->fld_indices[tfi] + number;
}

} // namespace mvxtest
