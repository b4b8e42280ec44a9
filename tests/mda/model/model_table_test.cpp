// The model table: the 64 model slots, look-ups, the current model with its
// dictionary switch and callbacks, named tolerances, allocation failures
// that must leave the slot free and nothing behind, and a paged file whose
// close fails.
#include <vector>

#include "dof/dof_int.h"
#include "mda/model_support.h"

namespace {

using ModelTable = modeltest::ModelTest;

TEST_F(ModelTable, SixtyFourSlotsLookupsAndRefusals) {
    for (int32_t n = 1; n <= 64; ++n)
        ASSERT_EQ(NewModel(MDA_MEMORY_ONLY, n % 2 ? dict_ : other_, n < 3 ? "alpha" : "beta"), n);
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    int32_t model = 77;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_DDF);
    EXPECT_EQ(mda_AllocateModel(0, nullptr, &model), MDA_NO_DDF);
    def.ddf = dict_;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_MORE_MODEL);
    EXPECT_EQ(model, 77);
    // Model 64: its db_ptrs have the top bit set and still work. Bodies are
    // as large as the dictionary says, and at least an entity header.
    MDA_PTR p = 0;
    void* body = nullptr;
    int32_t size = 0, type = 0, form = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, 64, modeltest::kArc, &body, &p), 0);
    EXPECT_EQ(static_cast<uint64_t>(p), 0x8000000000000001ull);
    EXPECT_EQ(mda_IsValidDbptr2(0, p), 1);
    EXPECT_EQ(mda_ReadTypeForm(p, &type, &form), 0);
    EXPECT_EQ(std::make_pair(type, form), std::make_pair(120, -3));
    EXPECT_EQ(mda_MarkEntityModified(0, p), 0);
    EXPECT_EQ(mda_GetArraySize(1, body, &size), 0);
    EXPECT_EQ(size, 24);
    ASSERT_EQ(mda_AllocateEntity2(0, 64, modeltest::kPoint, &body, &p), 0);
    EXPECT_EQ(mda_GetArraySize(1, body, &size), 0);
    EXPECT_EQ(size, 48);

    EXPECT_EQ(mda_GetModelNum("alpha"), 1);
    EXPECT_EQ(mda_GetModelNum("alph"), 0);
    EXPECT_EQ(mda_GetModelNum(nullptr), 0);
    int32_t found = -1;
    EXPECT_EQ(mda_FindModelByDDF(0, other_, &found), 0);
    EXPECT_EQ(found, 2);
    DDF_DICT stranger{};
    EXPECT_EQ(mda_FindModelByDDF(0, &stranger, &found), 0);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(mda_FreeModel(0, 1), 0);
    EXPECT_EQ(mda_GetModelNum("alpha"), 2);
    MDA_MODEL_INFO info;
    std::memset(&info, 0x77, sizeof info);
    ASSERT_EQ(mda_GetModelInfo(64, &info), 0);
    EXPECT_STREQ(info.name, "beta");
    EXPECT_STREQ(info.ddf_name, "second dictionary");
    EXPECT_EQ(info.entity_count, 2);
    EXPECT_EQ(info.reserved[0], 0x7777777777777777); // not filled
    EXPECT_EQ(mda_GetModelInfo(1, &info), MDA_INVALID_MODEL);
    EXPECT_EQ(mpm__LastErrorLevel, MPM_WARNING);
    for (int32_t bad : {-1, 0, 1, 65, 1000}) {
        EXPECT_EQ(mda_FreeModel(0, bad), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda_SetTol2(bad, "a", 1.0), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda_ReserveEntity2(0, bad, &p), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda__GetEntDir(bad, 0), nullptr) << bad;
    }
    EXPECT_EQ(mda_SetCurModel(1, 0), MDA_INVALID_MODEL);
    // Freeing one slot makes exactly that one available again.
    EXPECT_EQ(NewModel(), 1);
    EXPECT_EQ(NewModel(), 0);
}

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
    EXPECT_EQ(mda__CurModelNum, a); // b was current for its allocation, then a again
    EXPECT_EQ(ddf__Current, dict_);
    EXPECT_EQ(ddf__TempDDF, other_);
    ddf__SavedTF = modeltest::kLine;
    ASSERT_EQ(mda_SetCurModel(b, 42), 0);
    EXPECT_EQ(mda__CurModel, &mda__Model[b]);
    EXPECT_EQ(ddf__Current, other_);
    EXPECT_EQ(ddf__TempDDF, dict_);
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    ddf__SavedTF = modeltest::kLine;
    ASSERT_EQ(mda_SetCurModel(b, 43), 0); // already current: nothing at all
    EXPECT_EQ(ddf__SavedTF, modeltest::kLine);
    ASSERT_EQ(mda_SetCurModel(0, 44), 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(ddf__Current, other_); // no model: the dictionary stays
    ASSERT_EQ(mda_SetCurModel(a, 45), 0);
    ASSERT_EQ(mda_FreeModel(7, a), 0);
    EXPECT_EQ(mda__CurModelNum, 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"current 1 0", "current 2 0", "current 1 0",
                                                 "current 2 42", "current 1 45", "freed 7 1"}));
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
            const long failures =
                mvxtest::FailEachAllocation([&] { rc = mda_AllocateModel(options, &def, &model); },
                                            [&](bool failed) {
                                                if (!failed) return;
                                                EXPECT_EQ(mpm__LastError, rc);
                                                EXPECT_NE(rc, 0);
                                                EXPECT_EQ(mda__Model[2].in_use, 0);
                                                EXPECT_EQ(mda__Model[2].tolerances, nullptr);
                                                EXPECT_EQ(mda__CurModelNum, 1);
                                                EXPECT_EQ(ddf__Current, other_);
                                                EXPECT_EQ(ScratchFiles(), 0);
                                                mpm_ClearStack(0);
                                            },
                                            200);
            EXPECT_EQ(model, 2);
            EXPECT_GE(failures, options == 0 ? 5 : 3);
            EXPECT_EQ(mda_FreeModel(0, 2), 0);
            EXPECT_EQ(mda_FreeModel(0, 1), 0);
        }
    }
}

