// A field of a type given by TFI, found by the index of its name.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_FindTFIField(int32_t tfi, const char* name, DDF_FIELD** field) {
    if (field != nullptr) *field = nullptr;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || name == nullptr || field == nullptr) return ddfi::NullPointer();
    if (tfi < 0 || tfi >= dict->type_count) return DDF_NOT_FOUND;
    int32_t index = -1;
    const int32_t rc = ddf_MakeFieldNum(name, &index);
    if (rc != 0) return rc;
    DDF_FIELD* d = ddfi::FirstField(dict, tfi);
    // The endent descriptor ends the scan; the run's length bounds it in a
    // type that lacks one.
    for (int32_t i = 0; i < ddfi::FieldCount(dict, tfi) && d[i].type != DDF_ENDENT; ++i) {
        if (d[i].name == index) {
            *field = &d[i];
            return 0;
        }
    }
    return DDF_NOT_FOUND;
}
