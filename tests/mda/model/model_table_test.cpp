// The model table: definitions, allocation and release, the 64 model slots,
// the current model with its dictionary switch, look-ups, named tolerances,
// and allocation failures that must leave the slot free and nothing behind.
// Release: a bounded directory is freed without writing, so a full disk
// loses nothing; a paged file whose close fails is still released and
// deleted.
#include <fcntl.h>

#include <vector>

#include "dof/dof_int.h"
#include "mda/model_support.h"

namespace {

using modeltest::ModelTest;
using modeltest::Newest;

// Records the model callbacks in the order they are called.
std::vector<std::string> g_calls;
int32_t OnFreed(int32_t a, int32_t b) {
    g_calls.push_back("freed " + std::to_string(a) + " " + std::to_string(b));
    return 0;
}
int32_t OnCurrent(int32_t a, int32_t b) {
    // The switch is complete when the callback runs.
    g_calls.push_back("current " + std::to_string(a) + " " + std::to_string(b) +
                      (mda__CurModelNum == a && ddf__Current == mda__Model[a].ddf ? "" : " early"));
    return 0;
}

using ModelTable = ModelTest;

TEST_F(ModelTable, SixtyFourModelsAndTheSixtyFifthRefused) {
    for (int32_t n = 1; n <= 64; ++n)
        ASSERT_EQ(NewModel(), n);
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.ddf = dict_;
    int32_t model = 77;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_MORE_MODEL);
    EXPECT_EQ(model, 77);
    EXPECT_EQ(Newest(),
              std::make_pair(MDA_NO_MORE_MODEL, std::string("*** Error (MDA_NO_MORE_MODEL) ***\n"
                                                            "No more models available.\n")));
    // Model 64: its db_ptrs have the top bit set and still work.
    MDA_PTR p = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, 64, modeltest::kArc, nullptr, &p), 0);
    EXPECT_EQ(static_cast<uint64_t>(p), 0x8000000000000001ull);
    EXPECT_LT(p, 0);
    EXPECT_EQ(mda_IsValidDbptr2(0, p), 1);
    int32_t type = 0, form = 0;
    EXPECT_EQ(mda_ReadTypeForm(p, &type, &form), 0);
    EXPECT_EQ(type, 120);
    EXPECT_EQ(form, -3);
    EXPECT_EQ(mda_MarkEntityModified(0, p), 0);
    // Freeing one slot makes exactly that one available again.
    ASSERT_EQ(mda_FreeModel(0, 17), 0);
    EXPECT_EQ(NewModel(), 17);
    EXPECT_EQ(NewModel(), 0);
}

TEST_F(ModelTable, RefusesAMissingDictionaryAndUnknownModels) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    int32_t model = 0;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_DDF);
    EXPECT_EQ(mda_AllocateModel(0, nullptr, &model), MDA_NO_DDF);
    for (int32_t bad : {-1, 0, 1, 64, 65, 1000}) {
        EXPECT_EQ(mda_FreeModel(0, bad), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda_SetTol2(bad, "a", 1.0), MDA_INVALID_MODEL) << bad;
        MDA_PTR p = 0;
        EXPECT_EQ(mda_ReserveEntity2(0, bad, &p), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda__GetEntDir(bad, 0), nullptr) << bad;
    }
    EXPECT_EQ(mda_SetCurModel(3, 0), MDA_INVALID_MODEL);
    EXPECT_EQ(mda__CurModelNum, 0);
    EXPECT_EQ(mda_FreeModel(0, NewModel()), 0);
    EXPECT_EQ(mda_FreeModel(0, 1), MDA_INVALID_MODEL); // twice
}

TEST_F(ModelTable, SetCurModelSwitchesTheDictionaryOnceAndCallsBack) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.make_current = OnCurrent;
    def.freed = OnFreed;
    def.ddf = dict_;
    int32_t a = 0, b = 0;
    g_calls.clear();
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &a), 0);
    def.ddf = other_;
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY | MDA_RESTORE_CURRENT, &def, &b), 0);
    // b was current for its allocation, then a again.
    EXPECT_EQ(g_calls, (std::vector<std::string>{"current 1 0", "current 2 0", "current 1 0"}));
    EXPECT_EQ(mda__CurModelNum, a);
    EXPECT_EQ(ddf__Current, dict_);
    EXPECT_EQ(ddf__TempDDF, other_);

    g_calls.clear();
    ddf__SavedTF = modeltest::kLine;
    ASSERT_EQ(mda_SetCurModel(b, 42), 0);
    EXPECT_EQ(mda__CurModel, &mda__Model[b]);
    EXPECT_EQ(ddf__Current, other_);
    EXPECT_EQ(ddf__TempDDF, dict_);
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    ddf__SavedTF = modeltest::kLine;
    ASSERT_EQ(mda_SetCurModel(b, 43), 0); // already current: nothing at all
    EXPECT_EQ(ddf__SavedTF, modeltest::kLine);
    EXPECT_EQ(ddf__TempDDF, dict_);
    ASSERT_EQ(mda_SetCurModel(0, 44), 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(mda__CurModelNum, 0);
    EXPECT_EQ(ddf__Current, other_); // no model: the dictionary stays
    ASSERT_EQ(mda_SetCurModel(a, 45), 0);
    ASSERT_EQ(mda_FreeModel(7, a), 0);
    EXPECT_EQ(mda__CurModelNum, 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"current 2 42", "current 1 45", "freed 7 1"}));
}

