// Debugging shortcut: saves a model, replacing the file.
#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda_DbgSaveModel(uint32_t /*options*/, const char* name, int32_t model) {
    if (model == 0) return 0;
    if (mda::ModelAt(model) == nullptr)
        return mpm__IssueError(MPM_TAGGED | MPM_KEEP_STACK, MDA_INVALID_MODEL, MPM_ERROR,
                               MPM_TAG_STREAM, mda__DbgFile, MPM_TAG_END);
    return mda_SaveModel(MDA_SAVE_REPLACE, name, 1, &model);
}
