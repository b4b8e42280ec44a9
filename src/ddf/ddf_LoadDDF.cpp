// Loading a binary dictionary file.
//
// The file is read front to back through the paged file with a running
// offset: file header, dictionary header, then each section header and its
// data. Every read is first checked against the file's size, because a
// paged-file read past the end would extend the file with zero pages; a
// dictionary that ends early is a read error and the file stays untouched.
//
// Each section goes into a block of its own, whose address replaces the
// section's pointer in the header; sections of string offsets are relocated
// in place as they arrive, after checking every offset against the block.
// Once all sections are in, the whole dictionary is checked so that the
// query operations can trust every count and index they follow: a load
// either hands out a dictionary that is safe to read or frees everything.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "ddf/ddf_int.h"
#include "mvx/dof.h"
#include "mvx/mpm.h"

namespace {

// The loader's state; whatever it still holds is released on destruction.
class Loader {
public:
    explicit Loader(const char* name) : name_(name) {}
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;
    ~Loader() {
        Close();
        if (dict_ != nullptr) {
            for (void* block : blocks_)
                std::free(block);
            std::free(dict_);
        }
    }

    int32_t Load(DDF_DICT** out);

private:
    void Close() {
        if (file_ != nullptr) dof_Close(0, file_); // nothing was written
        file_ = nullptr;
    }
    // Closes the file first, then reports code (with the file name where
    // its text takes one).
    int32_t Fail(int32_t code) {
        Close();
        if (code == DDF_MALLOC_ERR) return mpm__SetError(0, code, MPM_ERROR);
        return mpm__SetError(0, code, MPM_ERROR, name_);
    }
    int32_t Read(int64_t count, void* memory);
    int32_t LoadSection(const DDF_SECTHDR& header);
    int32_t Relocate(int kind, uint8_t* block, int32_t size);
    int32_t Check() const;
    bool CheckRun(int16_t first, int16_t count) const;
    bool CheckField(const DDF_FIELD& field, int32_t left) const;
    // Whether kind (1-based) was loaded, and its size in entries of width.
    bool Has(int kind) const { return blocks_[kind - 1] != nullptr; }
    int64_t Entries(int kind, int64_t width) const { return sizes_[kind - 1] / width; }