TEST_F(ModelTable, LooksModelsUpByNameAndDictionaryAndDescribesThem) {
    EXPECT_EQ(NewModel(MDA_MEMORY_ONLY, dict_, "alpha"), 1);
    EXPECT_EQ(NewModel(MDA_MEMORY_ONLY, other_, "beta"), 2);
    EXPECT_EQ(NewModel(MDA_MEMORY_ONLY, other_, "alpha"), 3);
    EXPECT_EQ(mda_GetModelNum("alpha"), 1);
    EXPECT_EQ(mda_GetModelNum("beta"), 2);
    EXPECT_EQ(mda_GetModelNum("alph"), 0);
    EXPECT_EQ(mda_GetModelNum("alphabet"), 0);
    EXPECT_EQ(mda_GetModelNum(nullptr), 0);
    int32_t found = -1;
    EXPECT_EQ(mda_FindModelByDDF(0, other_, &found), 0);
    EXPECT_EQ(found, 2);
    DDF_DICT stranger{};
    EXPECT_EQ(mda_FindModelByDDF(0, &stranger, &found), 0);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(mda_FreeModel(0, 1), 0);
    EXPECT_EQ(mda_GetModelNum("alpha"), 3);

    MDA_MODEL_INFO info;
    std::memset(&info, 0x77, sizeof info);
    MDA_PTR p = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, 2, modeltest::kPoint, nullptr, &p), 0);
    ASSERT_EQ(mda_AllocateEntity2(0, 2, modeltest::kPoint, nullptr, &p), 0);
    ASSERT_EQ(mda_GetModelInfo(2, &info), 0);
    EXPECT_STREQ(info.name, "beta");
    EXPECT_EQ(info.ddf, other_);
    EXPECT_STREQ(info.ddf_name, "second dictionary");
    EXPECT_EQ(info.ddf_version, 307);
    EXPECT_EQ(info.entity_count, 2);
    EXPECT_EQ(info.reserved[0], 0x7777777777777777); // not filled

    // An unallocated model: a stacked warning, nothing printed.
    mpm_ClearStack(0);
    mvxtest::StreamCapture err(stderr);
    EXPECT_EQ(mda_GetModelInfo(1, &info), MDA_INVALID_MODEL);
    EXPECT_EQ(err.Finish(), "");
    EXPECT_EQ(mpm__LastErrorLevel, MPM_WARNING);
    EXPECT_EQ(Newest().second, "*** Warning (MDA_INVALID_MODEL) ***\n"
                               "Invalid model number specified.\n");
}

// Fails the 1st, 2nd, ... allocation of a model allocation in turn: each
// failure is reported, leaves the slot free, the current model and the
// dictionary variables as they were, and no file behind; the sanitizer
// build checks that nothing leaks.
TEST_F(ModelTable, EveryAllocationFailureLeavesTheSlotFree) {
    for (uint32_t options : {0u, static_cast<uint32_t>(MDA_MEMORY_ONLY)}) {
        for (int32_t bounded : {0, 2}) {
            SCOPED_TRACE(testing::Message() << options << " " << bounded);
            mda__EntDirBlkSizeMax = bounded;
            ASSERT_EQ(NewModel(MDA_MEMORY_ONLY, other_), 1);
            MDA_MODEL_DEF def;
            mda_GetModelDefaults(0, &def);
            def.ddf = dict_;
            int32_t model = 0, rc = 0;
            const long failures = mvxtest::FailEachAllocation(
                [&] {
                    mpm_ClearStack(0);
                    rc = mda_AllocateModel(options, &def, &model);
                },
                [&](bool failed) {
                    if (!failed) return;
                    EXPECT_NE(rc, 0);
                    EXPECT_EQ(Newest().first, rc);
                    EXPECT_EQ(mda__Model[2].in_use, 0);
                    EXPECT_EQ(mda__Model[2].tolerances, nullptr);
                    EXPECT_EQ(mda__CurModelNum, 1);
                    EXPECT_EQ(ddf__Current, other_);
                    EXPECT_EQ(ScratchFiles(), 0);
                },
                200);
            EXPECT_EQ(model, 2);
            EXPECT_GE(failures, options == 0 ? 5 : 3);
            EXPECT_EQ(mda_FreeModel(0, 2), 0);
            EXPECT_EQ(mda_FreeModel(0, 1), 0);
        }
    }
}

