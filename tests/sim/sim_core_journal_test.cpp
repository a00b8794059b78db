// The simulator's test interface: call journal, fault injection, overrides
// and what it showed the user.
#include <cstring>

#include "sim_core_support.h"
#include "user32.h"

namespace simtest {
namespace {

using qortest::Call;
using qortest::journal;
using TestApiTest = SimCoreTest;

int64_t address(const void *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }

TEST_F(TestApiTest, JournalHoldsEveryCallWithItsArgumentsInOrder)
{
    uint32_t count = 0;
    CiBoardEntry entry{};
    CiSysBrdEnum(kType32, &count);
    CiSysBrdFind(kType32, 0, &entry);
    CiBoardHandle board = nullptr;
    CiBrdOpen(&entry, &board, 65);
    CiConExposureControlSet(board, 12.9, 3.5, 0.0, 1, 0x80000000u);
    CiBrdClose(reinterpret_cast<CiBoardHandle>(0x10));  // refused calls are journaled too
    const std::vector<Call> expected = {
        {"CiSysBrdEnum", {32, address(&count)}},
        {"CiSysBrdFind", {32, 0, address(&entry)}},
        {"CiBrdOpen", {address(&entry), address(&board), 65}},
        {"CiConExposureControlSet", {address(board), 12, 3, 0, 1, 0x80000000ll}},
        {"CiBrdClose", {0x10}},
    };
    EXPECT_EQ(journal(), expected);
    EXPECT_EQ(bfsim_journal_size(), expected.size());
    EXPECT_EQ(qortest::takeMisuses(), std::vector<std::string>{"CiBrdClose"});
    bfsim_call past{};
    EXPECT_EQ(bfsim_journal_get(expected.size(), &past), -1);
    EXPECT_EQ(bfsim_journal_get(0, nullptr), -1);
}

TEST_F(TestApiTest, JournalRecordsNothingWhileOffAndForgetsOnClear)
{
    uint32_t count = 0;
    bfsim_journal_enable(0);
    CiSysBrdEnum(kType16, &count);
    EXPECT_EQ(bfsim_journal_size(), 0u);
    bfsim_journal_enable(1);
    CiSysBrdEnum(kType16, &count);
    EXPECT_EQ(bfsim_journal_size(), 1u);
    bfsim_journal_clear();
    EXPECT_EQ(bfsim_journal_size(), 0u);
    bfsim_reset();
    CiSysBrdEnum(kType16, &count);
    EXPECT_EQ(bfsim_journal_size(), 0u) << "reset turns the journal off";
}

// Results of six calls of one function under a fault set before the first.
struct FaultCase {
    const char *why;
    int nth;
    int persistent;
    std::vector<int32_t> results;
};

TEST_F(TestApiTest, FaultsFireOnTheNthCallOnceOrFromThenOn)
{
    constexpr int32_t kInjected = 777;
    const FaultCase cases[] = {
        {"next call", 1, 0, {kInjected, 0, 0, 0, 0, 0}},
        {"third call", 3, 0, {0, 0, kInjected, 0, 0, 0}},
        {"from the third on", 3, 1, {0, 0, kInjected, kInjected, kInjected, kInjected}},
        {"from the next on", 1, 1, std::vector<int32_t>(6, kInjected)},
        {"zero means next", 0, 0, {kInjected, 0, 0, 0, 0, 0}},
    };
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.why);
        bfsim_fault_clear();
        bfsim_fault("CiSysBrdEnum", c.nth, c.persistent, kInjected);
        std::vector<int32_t> results;
        for (int i = 0; i < 6; ++i) {
            uint32_t count = 99;
            results.push_back(CiSysBrdEnum(kType16, &count));
            EXPECT_EQ(count, results.back() == 0 ? 1u : 99u) << "a failed call does no work";
        }
        EXPECT_EQ(results, c.results);
    }
}

TEST_F(TestApiTest, FaultsAreCountedPerFunctionAndStackUp)
{
    uint32_t count = 0;
    bfsim_fault("CiSysBrdEnum", 2, 0, 5);
    bfsim_fault("CiSysBrdEnum", 3, 0, 6);
    CiBoardEntry entry{};
    EXPECT_EQ(CiSysBrdFind(kType16, 0, &entry), 0) << "another function's calls do not count";
    EXPECT_EQ(CiSysBrdEnum(kType16, &count), 0);
    EXPECT_EQ(CiSysBrdEnum(kType16, &count), 5);
    EXPECT_EQ(CiSysBrdEnum(kType16, &count), 6);
    EXPECT_EQ(CiSysBrdEnum(kType16, &count), 0);
    EXPECT_EQ(journal().size(), 5u) << "failed calls are journaled";

    bfsim_fault("CiSysBrdEnum", 1, 1, 9);
    bfsim_fault_clear();
    EXPECT_EQ(CiSysBrdEnum(kType16, &count), 0);
}

