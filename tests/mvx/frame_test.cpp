// The library frame: start-up and shut-down order, the registry, message
// names to codes, stream slots and the system-file hooks.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "mvx/mvx_int.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

std::vector<std::string>* g_calls = nullptr;

template <int N> int32_t RecordInit(uint32_t) {
    g_calls->push_back("init" + std::to_string(N));
    return 0;
}
template <int N> int32_t RecordTerm(uint32_t) {
    g_calls->push_back("term" + std::to_string(N));
    return 0;
}

// Replaces the start-up and shut-down steps by recorders for one test.
class StepRecorder {
public:
    StepRecorder() {
        std::memcpy(init_, mvx_InitSteps, sizeof init_);
        std::memcpy(term_, mvx_TermSteps, sizeof term_);
        g_calls = &calls;
        MvxModuleStep inits[] = {RecordInit<0>,  RecordInit<1>,  RecordInit<2>,  RecordInit<3>,
                                 RecordInit<4>,  RecordInit<5>,  RecordInit<6>,  RecordInit<7>,
                                 RecordInit<8>,  RecordInit<9>,  RecordInit<10>, RecordInit<11>,
                                 RecordInit<12>, RecordInit<13>, RecordInit<14>, RecordInit<15>};
        MvxModuleStep terms[] = {RecordTerm<0>, RecordTerm<1>, RecordTerm<2>,
                                 RecordTerm<3>, RecordTerm<4>, RecordTerm<5>};
        std::memcpy(mvx_InitSteps, inits, sizeof inits);
        std::memcpy(mvx_TermSteps, terms, sizeof terms);
    }
    ~StepRecorder() {
        std::memcpy(mvx_InitSteps, init_, sizeof init_);
        std::memcpy(mvx_TermSteps, term_, sizeof term_);
        g_calls = nullptr;
    }
    std::vector<std::string> calls;
    MvxModuleStep init_[kMvxInitSteps];
    MvxModuleStep term_[kMvxTermSteps];
};

TEST(LibraryFrame, StartUpAndShutDownRunTheModulesInOrderOnlyAtTheOuterCalls) {
    // The real steps, in the order the library documents.
    const MvxModuleStep init[] = {hdb_Initialize, olm_Initialize, oqm_Initialize, osm_Initialize,
                                  otm_Initialize, ugn_Initialize, mpm_Initialize, ddf_Initialize,
                                  mda_Initialize, evm_Initialize, eam_Initialize, mth_Initialize,
                                  fmt_Initialize, cfg_Initialize, dof_Initialize, map_Initialize};
    const MvxModuleStep term[] = {map_Terminate, cfg_Terminate, ugn_Terminate,
                                  mda_Terminate, ddf_Terminate, mpm_Terminate};
    for (int i = 0; i < kMvxInitSteps; ++i)
        EXPECT_EQ(mvx_InitSteps[i], init[i]) << i;
    for (int i = 0; i < kMvxTermSteps; ++i)
        EXPECT_EQ(mvx_TermSteps[i], term[i]) << i;

    StepRecorder rec;
    ASSERT_EQ(mvx__IntializeIdx, 0);
    EXPECT_EQ(mvx_Initialize(0), 0);
    EXPECT_EQ(mvx_Initialize(0), 0);
    EXPECT_EQ(mvx__IntializeIdx, 2);
    std::vector<std::string> expected;
    for (int i = 0; i < 16; ++i)
        expected.push_back("init" + std::to_string(i));
    EXPECT_EQ(rec.calls, expected);

    rec.calls.clear();
    EXPECT_EQ(mvx_Terminate(0), 0);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(mvx__IntializeIdx, 1);
    EXPECT_EQ(mvx_Terminate(0), 0);
    EXPECT_EQ(rec.calls,
              (std::vector<std::string>{"term0", "term1", "term2", "term3", "term4", "term5"}));
    EXPECT_EQ(mvx__IntializeIdx, 0);
    rec.calls.clear();
    EXPECT_EQ(mvx_Terminate(0), 0);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(mvx__IntializeIdx, 0);
}