TEST_F(ModelTable, NamesAreSetReplacedAndDumpedInByteOrder) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    EXPECT_EQ(mda_GetTol2(1, "never"), 2.220446049250313e-16);
    ASSERT_EQ(mda_SetTol2(1, "point", 0.001), 0);
    ASSERT_EQ(mda_SetTol2(1, "Angle", 1e-9), 0);
    ASSERT_EQ(mda_SetTol2(1, "b", -2.5), 0);
    ASSERT_EQ(mda_SetTol2(1, "point", 0.25), 0); // replaces
    ASSERT_EQ(mda_SetTol2(2, "point", 7.0), 0);  // another model's own
    // Only 31 bytes of a name count.
    const std::string long_name(40, 'z');
    ASSERT_EQ(mda_SetTol2(1, long_name.c_str(), 123456789.0), 0);
    EXPECT_EQ(mda_GetTol2(1, std::string(31, 'z').c_str()), 123456789.0);
    EXPECT_EQ(mda_GetTol2(1, "point"), 0.25);
    EXPECT_EQ(mda_GetTol2(2, "point"), 7.0);
    EXPECT_EQ(mda_GetTol2(2, "Angle"), 2.220446049250313e-16);
    EXPECT_EQ(mda__Model[1].tolerances->count, 4);

    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    mda__DbgFile = out;
    EXPECT_EQ(mda_DbgDumpTols(0, 1), 0);
    EXPECT_EQ(mda_DbgDumpTols(0, 1), 0); // a second dump is the same
    EXPECT_EQ(mda_DbgDumpTols(0, 0), 0); // nothing
    EXPECT_EQ(mda_DbgDumpTols(0, 3), MDA_INVALID_MODEL);
    EXPECT_EQ(mda_DbgDumpTols(0, 2), 0);
    std::fclose(out);
    mda__DbgFile = stdout;
    const std::string one = "Angle = 1e-09\nb = -2.5\npoint = 0.25\n"
                            "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz = 1.23457e+08\n\n\n";
    EXPECT_EQ(std::string(text, size), one + one + "point = 7\n\n\n");
    std::free(text);
}

TEST_F(ModelTable, BoundedDirectoryIsFreedWithoutWriting) {
    mda__EntDirBlkSizeMax = 1;
    ASSERT_EQ(NewModel(), 1);
    // Bodies in each of three blocks, two of which end up evicted.
    for (int i = 1; i < 3 * 2048; ++i) {
        MDA_PTR p = 0;
        ASSERT_EQ(i % 1000 == 0 ? mda_AllocateEntity2(0, 1, modeltest::kPoint, nullptr, &p)
                                : mda_ReserveEntity2(0, 1, &p),
                  0);
    }
    const int fd = mda__Model[1].overflow_fd;
    ASSERT_GE(fd, 0);
    // The disk is full: the overflow descriptor reads but cannot write.
    const int read_only = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
    if (read_only < 0) {
        GTEST_SKIP() << "no /proc/self/fd";
    }
    ASSERT_GE(dup2(read_only, fd), 0);
    close(read_only);
    mpm_ClearStack(0);
    // Every body is freed (the leak check of the sanitized run sees them).
    EXPECT_EQ(mda_FreeModel(0, 1), 0);
    EXPECT_EQ(Newest().first, 0);
    EXPECT_EQ(mda__Model[1].in_use, 0);
}

int FailingClose(int fd) {
    dof::DefaultClose(fd); // the descriptor is gone, as after an interrupted close
    errno = EIO;
    return -1;
}

TEST_F(ModelTable, PagedFileWhoseCloseFailsIsReleasedAndDeleted) {
    ASSERT_EQ(NewModel(0), 1);
    ASSERT_NE(mda__Model[1].dof, nullptr);
    const std::string name = mda__Model[1].dof->name;
    ASSERT_EQ(access(name.c_str(), F_OK), 0);
    ASSERT_EQ(NewModel(0), 2);
    dof::SysClose = FailingClose;
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_CLOSE_ERR);
    dof::SysClose = dof::DefaultClose;
    EXPECT_EQ(access(name.c_str(), F_OK), -1);
    EXPECT_EQ(mda__Model[1].in_use, 0);
    EXPECT_EQ(mda__Model[1].dof, nullptr);
    EXPECT_EQ(mda_FreeModel(0, 2), 0);
    EXPECT_EQ(ScratchFiles(), 0);
    mpm_ClearStack(0);
}

} // namespace
