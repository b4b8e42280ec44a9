/*
 * The entity store as a translator uses it: load a dictionary, allocate a
 * model, create entities that refer to one another, walk the entities of a
 * type, deep-copy one entity into a second model, delete it from the first
 * and free everything.
 *
 * Usage: entity_store [DICTIONARY.ddf]  (default: the IGES dictionary that
 * the build compiles from examples/iges.ddl)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "iges_ddl.h"
#include "libmvx.h"

#define LINE MVX_TF(110, 0)
#define COMPOSITE MVX_TF(102, 0)

/* A loaded dictionary is the caller's: the record and one block per
 * section. */
static void free_dictionary(DDF_DICT* dict) {
    const DDF_SECTION* s;
    for (s = ddf__Sections; s->name != NULL; ++s) {
        void* block;
        memcpy(&block, (char*)dict + s->offset, sizeof block);
        free(block);
    }
    free(dict);
}

static int fail(const char* what) {
    printf("%s failed with %s\n", what, mpm_GetMsgName(mpm__LastError));
    fflush(stdout);
    mpm_DumpStack(MPM_DUMP_ALL);
    return 1;
}

/* A model over the dictionary that keeps parent lists. */
static int new_model(DDF_DICT* dict, const char* name, int32_t* model) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    strcpy(def.name, name);
    def.ddf = dict;
    def.backptrs = 1;
    return mda_AllocateModel(0, &def, model);
}

/* A line from (x, 0, 0) to (x, 1, 0), left unlocked. */
static int new_line(int32_t model, double x, MDA_PTR* line) {
    struct iges_line* body;
    if (mda_AllocateEntity2(0, model, LINE, (void**)&body, line) != 0) return 1;
    body->x1 = x;
    body->x2 = x;
    body->y2 = 1.0;
    return mda_UnlockEntity(MDA_UNLOCK_MODIFIED, *line);
}

/* A composite curve made of count curves. */
static int new_composite(int32_t model, int32_t count, const MDA_PTR* curves, MDA_PTR* composite) {
    struct iges_composite_curve* body;
    int32_t i;
    if (mda_AllocateEntity2(0, model, COMPOSITE, (void**)&body, composite) != 0) return 1;
    body->n = count;
    if (mda_Malloc(0, body, count * (int32_t)sizeof(MDA_PTR), (void**)&body->de_curves) != 0)
        return 1;
    for (i = 0; i < count; ++i)
        if (mda_AddPtr(*composite, curves[i], &body->de_curves[i]) != 0) return 1;
    return mda_UnlockEntity(MDA_UNLOCK_MODIFIED, *composite);
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : MVX_DDL_DIR "/iges.ddf";
    DDF_DICT* dict = NULL;
    int32_t source = 0, target = 0, count = 0;
    MDA_PTR lines[3], composite = 0, p = 0, *parents = NULL;
    MDA_MODEL_INFO info;
    struct iges_composite_curve* body;
    void* copy = NULL;
    int i;

    mvx_Initialize(0);
    if (ddf_LoadDDF(0, path, &dict) != 0) return fail("ddf_LoadDDF");
    if (new_model(dict, "source", &source) != 0 || new_model(dict, "target", &target) != 0)
        return fail("mda_AllocateModel");

    for (i = 0; i < 3; ++i)
        if (new_line(source, i, &lines[i]) != 0) return fail("making a line");
    if (new_composite(source, 3, lines, &composite) != 0) return fail("making the composite");
    printf("source: 3 lines and a composite curve #%lld\n",
           (long long)MDA_PTR_ENTITY(composite));

    if (mda_GetParents(0, lines[1], &count, &parents) != 0) return fail("mda_GetParents");
    printf("line #%lld has %d parent, #%lld\n", (long long)MDA_PTR_ENTITY(lines[1]), count,
           (long long)MDA_PTR_ENTITY(parents[0]));
    free(parents);

    /* The model keeps its entities per type (a slot per dictionary type),
     * in creation order. */
    printf("lines in creation order:");
    {
        MDA_ENTITY_LIST* list;
        struct iges_line* line;
        const int32_t slot = ddf_FindTF(dict->typeforms, dict->type_count, LINE);
        mda_GetModelInfo(source, &info);
        list = (MDA_ENTITY_LIST*)info.entity_list;
        list->cursors[slot] = list->heads[slot];
        while (mda_CycleEntityList(list, slot, &p) == 0) {
            if (mda_LockEntity(0, p, (void**)&line) != 0) return fail("mda_LockEntity");
            printf(" #%lld (x = %g)", (long long)MDA_PTR_ENTITY(p), line->x1);
            mda_UnlockEntity(0, p);
        }
    }
    printf("\n");

    /* A deep copy takes the composite curve with its lines. */
    if (mda_LockEntity(0, composite, (void**)&body) != 0) return fail("mda_LockEntity");
    if (mda_CopyEntity2(MDA_COPY_ENTER, target, NULL, body, &copy) != 0)
        return fail("mda_CopyEntity2");
    p = ((MDA_ENTITY_HDR*)copy)->own;
    mda_UnlockEntity(0, composite);
    mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p);
    mda_GetModelInfo(target, &info);
    printf("target: copy #%lld of #%lld, %d entities\n", (long long)MDA_PTR_ENTITY(p),
           (long long)MDA_PTR_ENTITY(composite), info.entity_count);

    /* Deleting the composite takes the lines that only it refers to. */
    if (mda_DeepDeleteEntity(0, composite) != 0) return fail("mda_DeepDeleteEntity");
    mda_GetModelInfo(source, &info);
    printf("source after the deep deletion: %d entities\n", info.entity_count);

    mda_FreeModel(0, target);
    mda_FreeModel(0, source);
    mvx_Terminate(0);
    free_dictionary(dict);
    return 0;
}
