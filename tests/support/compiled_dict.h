// A dictionary compiled from its .ddl source for the length of a test: the
// source is compiled into a fresh temporary directory with the dictionary
// compiler and the binary file loaded with ddf_LoadDDF. Compiler
// diagnostics or a load failure fail the test with their text. The loaded
// dictionary is freed when the object goes, so declare it after anything
// (a model) that still uses it, or free the models first.
#ifndef MVX_TEST_SUPPORT_COMPILED_DICT_H
#define MVX_TEST_SUPPORT_COMPILED_DICT_H

#include <string>

#include "mvx/ddf.h"
#include "support/tempdir.h"

namespace mvxtest {

// Path of a dictionary source among the test fixtures (tests/data).
std::string TestDataPath(const std::string& leaf);
// Path of a dictionary source among the examples.
std::string ExamplePath(const std::string& leaf);
// Frees a dictionary as ddf_LoadDDF made it (null is ignored).
void FreeDict(DDF_DICT* dict);

class CompiledDict {
public:
    CompiledDict() = default;
    ~CompiledDict();
    CompiledDict(const CompiledDict&) = delete;
    CompiledDict& operator=(const CompiledDict&) = delete;

    // Compiles source_path and loads the result; the library must be
    // initialised. Returns false (and records a test failure naming the
    // diagnostics or the load status) when either step fails; get() is
    // then null. A second call frees the first dictionary.
    bool Load(const std::string& source_path);

    DDF_DICT* get() const { return dict_; }
    DDF_DICT* operator->() const { return dict_; }

    // The TFI of a TF in this dictionary, or -1.
    int32_t Tfi(int32_t tf) const;
    // The first field descriptor of a type (by TF); null when the TF is absent.
    DDF_FIELD* Fields(int32_t tf) const;
    // Descriptor number `number` of the type, bounds-checked against its run.
    DDF_FIELD* Field(int32_t tf, int32_t number) const;

    // Frees the dictionary now (also done by the destructor).
    void Free();

private:
    TempDir dir_;
    DDF_DICT* dict_ = nullptr;
};

} // namespace mvxtest

#endif