TEST_F(TestApiTest, ValueFunctionsAnswerTheInjectedResultAsTheirValue)
{
    CiBoardHandle board = openBoard(kType16);
    bfsim_fault("BFRegSupported", 1, 0, 0);
    bfsim_fault("BFIsGn2", 1, 0, 1);
    bfsim_fault("BFRegPeek", 1, 0, 1234);
    EXPECT_EQ(BFRegSupported(board, BFSIM_REG_GAIN), 0);
    EXPECT_EQ(BFRegSupported(board, BFSIM_REG_GAIN), 1);
    EXPECT_EQ(BFIsGn2(board), 1);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_GAIN), 1234u);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_GAIN), BFSIM_GAIN_VALUE);
}

TEST_F(TestApiTest, InquiryOverridesWinOverTheCameraUntilReset)
{
    bfsim_set_inquiry(kType16, 0, CI_INQ_BOARD_MODEL, CI_MODEL_NO_LUT);
    bfsim_set_inquiry(kType16, 0, CI_INQ_BYTES_PER_PIXEL, 3);
    bfsim_set_inquiry(kType16, 0, 0x10099, 5);
    bfsim_set_inquiry(kType16, 7, CI_INQ_WIDTH, 1);  // no such board: ignored
    CiBoardHandle board = openBoard(kType16);
    EXPECT_EQ(inquiry(board, CI_INQ_BOARD_MODEL), CI_MODEL_NO_LUT);
    EXPECT_EQ(inquiry(board, CI_INQ_BYTES_PER_PIXEL), 3u);
    EXPECT_EQ(inquiry(board, 0x10099), 5u) << "even a code the camera does not answer";
    EXPECT_EQ(inquiry(board, CI_INQ_WIDTH), 640u);
    bfsim_reset();
    board = openBoard(kType16);
    EXPECT_EQ(inquiry(board, CI_INQ_BYTES_PER_PIXEL), 1u);
}

TEST_F(TestApiTest, OutputOverridesReplaceWhatReadOnlyResultsWrite)
{
    CiBoardHandle board = openBoard(kType16);
    uint8_t mask = 0;
    uint32_t granted = 0;
    bfsim_set_output("CiLutSetMask", 0);
    bfsim_set_output("BFQTabModeRequest", 0);
    EXPECT_EQ(CiLutSetMask(board, 8, &mask), 0);
    EXPECT_EQ(mask, 0);
    EXPECT_EQ(CiLutSetMask(board, 9, &mask), 0) << "an imposed mask answers any depth";
    EXPECT_EQ(BFQTabModeRequest(board, 1, &granted), 0);
    EXPECT_EQ(granted, 0u);
    bfsim_clear_output("CiLutSetMask");
    bfsim_clear_output("BFQTabModeRequest");
    EXPECT_EQ(CiLutSetMask(board, 8, &mask), 0);
    EXPECT_EQ(mask, BFSIM_MASK_NONE);
    EXPECT_EQ(BFQTabModeRequest(board, 1, &granted), 0);
    EXPECT_EQ(granted, 1u);
}

TEST_F(TestApiTest, DebugOutputGoesToStderrAndIsKeptAndJournaled)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(BFOutputDebugString("chain set up"), 0);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("chain set up"), std::string::npos) << printed;
    EXPECT_EQ(BFOutputDebugString(nullptr), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(journal(), (std::vector<Call>{{"BFOutputDebugString", {journal()[0].args[0]}},
                                            {"BFOutputDebugString", {0}}}));

    char line[8];
    ASSERT_EQ(bfsim_debug_output_count(), 1);
    ASSERT_EQ(bfsim_debug_output_get(0, line, sizeof line), 0);
    EXPECT_STREQ(line, "chain s") << "cut to the buffer";
    EXPECT_EQ(bfsim_debug_output_get(1, line, sizeof line), -1);
    bfsim_reset();
    EXPECT_EQ(bfsim_debug_output_count(), 0);
}

// Windows builds take GetFocus and MessageBoxA from user32 itself.
#if !defined(_WIN32)
TEST_F(TestApiTest, MessageBoxesGoToStderrAndAreKeptJournaledAndCounted)
{
    const char *text = "Trigger mode not supported";
    void *owner = GetFocus();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(owner), BFSIM_FOCUS_WINDOW);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(owner, text, "Trigger Error", 0x40010), 1);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    for (const char *part : {"Trigger Error", text, "0x40010"})
        EXPECT_NE(printed.find(part), std::string::npos) << printed;

    ASSERT_EQ(bfsim_message_box_count(), 1);
    bfsim_message_box shown{};
    ASSERT_EQ(bfsim_message_box_get(0, &shown), 0);
    EXPECT_EQ(shown.owner, BFSIM_FOCUS_WINDOW);
    EXPECT_STREQ(shown.text, text);
    EXPECT_STREQ(shown.caption, "Trigger Error");
    EXPECT_EQ(shown.style, 0x40010u);
    EXPECT_EQ(bfsim_message_box_get(1, &shown), -1);
    EXPECT_EQ(journal(), (std::vector<Call>{
                             {"GetFocus", {}},
                             {"MessageBoxA", {address(owner), address(text),
                                              journal()[1].args[2], 0x40010}}}));

    bfsim_fault("GetFocus", 1, 0, 0);
    EXPECT_EQ(GetFocus(), nullptr) << "no focused window";
    bfsim_reset();
    EXPECT_EQ(bfsim_message_box_count(), 0);
}
#endif

}  // namespace
}  // namespace simtest
