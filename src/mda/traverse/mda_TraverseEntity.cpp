// The field walk of a whole entity, in its model's dictionary.
#include "mda/mda_traverse_int.h"
#include "mvx/mpm.h"

namespace {

// Makes a dictionary current for the length of a walk (the TF cache reset
// on both sides) and puts the previous one back.
class CurrentDict {
public:
    explicit CurrentDict(DDF_DICT* dict) : saved_(ddf__Current) {
        ddf__Current = dict;
        ddf__SavedTF = MVX_NULL_TF;
    }
    ~CurrentDict() {
        ddf__Current = saved_;
        ddf__SavedTF = MVX_NULL_TF;
    }
    CurrentDict(const CurrentDict&) = delete;
    CurrentDict& operator=(const CurrentDict&) = delete;

private:
    DDF_DICT* saved_;
};

} // namespace

extern "C" int32_t mda_TraverseEntity(int32_t mode, void* entity, MDA_FIELD_VISITOR visitor) {
    if (entity == nullptr || visitor == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    mdatrav::Region region{};
    if (int32_t rc = mdatrav::BodyRegion(entity, &region)) return rc;
    if (region.hi - region.lo < static_cast<int64_t>(sizeof(MDA_ENTITY_HDR)))
        return mdatrav::Broken();
    const auto* hdr = static_cast<const MDA_ENTITY_HDR*>(entity);
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(MDA_PTR_MODEL(hdr->own), &status);
    if (m == nullptr) return status;
    DDF_DICT* dict = m->ddf;
    // The header's TFI is used when it still names the body's TF.
    int32_t tfi = hdr->tfi;
    if (tfi < 0 || tfi >= dict->type_count || dict->typeforms[tfi] != hdr->tf)
        tfi = mda::FindTFI(dict, hdr->tf);
    if (tfi < 0) return mpm__SetError(0, MDA_UNKNOWN_TF, MPM_ERROR);

    CurrentDict current(dict);
    const DDF_FIELD* first = dict->fld_data + dict->fld_indices[tfi];
    return mdatrav::WalkLevel(mode, entity, region.lo + sizeof(MDA_ENTITY_HDR), first,
                              first + dict->ent_fldcnts[tfi], region, visitor);
}