TEST(LibraryFrame, RestartAfterFullShutDownRunsTheWholeStartUpAgain) {
    mvx_Initialize(0);
    mvx__Table[7].code = "XYZ"; // an application's module
    FILE* f = std::tmpfile();
    ASSERT_EQ(mvx__AllocateFile(f), 0);
    mvx_Terminate(0);
    EXPECT_STREQ(mvx__Table[7].code, "XYZ"); // the registry is not cleared at shut-down
    mvx_Initialize(0);
    EXPECT_EQ(mvx__Table[7].code, nullptr);
    EXPECT_EQ(mvx__SysFile[0], nullptr);
    EXPECT_EQ(mvx__IntializeIdx, 1);
    mvx_Terminate(0);
    std::fclose(f);
}

TEST_F(LibraryTest, RegistryHoldsEachModuleInItsSlotAndLeavesOthersEmpty) {
    const MVX_MODULE& otm = mvx__Table[3];
    EXPECT_EQ(otm.module, 3);
    EXPECT_EQ(otm.count, 9);
    EXPECT_STREQ(otm.code, "OTM");
    EXPECT_EQ(otm.reserved, 0);
    const MVX_MODULE empty{};
    for (int slot : {7, 14, 15, 20, 24, 255}) {
        EXPECT_EQ(std::memcmp(&mvx__Table[slot], &empty, sizeof empty), 0) << slot;
    }
    const struct {
        int slot;
        const char* code;
        int count;
    } frame[] = {{0, "MVX", 13}, {1, "MPM", 13}, {2, "OLM", 5}, {4, "OSM", 3}, {5, "OQM", 3}};
    for (const auto& m : frame) {
        EXPECT_EQ(mvx__Table[m.slot].module, m.slot);
        EXPECT_STREQ(mvx__Table[m.slot].code, m.code);
        EXPECT_EQ(mvx__Table[m.slot].count, m.count);
    }
}

TEST_F(LibraryTest, MessageNamesResolveToCodes) {
    uint32_t code = 0;
    EXPECT_EQ(mvx_GetMsgDefine("OTM_INVALIDSIZE", &code), 0);
    EXPECT_EQ(code, 0x30002u);
    EXPECT_EQ(mvx_GetMsgDefine("MPM_FATAL", &code), 0);
    EXPECT_EQ(code, 0x10005u);
    EXPECT_EQ(mvx_GetMsgDefine("MVX_EXC_MEMORY", &code), 0);
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(mvx_GetMsgDefine("MPM__STARS", &code), 0); // message names may begin with '_'
    EXPECT_EQ(code, 0x10006u);
    EXPECT_EQ(mvx_GetMsgDefine("OLM_SIZENOTEQ", &code), 0);
    EXPECT_EQ(code, 0x20005u);

    code = 0x1234;
    EXPECT_EQ(mvx_GetMsgDefine("OTM_NOSUCH", &code), 0xFFFF);
    EXPECT_EQ(mvx_GetMsgDefine("otm_INVALIDSIZE", &code), 0xFFFF); // codes are case-sensitive
    EXPECT_EQ(mvx_GetMsgDefine("OTM_", &code), 0xFFFF);
    EXPECT_EQ(code, 0x1234u);
    EXPECT_EQ(mpm__LastError, 0); // unknown names are not reported
}

TEST_F(LibraryTest, LaterModuleWithTheSameCodeIsSearchedToo) {
    // An application module that reuses a code: the walk goes on past a
    // module with that code that lacks the name.
    static const char* const texts[] = {" mine\n"};
    static const MVX_MSGNAME names[] = {{"MINE", 1, 0}};
    mvx__Table[200] = MVX_MODULE{200, 1, 0, "OTM", texts, names};
    uint32_t code = 0;
    EXPECT_EQ(mvx_GetMsgDefine("OTM_MINE", &code), 0);
    EXPECT_EQ(code, 0xC80001u);
    EXPECT_EQ(mvx_GetMsgDefine("OTM_NOTFOUND", &code), 0); // the first module still wins
    EXPECT_EQ(code, 0x30006u);
}

