// Checking stored parent lists against lists rebuilt from the pointer fields.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "mda/mda_backptr_int.h"

namespace {

// Every model's flag and area while the rebuilt ones are in place.
struct Saved {
    uint8_t backptrs;
    void* area;
};

// The parents a record lists as a new array (null for none).
int32_t Parents(MDA_APPDATA* area, MDA_PTR db_ptr, int32_t* count, MDA_PTR** parents) {
    mdabp::ParentRecord r{};
    if (area != nullptr) mda_ReadAppData(area, db_ptr, &r);
    return mdabp::RecordParents(r, count, parents);
}

// Prints one line for an entity, after its heading line when that is the
// first; *header says whether the heading has been printed.
void PrintLine(MDA_PTR db_ptr, const char* format, MDA_PTR parent, bool* header) {
    if (!*header) {
        std::fprintf(mda__DbgFile, "Inconsistencies in references to #%d:%" PRId64 ":\n",
                     MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
        *header = true;
    }
    std::fprintf(mda__DbgFile, format, MDA_PTR_MODEL(parent), MDA_PTR_ENTITY(parent));
}

// Matches the rebuilt entries (b) one to one with the stored ones (a): a
// rebuilt entry without a partner is a missing reference; the stored
// entries left over (their partners are set to 0) are stale ones. Returns
// whether anything was printed.
bool PrintDifferences(MDA_PTR db_ptr, const MDA_PTR* b, int32_t b_count, MDA_PTR* a,
                      int32_t a_count) {
    bool header = false;
    for (int32_t i = 0; i < b_count; ++i) {
        int32_t j = 0;
        while (j < a_count && a[j] != b[i])
            ++j;
        if (j < a_count)
            a[j] = 0;
        else
            PrintLine(db_ptr, "   mda_Add/ModifyPtr was not called from parent #%d:%" PRId64 ".\n",
                      b[i], &header);
    }
    for (int32_t j = 0; j < a_count; ++j)
        if (a[j] != 0)
            PrintLine(db_ptr,
                      "   mda_Delete/ModifyPtr was not called from parent #%d:%" PRId64 ".\n", a[j],
                      &header);
    return header;
}

// Compares the stored and rebuilt lists of every entity of a model; *found
// becomes true when something differs. Returns 0 or an allocation failure.
int32_t CompareModel(int32_t model, MDA_APPDATA* stored, MDA_APPDATA* rebuilt, bool* found) {
    const int64_t next = mda__Model[model].next_entity;
    for (int64_t n = 1; n < next; ++n) {
        const MDA_PTR db_ptr = MDA_MAKE_PTR(model, n);
        if (mda_IsValidDbptr2(0, db_ptr) == 0) continue;
        int32_t a_count = 0;
        int32_t b_count = 0;
        MDA_PTR* a = nullptr;
        MDA_PTR* b = nullptr;
        int32_t rc = Parents(stored, db_ptr, &a_count, &a);
        if (rc == 0) rc = Parents(rebuilt, db_ptr, &b_count, &b);
        if (rc == 0 && PrintDifferences(db_ptr, b, b_count, a, a_count)) *found = true;
        std::free(a);
        std::free(b);
        if (rc != 0) return rc;
    }
    return 0;
}

} // namespace

extern "C" int32_t mda_DbgCheckBackPtrs(uint32_t options, int32_t model) {
    if (model == 0) return 0;
    MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr) return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
    if (m->parent_area == nullptr) {
        std::fprintf(mda__DbgFile, "No backpointer information in model.\n");
        return 0;
    }
    Saved saved[MDA_MAX_MODELS + 1] = {};
    for (int32_t i = 1; i <= MDA_MAX_MODELS; ++i) {
        saved[i] = Saved{mda__Model[i].backptrs, mda__Model[i].parent_area};
        mda__Model[i].parent_area = nullptr;
    }
    int32_t rc = mda_SetBackPtrs(MDA_ALL_MODELS, 0);
    bool found = false;
    if (rc == 0) {
        const bool all = (options & MDA_ALL_MODELS) != 0;
        for (int32_t i = all ? 1 : model; i <= (all ? MDA_MAX_MODELS : model); ++i) {
            MDA_MODEL* checked = mda::ModelAt(i);
            if (checked != nullptr && rc == 0)
                rc = CompareModel(i, static_cast<MDA_APPDATA*>(saved[i].area), mdabp::Area(checked),
                                  &found);
        }
    }
    for (int32_t i = 1; i <= MDA_MAX_MODELS; ++i) {
        if (mda::ModelAt(i) == nullptr) continue;
        mda__FreeBackPtrs(0, i);
        mda__Model[i].parent_area = saved[i].area;
        mda__Model[i].backptrs = saved[i].backptrs;
    }
    if (rc != 0) return rc;
    return found ? mpm__SetError(0, MDA_BAD_BACKPTRS, MPM_ERROR) : 0;
}
