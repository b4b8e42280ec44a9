// Reads a saved model file into an empty model.
//
// The file's entity numbers become the model's: numbering restarts at 0
// (reserved), numbers that the file skips are reserved, and a later record
// may fill one of them. Every pointer read is noted and checked once the
// last record is in, so that no pointer of the restored model names an
// entity that the file did not hold.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_backptr_int.h"
#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

namespace {

using mdasm::Code;
using mdasm::g_in;
using mdasm::ReadFailure;

struct NameTf {
    const char* name;
    int32_t tf;
};

int CompareNames(const void* a, const void* b) {
    const auto* x = static_cast<const NameTf*>(a);
    const auto* y = static_cast<const NameTf*>(b);
    const int by_name = std::strcmp(x->name, y->name);
    return by_name != 0 ? by_name : (x->tf > y->tf) - (x->tf < y->tf);
}

// A name token: up to white space (or '(' when stop_at_paren) into out,
// which holds DDF name bytes; a longer one is cut and marked with "...".
constexpr size_t kNameMax = sizeof(DDF_DICT::name) - 1;
void ReadName(char (&out)[kNameMax + 4], bool stop_at_paren) {
    size_t length = 0;
    bool longer = false;
    for (;;) {
        if (mda__SMBufPtr >= g_in.end && mdasm::Fill(1) == 0) break;
        const char c = *mda__SMBufPtr;
        if (mdasm::IsSpace(c) || (stop_at_paren && c == '(')) break;
        if (length < kNameMax)
            out[length++] = c;
        else
            longer = true;
        ++mda__SMBufPtr;
    }
    if (longer) {
        std::memcpy(out + length, "...", 3);
        length += 3;
    }
    out[length] = '\0';
}

bool Keyword(const char* word, size_t length) {
    return mdasm::Fill(length) >= length && std::memcmp(mda__SMBufPtr, word, length) == 0;
}

// "BEGIN_MODEL model name version release": the name and version must be
// the dictionary's; a release that differs is a warning.
int32_t ReadHeader(const DDF_DICT* dict) {
    if (!mdasm::SkipSpace() || !Keyword("BEGIN_MODEL", 11))
        return ReadFailure("the file does not begin with a BEGIN_MODEL line");
    mda__SMBufPtr += 11;
    int64_t model = 0;
    int64_t version = 0;
    int64_t release = 0;
    int32_t rc = 0;
    if (!mdasm::SkipSpace()) return ReadFailure("the BEGIN_MODEL line ends early");
    if ((rc = mdasm::ReadInteger(&model, "a model number")) != 0) return rc;
    char found[kNameMax + 4];
    if (!mdasm::SkipSpace()) return ReadFailure("the BEGIN_MODEL line ends early");
    ReadName(found, false);
    if (std::strcmp(found, dict->name) != 0)
        return mdasm::Stop(
            mpm__SetError(0, MDA_INCORRECT_DBNAME, MPM_ERROR, mda__SMName, dict->name, found));
    if (!mdasm::SkipSpace()) return ReadFailure("the BEGIN_MODEL line ends early");
    if ((rc = mdasm::ReadInteger(&version, "a version number")) != 0) return rc;
    if (!mdasm::SkipSpace()) return ReadFailure("the BEGIN_MODEL line ends early");
    if ((rc = mdasm::ReadInteger(&release, "a release number")) != 0) return rc;
    if (version < INT32_MIN || version > INT32_MAX || release < INT32_MIN || release > INT32_MAX)
        return ReadFailure("a version or release number out of range");
    if (version != dict->version)
        return mdasm::Stop(mpm__SetError(0, MDA_INCORRECT_DBVERSION, MPM_ERROR, mda__SMName,
                                         static_cast<int>(dict->version),
                                         static_cast<int>(version)));
    if (release != dict->revision)
        mpm__SetError(0, release > dict->revision ? MDA_NEWER_DBRELEASE : MDA_OLDER_DBRELEASE,
                      MPM_WARNING, mda__SMName, static_cast<int>(dict->revision),
                      static_cast<int>(release));
    const int64_t combined = version * 100 + release;
    mda__cur_dbver_rev = static_cast<int32_t>(combined > INT32_MAX   ? INT32_MAX
                                              : combined < INT32_MIN ? INT32_MIN
                                                                     : combined);
    mdasm::SkipLine();
    return 0;
}

// The entity of one record: numbers up to it reserved, then created.
int32_t MakeEntity(int32_t model, int64_t number, int64_t* next, int32_t tf, void** body,
                   MDA_PTR* db_ptr) {
    for (; *next < number; ++*next)
        if (int32_t rc = mda_ReserveEntity2(0, model, db_ptr)) return rc;
    if (number == *next) {
        ++*next;
        return mda_AllocateEntity2(0, model, tf, body, db_ptr);
    }
    *db_ptr = MDA_MAKE_PTR(model, number);
    return mda_AllocateEntity2(MDA_USE_DBPTR, model, tf, body, db_ptr);
}

int32_t ReadRecords(int32_t model, const NameTf* names, int32_t name_count) {
    int64_t next = 1;
    for (;;) {
        if (!mdasm::SkipSpace()) return ReadFailure("the file ends without its END_MODEL line");
        if (*mda__SMBufPtr != '#') {
            if (Keyword("END_MODEL", 9)) {
                mdasm::SkipLine();
                return 0;
            }
            mdasm::SkipLine();
            continue;
        }
        ++mda__SMBufPtr;
        int64_t number = 0;
        if (int32_t rc = mdasm::ReadInteger(&number, "an entity number")) return rc;
        if (number < 1 || number > MDA_SM_MAX_ENTITY)
            return ReadFailure("entity number %lld out of range", static_cast<long long>(number));
        if (number - next > mdasm::g_max_gap)
            return ReadFailure("entity number %lld skips more than %lld numbers",
                               static_cast<long long>(number),
                               static_cast<long long>(mdasm::g_max_gap));
        if (!mdasm::SkipSpace() || *mda__SMBufPtr != '=')
            return ReadFailure("'=' missing after #%lld", static_cast<long long>(number));
        ++mda__SMBufPtr;
        char name[kNameMax + 4];
        if (!mdasm::SkipSpace()) return ReadFailure("the file ends inside a record");
        ReadName(name, true);
        const NameTf key{name, 0};
        const auto* hit = static_cast<const NameTf*>(
            std::bsearch(&key, names, static_cast<size_t>(name_count), sizeof key,
                         [](const void* a, const void* b) {
                             return std::strcmp(static_cast<const NameTf*>(a)->name,
                                                static_cast<const NameTf*>(b)->name);
                         }));
        // Types that share a name: the first in TF order.
        while (hit != nullptr && hit > names && std::strcmp(hit[-1].name, name) == 0)
            --hit;
        if (hit == nullptr)
            return mdasm::Stop(mpm__SetError(0, MDA_UNKNOWN_NAME, MPM_ERROR, name, mda__SMName));
        if (!mdasm::SkipSpace() || *mda__SMBufPtr != '(')
            return ReadFailure("'(' missing after the type name %s", name);

        void* body = nullptr;
        MDA_PTR db_ptr = 0;
        if (int32_t rc = MakeEntity(model, number, &next, hit->tf, &body, &db_ptr)) return rc;
        mdasm::ResetStack();
        mda__SMNumFields = 0;
        g_in.separated = false;
        g_in.parent = mdabp::HasPointers(&mda__Model[model], body) ? number : 0;
        // The walk sizes nothing: the reader allocates each array once the
        // file has shown that it can hold the array's values.
        const int32_t rc = mda_TraverseEntity(0, body, mda__ParseField);
        const int32_t unlocked = mda_UnlockEntity(0, db_ptr);
        if (rc != 0) return Code(rc);
        if (unlocked != 0) return unlocked;
        if (mda__SMStackPtr != &mda__SMStack[0])
            return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_FATAL, "mda_RestoreModel");
        mdasm::SkipLine();
    }
}

