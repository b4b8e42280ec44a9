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

// Prints the entries of one side that find no partner among the others
// (partners found are used up, set to 0); *header says whether the
// entity's heading line has been printed.
void PrintUnmatched(MDA_PTR db_ptr, const MDA_PTR* side, int32_t side_count, MDA_PTR* other,
                    int32_t other_count, const char* format, bool* header) {
    for (int32_t i = 0; i < side_count; ++i) {
        int32_t j = 0;
        while (j < other_count && other[j] != side[i])
            ++j;
        if (j < other_count) {
            other[j] = 0;
            continue;
        }
        if (!*header) {
            std::fprintf(mda__DbgFile, "Inconsistencies in references to #%d:%" PRId64 ":\n",
                         MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
            *header = true;
        }
        std::fprintf(mda__DbgFile, format, MDA_PTR_MODEL(side[i]), MDA_PTR_ENTITY(side[i]));
    }
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
        if (rc == 0 && a_count + b_count > 0) {
            bool header = false;
            // Each side is matched against a copy of the other's entries.
            PrintUnmatched(db_ptr, b, b_count, a, a_count,
                           "   mda_Add/ModifyPtr was not called from parent #%d:%" PRId64 ".\n",
                           &header);
            std::free(a);
            a = nullptr;
            rc = Parents(stored, db_ptr, &a_count, &a);
            if (rc == 0)
                PrintUnmatched(db_ptr, a, a_count, b, b_count,
                               "   mda_Delete/ModifyPtr was not called from parent #%d:%" PRId64
                               ".\n",
                               &header);
            *found = *found || header;
        }
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