// Names are kept per model, cut to 31 bytes, replaced when set again, and
// dumped in byte order; an unknown name reads as the default.
TEST_F(ModelTable, TolerancesAreKeptPerModelAndDumpedInByteOrder) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    for (const char* name : {"point", "Angle", "b", "point"})
        ASSERT_EQ(mda_SetTol2(1, name, name[0] == 'A' ? 1e-9 : name[0] == 'b' ? -2.5 : 0.25), 0);
    ASSERT_EQ(mda_SetTol2(1, std::string(40, 'z').c_str(), 123456789.0), 0);
    ASSERT_EQ(mda_SetTol2(2, "point", 7.0), 0);
    EXPECT_EQ(mda_GetTol2(1, std::string(31, 'z').c_str()), 123456789.0);
    EXPECT_EQ(mda_GetTol2(2, "Angle"), 2.220446049250313e-16);
    char* text = nullptr;
    size_t size = 0;
    mda__DbgFile = open_memstream(&text, &size);
    for (int32_t model : {1, 0, 3, 2})
        EXPECT_EQ(mda_DbgDumpTols(0, model), model == 3 ? MDA_INVALID_MODEL : 0);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    EXPECT_EQ(std::string(text, size), "Angle = 1e-09\nb = -2.5\npoint = 0.25\n"
                                       "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz = 1.23457e+08\n\n\n"
                                       "point = 7\n\n\n");
    std::free(text);
}

int FailingClose(int fd) {
    dof::DefaultClose(fd); // the descriptor is gone, as after an interrupted close
    errno = EIO;
    return -1;
}

TEST_F(ModelTable, PagedFileWhoseCloseFailsIsReleasedAndDeleted) {
    ASSERT_EQ(NewModel(0), 1);
    const std::string name = mda__Model[1].dof->name;
    ASSERT_EQ(access(name.c_str(), F_OK), 0);
    dof::SysClose = FailingClose;
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_CLOSE_ERR);
    dof::SysClose = dof::DefaultClose;
    EXPECT_EQ(access(name.c_str(), F_OK), -1);
    EXPECT_EQ(mda__Model[1].in_use, 0);
    EXPECT_EQ(mda__Model[1].dof, nullptr);
    EXPECT_EQ(ScratchFiles(), 0);
}

} // namespace