    const char* name_;
    DOF_FILE* file_ = nullptr;
    int64_t offset_ = 0;
    DDF_DICT* dict_ = nullptr;
    void* blocks_[DDF_SECTION_COUNT] = {};
    int32_t sizes_[DDF_SECTION_COUNT] = {};
};

// Relocation kinds (positions in ddf__Sections) that the checks name.
enum Kind {
    kAttrNames = 1,
    kPtrData = 3,
    kPtrNames = 4,
    kVdescs = 7,
    kOpcodes = 8,
    kTypeforms = 9,
    kFldNames = 10,
    kFldDescs = 11,
    kFldData = 12,
    kFldIndices = 13,
    kEntNames = 14,
    kEntFldcnts = 15,
    kEntDescs = 16,
    kEntSizes = 18,
    kEntInfo = 19,
    kSubentTfis = 20,
};

// Reads count bytes at the running offset and advances it. Nothing past
// the end of the file is ever requested.
int32_t Loader::Read(int64_t count, void* memory) {
    if (count > file_->end - offset_) return Fail(DDF_READ_ERR);
    if (dof_ReadWrite(DOF_READ, file_, count, offset_, memory) != 0) return Fail(DDF_READ_ERR);
    offset_ += count;
    return 0;
}

// Turns the string offsets of a freshly read section into pointers: count
// entries of stride bytes, the offset at position at of each entry. The
// count comes from the dictionary header; every offset must lie inside the
// section and its string end with a NUL inside it.
int32_t Loader::Relocate(int kind, uint8_t* block, int32_t size) {
    int32_t count = 0;
    std::size_t stride = 8;
    std::size_t at = 0;
    switch (kind) {
    case kAttrNames:
        count = dict_->attr_count;
        break;
    case kPtrNames:
        count = dict_->ptr_name_count;
        break;
    case kVdescs:
        count = dict_->vdesc_count;
        stride = sizeof(DDF_VDESC);
        at = offsetof(DDF_VDESC, name);
        break;
    case kFldNames:
        count = dict_->fld_name_count;
        break;
    case kFldDescs:
        count = dict_->fld_desc_count;
        break;
    case kEntNames:
    case kEntDescs:
        count = dict_->type_count;
        break;
    default:
        return 0; // not a section of strings
    }
    if (count < 0 || static_cast<int64_t>(count) * static_cast<int64_t>(stride) > size) {
        return Fail(DDF_READ_ERR);
    }
    for (int32_t i = 0; i < count; ++i) {
        uint8_t* entry = block + static_cast<std::size_t>(i) * stride + at;
        uint64_t offset = 0;
        std::memcpy(&offset, entry, sizeof offset);
        if (offset >= static_cast<uint64_t>(size) ||
            std::memchr(block + offset, 0, static_cast<std::size_t>(size) - offset) == nullptr) {
            return Fail(DDF_READ_ERR);
        }
        char* text = reinterpret_cast<char*>(block + offset);
        std::memcpy(entry, &text, sizeof text);
    }
    return 0;
}

// Reads one section's data into a new block and stores it in the header.
int32_t Loader::LoadSection(const DDF_SECTHDR& header) {
    if (std::memchr(header.name, 0, sizeof header.name) == nullptr) return Fail(DDF_READ_ERR);
    const DDF_SECTION* section = ddf__Sections;
    while (section->name != nullptr && std::strcmp(section->name, header.name) != 0)
        ++section;
    if (section->name == nullptr || header.size < 0) return Fail(DDF_READ_ERR);
    // A section cannot be larger than what is left of the file; checked
    // before allocating so that a bad size costs no memory.
    if (header.size > file_->end - offset_) return Fail(DDF_READ_ERR);
    // An empty section still gets a block of its own, so that its pointer
    // is distinct and can be freed like any other.
    auto* block = static_cast<uint8_t*>(
        mvxc::Malloc(header.size > 0 ? static_cast<std::size_t>(header.size) : 1));
    if (block == nullptr) return Fail(DDF_MALLOC_ERR);
    // A section that comes again replaces the earlier block, which nothing
    // else can reach any more.
    const int index = section->kind - 1;
    std::free(blocks_[index]);
    blocks_[index] = block;
    sizes_[index] = header.size;
    std::memcpy(reinterpret_cast<uint8_t*>(dict_) + section->offset, &block, sizeof block);
    const int32_t rc = Read(header.size, block);
    if (rc != 0) return rc;
    return Relocate(section->kind, block, header.size);
}

// Checks one field descriptor of a type's run; left counts the descriptors
// of the run from this one on.
bool Loader::CheckField(const DDF_FIELD& field, int32_t left) const {
    // Type codes above those of ddf__FldData are kept: the field walk steps
    // over them, and every table lookup by type code is bounded.
    if (field.dim_count > 5) return false;
    if (field.name < -1 || field.name >= dict_->fld_name_count) return false;
    if (field.desc < -1 || field.desc >= dict_->fld_desc_count) return false;
    if (field.ref_count > 0 &&
        (!Has(kPtrData) || field.ref_first + field.ref_count > Entries(kPtrData, 4))) {
        return false;
    }
    if (field.vdesc_count > 0 && field.aux + field.vdesc_count > dict_->vdesc_count) return false;
    switch (field.type) {
    case DDF_LET:
        if (!Has(kOpcodes) || field.let >= Entries(kOpcodes, 6)) return false;
        break;
    case DDF_SUBENT: {
        if (!Has(kSubentTfis) || field.key < 0 || field.key >= Entries(kSubentTfis, 2)) {
            return false;
        }
        if (dict_->subent_tfis[field.key] >= dict_->type_count) return false;
        break;
    }
    case DDF_STRUCT:
        if (field.aux >= left) return false;
        break;
    default:
        break;
    }
    return true;
}

// Checks the descriptor run of one entity type.
bool Loader::CheckRun(int16_t first, int16_t count) const {
    if (first < 0 || count < 0) return false;
    if (count == 0) return true;
    if (!Has(kFldData) || first + count > Entries(kFldData, sizeof(DDF_FIELD))) return false;
    for (int32_t i = 0; i < count; ++i) {
        if (!CheckField(dict_->fld_data[first + i], count - i)) return false;
    }
    return true;
}

// Checks the loaded dictionary as a whole (see ddf_LoadDDF).
int32_t Loader::Check() const {
    // A positive count needs its section; the sections of strings have had
    // their sizes checked against the counts during relocation.
    const struct {
        int32_t count;
        int kind;
    } counted[] = {
        {dict_->attr_count, kAttrNames},    {dict_->ptr_name_count, kPtrNames},
        {dict_->vdesc_count, kVdescs},      {dict_->fld_name_count, kFldNames},
        {dict_->fld_desc_count, kFldDescs}, {dict_->type_count, kEntNames},
        {dict_->type_count, kEntDescs},
    };
    for (const auto& c : counted) {
        if (c.count < 0 || (c.count > 0 && !Has(c.kind))) return DDF_READ_ERR;
    }
    // Every descriptor, not only those of a type's run: a query may be
    // handed any descriptor of fld_data and then follows its indexes.
    if (Has(kFldData)) {
        const int64_t fields = Entries(kFldData, sizeof(DDF_FIELD));
        for (int64_t i = 0; i < fields; ++i) {
            if (!CheckField(dict_->fld_data[i], static_cast<int32_t>(fields - i))) {
                return DDF_READ_ERR;
            }
        }
    }
    const int64_t types = dict_->type_count;
    if (types == 0) return 0;
    const struct {
        int kind;
        int64_t width;
    } per_type[] = {
        {kTypeforms, 4}, {kEntFldcnts, 2}, {kFldIndices, 2}, {kEntSizes, 2}, {kEntInfo, 1}};
    for (const auto& p : per_type) {
        if (!Has(p.kind) || Entries(p.kind, p.width) < types) return DDF_READ_ERR;
    }
    for (int64_t tfi = 0; tfi < types; ++tfi) {
        if (!CheckRun(dict_->fld_indices[tfi], dict_->ent_fldcnts[tfi])) return DDF_READ_ERR;
    }
    return 0;
}

int32_t Loader::Load(DDF_DICT** out) {
    const int32_t opened = dof_Open(DOF_READ_WRITE, name_, 1, DDF_PAGE_SIZE, &file_);
    if (opened != 0) {
        file_ = nullptr;
        return Fail(opened == DOF_MALLOC_ERR ? DDF_MALLOC_ERR : DDF_OPEN_ERR);
    }
    DDF_FILEHDR header{};
    int32_t rc = Read(sizeof header, &header);
    if (rc != 0) return rc;
    if (std::memchr(header.magic, 0, sizeof header.magic) == nullptr ||
        std::strcmp(header.magic, DDF_MAGIC) != 0) {
        return Fail(DDF_ID_ERR);
    }
    if (header.version != DDF_FILE_VERSION) return Fail(DDF_VERSION_ERR);

    dict_ = static_cast<DDF_DICT*>(mvxc::Malloc(sizeof(DDF_DICT)));
    if (dict_ == nullptr) return Fail(DDF_MALLOC_ERR);
    rc = Read(sizeof(DDF_DICT), dict_);
    if (rc != 0) return rc;
    // A negative section count reads no section.
    for (int32_t i = 0; i < header.sections; ++i) {
        DDF_SECTHDR section{};
        rc = Read(sizeof section, &section);
        if (rc == 0) rc = LoadSection(section);
        if (rc != 0) return rc;
    }
    if (Check() != 0) return Fail(DDF_READ_ERR);
    // The queries bound descriptor pointers and let sequences by these
    // counts; a section the file omitted counts as empty.
    if (!ddfi::RecordExtent(dict_, Has(kFldData) ? Entries(kFldData, sizeof(DDF_FIELD)) : 0,
                            Has(kOpcodes) ? Entries(kOpcodes, sizeof(DDF_LETOP)) : 0)) {
        return Fail(DDF_MALLOC_ERR);
    }
    Close();
    *out = dict_;
    dict_ = nullptr; // handed out: no longer the loader's to free
    return 0;
}

} // namespace

extern "C" int32_t ddf_LoadDDF(uint32_t /*options*/, const char* name, DDF_DICT** dict) {
    if (dict == nullptr) return mpm__SetError(0, DDF_INVALID_ARG, MPM_ERROR);
    *dict = nullptr;
    if (name == nullptr) return mpm__SetError(0, DDF_INVALID_ARG, MPM_ERROR);
    Loader loader(name);
    return loader.Load(dict);
}