// Every pointer read must name an entity of the file.
int32_t CheckPointers(int32_t model, const MDA_MODEL* m) {
    for (size_t i = 0; i < g_in.ptr_count; ++i) {
        const int64_t n = g_in.ptrs[i].target;
        const MDA_DIR_ENTRY* e = n < m->next_entity ? mda__GetEntDir(model, n) : nullptr;
        if (e == nullptr || (e->status & (MDA_DELETED | MDA_RESERVED)) != 0) {
            g_in.line = g_in.ptrs[i].line;
            return Code(ReadFailure("a pointer to entity %lld, which the file does not hold",
                                    static_cast<long long>(n)));
        }
    }
    return 0;
}

int ByParent(const void* a, const void* b) {
    const auto* x = static_cast<const mdasm::Input::Pointer*>(a);
    const auto* y = static_cast<const mdasm::Input::Pointer*>(b);
    if (x->parent != y->parent) return x->parent < y->parent ? -1 : 1;
    return (x->order > y->order) - (x->order < y->order);
}

// The parent lists, as mda_SetBackPtrs(0, model) makes them: every live
// entity, in ascending number, recorded as parent of what its pointers
// name, in field order. The pointers were noted as they were read, so no
// entity is locked again: the noted ones are put in that order (a file
// lists its records in any order, each record's pointers in field order).
int32_t RebuildParents(int32_t model, MDA_MODEL* m) {
    mda__FreeBackPtrs(0, model);
    if (int32_t rc = mdabp::NewArea(model, m)) return rc;
    m->backptrs = 1;
    mdasm::Input::Pointer* p = g_in.ptrs;
    const size_t count = g_in.ptr_count;
    for (size_t i = 1; i < count; ++i)
        if (p[i].parent < p[i - 1].parent) {
            std::qsort(p, count, sizeof *p, ByParent);
            break;
        }
    for (size_t i = 0; i < count; ++i) {
        if (p[i].parent == 0) continue; // a type that keeps no pointers
        if (int32_t rc = mda_AddPtr(MDA_MAKE_PTR(model, p[i].parent),
                                    MDA_MAKE_PTR(model, p[i].target), nullptr))
            return rc;
    }
    return 0;
}

