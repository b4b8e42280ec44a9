// Writes a model (or the selection in mda__SMTree) as a saved model file.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_cache_int.h"
#include "mda/mda_saved_int.h"
#include "mvx/dof.h"
#include "mvx/mpm.h"

namespace {

// Writes one record: "#n = name(", the values, ");\n".
int32_t WriteEntity(MDA_PTR db_ptr, MDA_PTR /*model_ptr*/) {
    if (mda__SMTree != nullptr && otm_GetObject(OTM_QUIET, mda__SMTree, &db_ptr) == nullptr)
        return 0;
    // A body in memory (or a memory-only model's stored copy) is written
    // where it lies: writing it runs no outside code and changes no body,
    // so it needs no lock, and a stored copy is not duplicated to be read.
    // Only an entity that lies in the paged file alone is locked.
    int32_t rc = 0;
    void* body = mdac::PeekBody(db_ptr, &rc);
    if (rc != 0) return mdasm::Stop(rc);
    const bool locked = body == nullptr;
    if (locked && (rc = mda_LockEntity(0, db_ptr, &body)) != 0) return mdasm::Stop(rc);
    const DDF_DICT* dict = mda__CurModel->ddf;
    const int32_t tfi = static_cast<const MDA_ENTITY_HDR*>(body)->tfi;
    const char* name = tfi >= 0 && tfi < dict->type_count ? dict->ent_names[tfi] : "";
    char head[48];
    head[0] = '#';
    size_t length = 1 + static_cast<size_t>(mdasm::FormatInt(MDA_PTR_ENTITY(db_ptr), head + 1));
    std::memcpy(head + length, " = ", 3);
    length += 3;
    mdasm::Put(head, length);
    const size_t name_length = std::strlen(name);
    mdasm::Put(name, name_length);
    mdasm::Put("(", 1);
    mda__SMCurCol = static_cast<int32_t>(length + name_length + 1 + 1);
    mda__SMNumFields = 0;
    mdasm::ResetStack();
    rc = mda_TraverseEntity(0, body, mda__FormatField);
    mdasm::Put(");\n", 3);
    const int32_t unlocked = locked ? mda_UnlockEntity(0, db_ptr) : 0;
    if (rc == MDA_STOP) return MDA_STOP; // mda__SMError holds the failure
    if (rc == 0) rc = unlocked;
    if (rc == 0 && mdasm::WriteFailed())
        rc = mpm__SetError(0, DOF_WRITE_ERR, MPM_ERROR, mda__SMName);
    return rc != 0 ? mdasm::Stop(rc) : 0;
}

int32_t Write(int32_t model, const MDA_MODEL* m) {
    const DDF_DICT* dict = m->ddf;
    const int32_t target = m->target_release;
    const int version = target != 0 ? target / 100 : dict->version;
    const int release = target != 0 ? target % 100 : dict->revision;
    mda__cur_dbver_rev = target;
    char line[MDA_SM_VALUE_BUF + sizeof dict->name];
    int length = std::snprintf(line, sizeof line, "BEGIN_MODEL %d %s %d %d\n",
                               static_cast<int>(model), dict->name, version, release);
    mdasm::Put(line, static_cast<size_t>(length));
    int32_t rc = mda_TraverseModel(0, model, WriteEntity);
    if (rc == MDA_STOP) rc = mda__SMError;
    if (rc != 0) return rc;
    length = std::snprintf(line, sizeof line, "END_MODEL %d\n", static_cast<int>(model));
    mdasm::Put(line, static_cast<size_t>(length));
    if (mda__SMStackPtr != &mda__SMStack[0])
        return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_FATAL, "mda_SaveModel");
    return 0;
}

} // namespace

extern "C" int32_t mda_SaveModel(uint32_t options, const char* name, int32_t count,
                                 const int32_t* models) {
    if ((options & MDA_SAVE_NOTHING) != 0) return 0;
    if (name == nullptr || models == nullptr || count < 1)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t rc = 0;
    const int32_t model = models[0];
    MDA_MODEL* m = mda::ModelOrReport(model, &rc);
    if (m == nullptr) return rc;
    const bool replace = (options & MDA_SAVE_REPLACE) != 0;
    struct stat info;
    if (!replace && stat(name, &info) == 0) return mpm__SetError(0, MDA_FILE_EXISTS, MPM_ERROR);

    const int32_t previous = mda__CurModelNum;
    mda_SetCurModel(model, 0);
    mda__SMBuf = static_cast<char*>(mvxc::Malloc(MDA_SM_VALUE_BUF));
    rc = mda__SMBuf == nullptr ? mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR) : mdasm::StartOutput();
    if (rc != 0) {
        // reported
    } else if ((mda__SMFile = std::fopen(name, replace ? "wb" : "wbx")) == nullptr) {
        rc = errno == EEXIST ? mpm__SetError(0, MDA_FILE_EXISTS, MPM_ERROR)
                             : mpm__SetError(0, MDA_OPEN_ERR, MPM_ERROR, name);
    } else {
        mda__SMName = name;
        mda__SMModels = models;
        mda__SMNumModels = 1;
        mda__SMError = 0;
        mdasm::ResetStack();
        rc = Write(model, m);
        mdasm::EndOutput();
        const bool closed = std::fclose(mda__SMFile) == 0;
        if (rc == 0 && (mdasm::WriteFailed() || !closed))
            rc = mpm__SetError(0, DOF_WRITE_ERR, MPM_ERROR, name);
        // A file cut short would read as a smaller model: it goes.
        if (rc != 0) std::remove(name);
    }
    mdasm::EndOutput();
    std::free(mda__SMBuf);
    mda__SMBuf = mda__SMBufPtr = nullptr;
    mda__SMFile = nullptr;
    mda__SMName = nullptr;
    mda__SMModels = nullptr;
    mda__SMNumModels = 0;
    mda__SMCurCol = mda__SMNumFields = 0;
    mda__cur_dbver_rev = 0;
    mda__SMStackPtr = nullptr;
    mda_SetCurModel(mda::ModelAt(previous) != nullptr ? previous : 0, 0);
    return rc;
}
