// The library frame: start-up and shut-down order, the registry, message
// names to codes, stream slots and the system-file hooks.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "mvx/mvx_int.h"
#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

std::vector<int>* g_calls = nullptr;

// Step N of start-up records N, step N of shut-down records 100 + N.
template <int N> int32_t Record(uint32_t) {
    g_calls->push_back(N);
    return 0;
}
template <int Base, std::size_t... I> void Fill(MvxModuleStep* steps, std::index_sequence<I...>) {
    ((steps[I] = Record<Base + static_cast<int>(I)>), ...);
}

TEST(LibraryFrame, StartUpAndShutDownRunTheModulesInOrderOnlyAtTheOuterCalls) {
    // The real steps, in the order the library documents.
    const MvxModuleStep init[] = {hdb_Initialize, olm_Initialize, oqm_Initialize, osm_Initialize,
                                  otm_Initialize, ugn_Initialize, mpm_Initialize, ddf_Initialize,
                                  mda_Initialize, evm_Initialize, eam_Initialize, mth_Initialize,
                                  fmt_Initialize, cfg_Initialize, dof_Initialize, map_Initialize};
    const MvxModuleStep term[] = {map_Terminate, cfg_Terminate, ugn_Terminate,
                                  mda_Terminate, ddf_Terminate, mpm_Terminate};
    EXPECT_EQ(std::memcmp(mvx_InitSteps, init, sizeof init), 0);
    EXPECT_EQ(std::memcmp(mvx_TermSteps, term, sizeof term), 0);

    // Recorders in place of the steps; the real ones are put back at the end.
    std::vector<int> calls;
    g_calls = &calls;
    Fill<0>(mvx_InitSteps, std::make_index_sequence<kMvxInitSteps>());
    Fill<100>(mvx_TermSteps, std::make_index_sequence<kMvxTermSteps>());
    EXPECT_EQ(mvx_Initialize(0), 0);
    EXPECT_EQ(mvx_Initialize(0), 0);
    EXPECT_EQ(mvx__IntializeIdx, 2);
    EXPECT_EQ(mvx_Terminate(0), 0);
    EXPECT_EQ(mvx__IntializeIdx, 1);
    const std::vector<int> starts = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(calls, starts); // only the outer calls run the steps
    EXPECT_EQ(mvx_Terminate(0), 0);
    EXPECT_EQ(mvx_Terminate(0), 0); // one too many: nothing happens
    EXPECT_EQ(mvx__IntializeIdx, 0);
    std::vector<int> all = starts;
    all.insert(all.end(), {100, 101, 102, 103, 104, 105});
    EXPECT_EQ(calls, all);
    std::memcpy(mvx_InitSteps, init, sizeof init);
    std::memcpy(mvx_TermSteps, term, sizeof term);
    g_calls = nullptr;

    // A restart after a full shut-down runs the whole start-up again.
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

// Unknown names give 0xFFFF quietly; malformed ones report MVX_BAD_MSG_NAME
// with the whole name. The code is left alone either way.
TEST_F(LibraryTest, MessageNamesToCodes) {
    const std::string long_name(10000, 'Q');
    // The first three are well-formed but unknown (names are case-sensitive).
    const char* const names[] = {
        "OTM_NOSUCH", "otm_INVALIDSIZE", "OTM_",  "OTMINVALIDSIZE", "TOOLONG_X", "AB_X", "", "_",
        "A_",         "ABCDE_F",         nullptr, long_name.c_str()};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const bool bad = i >= 3;
        mpm_ClearError(0);
        uint32_t code = 77;
        EXPECT_EQ(mvx_GetMsgDefine(names[i], &code), bad ? MVX_BAD_MSG_NAME : 0xFFFF) << i;
        EXPECT_EQ(code, 77u);
        EXPECT_EQ(mpm__LastError, bad ? MVX_BAD_MSG_NAME : 0);
    }
    EXPECT_EQ(mvxtest::LastText(),
              "*** Error (MVX_BAD_MSG_NAME) ***\nInvalid message name " + long_name + ".\n");
    // An application module that reuses a code: the walk goes on past a
    // module with that code that lacks the name.
    static const char* const texts[] = {" mine\n"};
    static const MVX_MSGNAME mine[] = {{"MINE", 1, 0}};
    mvx__Table[200] = MVX_MODULE{200, 1, 0, "OTM", texts, mine};
    uint32_t code = 0;
    EXPECT_EQ(mvx_GetMsgDefine("OTM_MINE", &code), 0);
    EXPECT_EQ(code, 0xC80001u);
    EXPECT_EQ(mvx_GetMsgDefine("OTM_NOTFOUND", &code), 0); // the first module still wins
    EXPECT_EQ(code, 0x30006u);
}

TEST_F(LibraryTest, StreamSlotsFillInOrderTheTwentyFirstIsClosedAndHooksFail) {
    FILE* files[MVX_SYSFILE_SLOTS];
    for (int i = 0; i < MVX_SYSFILE_SLOTS; ++i) {
        files[i] = std::tmpfile();
        ASSERT_EQ(mvx__AllocateFile(files[i]), i);
    }
    EXPECT_EQ(mvx__GetFile(files[7]), 7);
    FILE* extra = std::tmpfile();
    const int extra_fd = fileno(extra);
    EXPECT_EQ(mvx__AllocateFile(extra), -1);
    EXPECT_EQ(mvx__GetFile(extra), -1);
    EXPECT_EQ(fcntl(extra_fd, F_GETFD), -1); // closed by the library
    mvx__SysFile[4] = nullptr;               // the caller clears a slot it closes
    FILE* again = std::tmpfile();
    EXPECT_EQ(mvx__AllocateFile(again), 4);
    std::fclose(files[4]);
    for (int i = 0; i < MVX_SYSFILE_SLOTS; ++i)
        std::fclose(mvx__SysFile[i]);
    // The system-file hooks only report failure.
    char buffer[4] = {1, 2, 3, 4};
    const std::function<int()> hooks[] = {
        [] { return static_cast<int>(mvx_SysOpen("/etc/hostname", 0, 0)) + 1; },
        [&] { return static_cast<int>(mvx_SysRead(0, buffer, 4)); },
        [&] { return static_cast<int>(mvx_SysWrite(1, buffer, 4)); },
        [] { return static_cast<int>(mvx_SysLseek(0, 0, 0)) + 1; },
        [&] { return static_cast<int>(mvx_SysFstat(0, buffer)) + 1; },
        [] { return static_cast<int>(mvx_SysClose(0)) + 1; },
    };
    for (const auto& hook : hooks) {
        errno = 0;
        EXPECT_EQ(hook(), 0);
        EXPECT_EQ(errno, -1);
    }
    EXPECT_EQ(buffer[0], 1);
    // The elapsed-time base is taken at reset; freeing nothing is no error.
    mvx__ClockTime = 0, mvx__ProcessTime = -1;
    EXPECT_EQ(mvx_ResetElapsedTime(0), 0);
    EXPECT_GT(mvx__ClockTime, 0);
    EXPECT_GE(mvx__ProcessTime, 0);
    EXPECT_EQ(mvx_Free(0, nullptr), 0);
}

} // namespace