TEST_F(LibraryTest, MalformedMessageNamesReportBadMsgName) {
    const std::string long_name(10000, 'Q');
    const char* bad[] = {"OTMINVALIDSIZE", "TOOLONG_X", "AB_X", "", "_", "A_", "ABCDE_F"};
    for (const char* name : bad) {
        uint32_t code = 77;
        EXPECT_EQ(mvx_GetMsgDefine(name, &code), MVX_BAD_MSG_NAME) << name;
        EXPECT_EQ(code, 77u);
        EXPECT_EQ(mpm__LastError, MVX_BAD_MSG_NAME);
        EXPECT_EQ(mpm__LastErrorLevel, MPM_ERROR);
    }
    uint32_t code = 0;
    EXPECT_EQ(mvx_GetMsgDefine(long_name.c_str(), &code), MVX_BAD_MSG_NAME);
    EXPECT_EQ(mvx_GetMsgDefine(nullptr, &code), MVX_BAD_MSG_NAME);

    // The most recent report holds the whole 10,000-character name.
    auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
    ASSERT_NE(rec, nullptr);
    rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, 2));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(std::string(rec->text),
              "*** Error (MVX_BAD_MSG_NAME) ***\nInvalid message name " + long_name + ".\n");
    rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, -2));
    EXPECT_EQ(std::string(rec->text),
              "*** Error (MVX_BAD_MSG_NAME) ***\nInvalid message name OTMINVALIDSIZE.\n");
}

TEST_F(LibraryTest, StreamSlotsFillInOrderAndTheTwentyFirstStreamIsClosed) {
    FILE* files[MVX_SYSFILE_SLOTS];
    for (int i = 0; i < MVX_SYSFILE_SLOTS; ++i) {
        files[i] = std::tmpfile();
        ASSERT_EQ(mvx__AllocateFile(files[i]), i);
    }
    EXPECT_EQ(mvx__GetFile(files[7]), 7);
    int extra_fd = -1;
    {
        FILE* extra = std::tmpfile();
        extra_fd = fileno(extra);
        EXPECT_EQ(mvx__AllocateFile(extra), -1);
        EXPECT_EQ(mvx__GetFile(extra), -1);
    }
    EXPECT_EQ(fcntl(extra_fd, F_GETFD), -1); // closed by the library
    mvx__SysFile[4] = nullptr;               // the caller clears a slot it closes
    FILE* again = std::tmpfile();
    EXPECT_EQ(mvx__AllocateFile(again), 4);
    std::fclose(files[4]);
    for (int i = 0; i < MVX_SYSFILE_SLOTS; ++i)
        std::fclose(mvx__SysFile[i]);
}

TEST(LibraryFrame, SystemFileHooksOnlyReportFailure) {
    char buffer[4] = {1, 2, 3, 4};
    errno = 0;
    EXPECT_EQ(mvx_SysOpen("/etc/hostname", 0, 0), -1);
    EXPECT_EQ(errno, -1);
    errno = 0;
    EXPECT_EQ(mvx_SysRead(0, buffer, 4), 0);
    EXPECT_EQ(errno, -1);
    EXPECT_EQ(buffer[0], 1);
    errno = 0;
    EXPECT_EQ(mvx_SysWrite(1, buffer, 4), 0);
    EXPECT_EQ(errno, -1);
    errno = 0;
    EXPECT_EQ(mvx_SysLseek(0, 0, 0), -1);
    EXPECT_EQ(errno, -1);
    errno = 0;
    EXPECT_EQ(mvx_SysFstat(0, buffer), -1);
    EXPECT_EQ(errno, -1);
    errno = 0;
    EXPECT_EQ(mvx_SysClose(0), -1);
    EXPECT_EQ(errno, -1);
}

TEST(LibraryFrame, VersionTextsAndElapsedTimeBase) {
    EXPECT_STREQ(mvx__Version, "Morvex Version v51a, created Tue 11/30/2010");
    EXPECT_STREQ(mvx__BuildOS, "MORVEX_BUILD_OS:Unknown");
    EXPECT_STREQ(mvx__OSVersion, "Microsoft Windows [Version 5.2.3790]");
    EXPECT_STREQ(mvx__CompilerVersion, "");
    const std::string options = mvx__CompilerOptions;
    EXPECT_EQ(options.substr(options.find(':')), ":/MD /D _CRT_SECURE_NO_WARNINGS");
    int64_t before = std::time(nullptr);
    EXPECT_EQ(mvx_ResetElapsedTime(0), 0);
    EXPECT_GE(mvx__ClockTime, before);
    EXPECT_LE(mvx__ClockTime, static_cast<int64_t>(std::time(nullptr)));
    EXPECT_GE(mvx__ProcessTime, 0);
    EXPECT_EQ(mvx_Free(0, nullptr), 0);
}

} // namespace