int32_t HasLiveEntity(MDA_PTR, MDA_PTR) {
    return 1;
}

int32_t Restore(int32_t model, MDA_MODEL* m, const char* file_name) {
    if (MDA_MODEL_CALLBACK pre = m->callbacks[3]) {
        if (int32_t rc = pre(0, model)) return rc;
    }
    if (mda_TraverseModel(0, model, HasLiveEntity) == MDA_STOP)
        return mpm__SetError(0, MDA_MODEL_NOT_EMPTY, MPM_ERROR, static_cast<int>(model));
    m->free_entities = 0;
    m->next_entity = 0;
    MDA_PTR zero = 0;
    if (int32_t rc = mda_ReserveEntity2(0, model, &zero)) return rc;

    const DDF_DICT* dict = m->ddf;
    const int32_t types = dict->type_count > 0 ? dict->type_count : 0;
    auto* names =
        static_cast<NameTf*>(mvxc::Malloc(sizeof(NameTf) * (static_cast<size_t>(types) + 1)));
    char* buffer = static_cast<char*>(mvxc::Malloc(MDA_SM_LINE_BUF));
    FILE* file = nullptr;
    int32_t rc = 0;
    if (names == nullptr || buffer == nullptr) {
        rc = mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    } else if ((file = std::fopen(file_name, "rb")) == nullptr) {
        rc = mpm__SetError(0, MDA_OPEN_ERR, MPM_ERROR, file_name);
    } else {
        for (int32_t t = 0; t < types; ++t)
            names[t] = NameTf{dict->ent_names[t], dict->typeforms[t]};
        std::qsort(names, static_cast<size_t>(types), sizeof *names, CompareNames);
        struct stat info;
        g_in = mdasm::Input{};
        if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) g_in.file_size = info.st_size;
        g_in.target = model;
        mda__SMFile = file;
        mda__SMBuf = mda__SMBufPtr = g_in.end = buffer;
        mda__cur_dbver_rev = 0;
        mdasm::ResetStack();
        rc = Code(ReadHeader(dict));
        if (rc == 0) rc = Code(ReadRecords(model, names, types));
        if (rc == 0) rc = CheckPointers(model, m);
        if (rc == 0) rc = RebuildParents(model, m);
        if (rc == 0 && m->callbacks[4] != nullptr) rc = m->callbacks[4](0, model);
        if (rc == 0 && mda__SMStackPtr != &mda__SMStack[0])
            rc = mpm__SetError(0, MDA_INTERNAL_ERR, MPM_FATAL, "mda_RestoreModel");
        std::fclose(file);
    }
    mdasm::EndInput();
    std::free(names);
    std::free(buffer);
    return rc;
}

} // namespace

extern "C" int32_t mda_RestoreModel(uint32_t options, const char* name, int32_t count,
                                    const int32_t* models) {
    if ((options & MDA_SAVE_NOTHING) != 0) return 0;
    if (name == nullptr || models == nullptr || count < 1)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t rc = 0;
    MDA_MODEL* m = mda::ModelOrReport(models[0], &rc);
    if (m == nullptr) return rc;
    const int32_t previous = mda__CurModelNum;
    mda_SetCurModel(models[0], 0);
    mda__SMName = name;
    mda__SMModels = models;
    mda__SMNumModels = 1;
    mda__SMError = 0;
    rc = Restore(models[0], m, name);
    mda__SMFile = nullptr;
    mda__SMBuf = mda__SMBufPtr = nullptr;
    mda__SMName = nullptr;
    mda__SMModels = nullptr;
    mda__SMNumModels = 0;
    mda__SMStackPtr = nullptr;
    mda__cur_dbver_rev = 0;
    mda_SetCurModel(mda::ModelAt(previous) != nullptr ? previous : 0, 0);
    return rc;
}
