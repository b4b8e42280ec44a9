// A field's default value, written with the width of its type.
#include <cstring>

#include "ddf/ddf_int.h"

namespace {

template <typename T> void Write(void* value, T v) {
    std::memcpy(value, &v, sizeof v);
}

// The default of a float or double field: keys 50 to 54 select an entry of
// ddf__DefaultMap, every other key (0 among them) means 0.0.
double Real(int16_t key) {
    if (key >= 50 && key < 55) return ddf__DefaultMap[key - 50];
    return 0.0;
}

} // namespace

extern "C" int32_t ddf_GetFieldDefault(const DDF_FIELD* field, void* value) {
    const int32_t rc = ddfi::CheckField(field);
    if (rc != 0) return rc;
    if (value == nullptr) return ddfi::NullPointer();
    switch (field->type) {
    case DDF_SHORT:
        Write<int16_t>(value, field->key);
        break;
    case DDF_INT:
    case DDF_LONG:
        Write<int32_t>(value, field->key);
        break;
    case DDF_COUNT:
        Write<int32_t>(value, 0);
        break;
    case DDF_FLOAT:
        Write<float>(value, static_cast<float>(Real(field->key)));
        break;
    case DDF_DOUBLE:
        Write<double>(value, Real(field->key));
        break;
    case DDF_CHAR:
        Write<uint8_t>(value, static_cast<uint8_t>(field->key & 0xFF));
        break;
    case DDF_FSTRING:
        Write<uint8_t>(value, 0);
        break;
    case DDF_VSTRING:
    case DDF_PTR:
        Write<uint64_t>(value, 0);
        break;
    default:
        break; // no default
    }
    return 0;
}
