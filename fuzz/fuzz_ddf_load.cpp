// Fuzzes the binary dictionary loader: any bytes are written to a file and
// loaded. A dictionary that loads must be safe to read everywhere the query
// operations go, so every relocated string and every field descriptor of
// every entity type is followed here (the sanitizers catch a stray read),
// every query is run on every type and field of it, and the dictionary
// tools (dump and C header) are run on it; then the dictionary is freed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "fuzz_support.h"
#include "libmvx.h"

namespace {

const std::string& DictPath() {
    static const std::string path = FuzzScratchPath("ddf");
    return path;
}

volatile std::size_t sink;

void Strings(char* const* table, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        sink = sink + std::strlen(table[i]);
}

// Reads what the queries read.
void Walk(const DDF_DICT* d) {
    Strings(d->attr_names, d->attr_count);
    Strings(d->ptr_names, d->ptr_name_count);
    Strings(d->fld_names, d->fld_name_count);
    Strings(d->fld_descs, d->fld_desc_count);
    Strings(d->ent_names, d->type_count);
    Strings(d->ent_descs, d->type_count);
    for (int32_t i = 0; i < d->vdesc_count; ++i)
        sink = sink + std::strlen(d->vdescs[i].name);
    for (int32_t t = 0; t < d->type_count; ++t) {
        sink = sink + static_cast<std::size_t>(d->typeforms[t]) + d->ent_sizes[t] + d->ent_info[t];
        for (int32_t f = 0; f < d->ent_fldcnts[t]; ++f) {
            const DDF_FIELD& field = d->fld_data[d->fld_indices[t] + f];
            if (field.type < DDF_FIELD_TYPES) sink = sink + ddf__FldData[field.type].size;
            if (field.name >= 0) sink = sink + std::strlen(d->fld_names[field.name]);
            if (field.desc >= 0) sink = sink + std::strlen(d->fld_descs[field.desc]);
            for (int r = 0; r < field.ref_count; ++r)
                sink = sink + static_cast<std::size_t>(d->ptr_data[field.ref_first + r]);
            for (int v = 0; v < field.vdesc_count; ++v)
                sink = sink + std::strlen(d->vdescs[field.aux + v].name);
            if (field.type == DDF_LET) sink = sink + d->opcodes[field.let * 6 + 5];
            if (field.type == DDF_SUBENT) {
                sink = sink + static_cast<std::size_t>(d->typeforms[d->subent_tfis[field.key]]);
            }
        }
    }
}

// Runs the queries on every type and field, with the dictionary current and
// a table of count slots filled with small values.
void Query(DDF_DICT* d) {
    static int32_t slots[DDF_COUNT_SLOTS];
    for (int32_t i = 0; i < DDF_COUNT_SLOTS; ++i)
        slots[i] = i % 7;
    ddf__Current = d;
    ddf__Counters = slots;
    ddf__SavedTF = MVX_NULL_TF;
    for (int32_t t = 0; t < d->type_count; ++t) {
        const int32_t tf = d->typeforms[t];
        sink = sink + static_cast<std::size_t>(ddf_GetNameTF(d->ent_names[t]));
        int32_t count = 0;
        int32_t* forms = nullptr;
        if (ddf_ExpandForms(MVX_TF_TYPE(tf), &count, &forms) == 0) std::free(forms);
        ddf_DbgDumpEntityFields(0, tf);
        for (int32_t f = 0; f < d->ent_fldcnts[t]; ++f) {
            DDF_FIELD* field = &d->fld_data[d->fld_indices[t] + f];
            DDF_FIELD* found = nullptr;
            if (field->name >= 0) {
                const char* name = d->fld_names[field->name];
                int32_t index = 0;
                ddf_MakeFieldNum(name, &index);
                ddf_FindTFIField(t, name, &found);
                ddf_GetFieldFromName(name, tf, &found);
            }
            double value[2] = {};
            ddf_GetFieldDefault(field, value);
            sink = sink + (ddf_GetFieldVdescVal(field, 1) != nullptr);
            sink = sink + static_cast<std::size_t>(ddf_CheckFieldReftype(field, tf));
            if (field->dim_count > 0) ddf_GetPFixedCount(tf, field, &found);
            int32_t member = 0;
            ddf_GetUnionTypeByType(field, DDF_INT, &member);
            ddf_GetUnionTypeByName(field, "a.b", &member);
            int32_t result = 0;
            if (field->type == DDF_LET) {
                ddf__ComputeLet(reinterpret_cast<const DDF_LETOP*>(d->opcodes) + field->let,
                                &result);
            }
            for (int k = 0; k < field->dim_count && k < 5; ++k)
                ddf__DimValue(&field->dims[k], &result);
        }
    }
    ddf__Current = nullptr;
    ddf__Counters = nullptr;
}

// Frees a loaded dictionary. The load succeeded, so the section headers in
// the file are all well formed; each named section owns one block.
void Free(DDF_DICT* dict, const std::vector<uint8_t>& file) {
    int16_t sections = 0;
    std::memcpy(&sections, file.data() + 34, sizeof sections);
    bool freed[DDF_SECTION_COUNT] = {};
    std::size_t offset = sizeof(DDF_FILEHDR) + sizeof(DDF_DICT);
    for (int16_t i = 0; i < sections; ++i) {
        DDF_SECTHDR header;
        std::memcpy(&header, file.data() + offset, sizeof header);
        offset += sizeof header + static_cast<std::size_t>(header.size);
        for (int k = 0; k < DDF_SECTION_COUNT; ++k) {
            if (freed[k] || std::strcmp(ddf__Sections[k].name, header.name) != 0) continue;
            freed[k] = true;
            void* block = nullptr;
            std::memcpy(&block, reinterpret_cast<uint8_t*>(dict) + ddf__Sections[k].offset,
                        sizeof block);
            std::free(block);
        }
    }
    std::free(dict);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
    // The field dumps write to standard output.
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    if (size > 4 * DDF_PAGE_SIZE) return 0;
    // Inputs are padded to whole pages, the only files the loader reads.
    std::vector<uint8_t> file(data, data + size);
    file.resize((size + DDF_PAGE_SIZE - 1) / DDF_PAGE_SIZE * DDF_PAGE_SIZE, 0);
    FILE* f = std::fopen(DictPath().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    DDF_DICT* dict = nullptr;
    if (ddf_LoadDDF(0, DictPath().c_str(), &dict) == 0) {
        Walk(dict);
        Query(dict);
        // The tools refuse or print; either way they stay inside the tables.
        ddfc::SectionSizes sizes;
        if (!ddfc::ReadSectionSizes(file, &sizes)) std::abort(); // the loader read them
        std::string text;
        std::string error;
        ddfc::Dump(*dict, sizes, &text, &error);
        ddfc::Header(*dict, sizes, "FUZZ_H", &text, &error);
        Free(dict, file);
    }
    mpm_ClearError(0);
    std::remove(DictPath().c_str());
    return 0;
}
