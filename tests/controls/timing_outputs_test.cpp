#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "controls/controls_test_support.h"

namespace {

using controlstest::addressArg;
using controlstest::boardArg;
using qortest::Call;
using qortest::journal;

class TimingOutputsTest : public controlstest::ControlsTest {};

TEST_F(TimingOutputsTest, OutputLineBecomesAOneBitMask)
{
    struct Case {
        int32_t bitNumber;
        int64_t mask;
    };
    const std::vector<Case> cases = {
        {1, 0x1},          {2, 0x2},          {3, 0x4},   {4, 0x8},        {32, 0x80000000},
        {0, 0x80000000},   {33, 0x1},         {34, 0x2},  {-1, 0x40000000}, {INT_MIN, 0x80000000},
        {INT_MAX, 0x40000000},
    };
    const int32_t slot = open(BF_FAMILY_16);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bitNumber);
        bfsim_journal_clear();
        EXPECT_EQ(BF_NTGSetup(slot, 20.9, 5.5, 1.99, 7, c.bitNumber), BF_OK);
        // The journal keeps doubles rounded toward zero.
        EXPECT_EQ(journal(), (std::vector<Call>{
                                 {"CiConExposureControlSet", {boardArg(slot), 20, 5, 1, 7, c.mask}}}));
    }
}

// Each member hands its values on untouched and maps any non-zero answer of
// the board, whatever its sign, to its own status.
struct PassThrough {
    const char *function;
    int32_t failure;
    int32_t (*call)(int32_t slot, uint32_t *levels);
};

const PassThrough kMembers[] = {
    {"CiConExposureControlSet", BF_E_NTG_SETUP,
     [](int32_t slot, uint32_t *) { return BF_NTGSetup(slot, 10.0, 2.0, 0.0, 0, 1); }},
    {"CiEncoderDividerSet", BF_E_ENCODER_DIVIDER,
     [](int32_t slot, uint32_t *) { return BF_NTGEncDiv(slot, 4, 1, 1); }},
    {"CiRegGPOutGet", BF_E_GPOUT_GET,
     [](int32_t slot, uint32_t *levels) { return BF_GetGPOUT(slot, levels); }},
    {"CiRegGPOutSet", BF_E_GPOUT_SET,
     [](int32_t slot, uint32_t *) { return BF_SetGPOUT(slot, 0xF0, 0x50); }},
};

TEST_F(TimingOutputsTest, EveryNonZeroAnswerIsTheMembersFailure)
{
    const int32_t slot = open(BF_FAMILY_16);
    for (const PassThrough &member : kMembers) {
        for (int32_t answer : {1, -1, 0x7FFFFFFF, INT_MIN}) {
            SCOPED_TRACE(testing::Message() << member.function << " answering " << answer);
            bfsim_fault(member.function, 1, 0, answer);
            uint32_t levels = 0xDEADBEEF;
            EXPECT_EQ(member.call(slot, &levels), member.failure);
            EXPECT_EQ(levels, 0xDEADBEEFu);
        }
        uint32_t levels = 0;
        EXPECT_EQ(member.call(slot, &levels), BF_OK) << member.function;
    }
}

TEST_F(TimingOutputsTest, ValuesReachTheBoardInTheirPlaces)
{
    const int32_t slot = open(BF_FAMILY_16);
    uint32_t levels = 0;
    ASSERT_EQ(BF_NTGEncDiv(slot, 3, 1, 0), BF_OK);
    ASSERT_EQ(BF_SetGPOUT(slot, 0x0F, 0x05), BF_OK);
    ASSERT_EQ(BF_GetGPOUT(slot, &levels), BF_OK);
    EXPECT_EQ(journal(), (std::vector<Call>{
                             {"CiEncoderDividerSet", {boardArg(slot), 3, 1, 0, 0}},
                             {"CiRegGPOutSet", {boardArg(slot), 0x0F, 0x05}},
                             {"CiRegGPOutGet", {boardArg(slot), addressArg(&levels)}},
                         }));
}

TEST_F(TimingOutputsTest, BoardRefusalsComeBackAsTheMembersStatus)
{
    const int32_t slot = open(BF_FAMILY_16);
    EXPECT_EQ(BF_NTGSetup(slot, 0.0, 0.0, 0.0, 0, 1), BF_E_NTG_SETUP) << "zero period";
    EXPECT_EQ(BF_NTGSetup(slot, 5.0, 6.0, 0.0, 0, 1), BF_E_NTG_SETUP) << "exposure past period";
    EXPECT_EQ(BF_NTGEncDiv(slot, 0, 0, 0), BF_E_ENCODER_DIVIDER) << "divider 0";
}

TEST_F(TimingOutputsTest, OutputsReadBackWhatWasSet)
{
    const int32_t slot = open(BF_FAMILY_16);
    struct Step {
        uint32_t mask;
        uint32_t levels;
        uint32_t readBack;
    };
    uint32_t start = 0;
    ASSERT_EQ(BF_GetGPOUT(slot, &start), BF_OK);
    const uint32_t low = start & ~0xFFu;
    const std::vector<Step> steps = {
        {0xFF, 0x05, low | 0x05}, {0x03, 0x02, low | 0x06}, {0xF0, 0xFF, low | 0xF6}, {0, 0, low | 0xF6}};
    for (const Step &step : steps) {
        ASSERT_EQ(BF_SetGPOUT(slot, step.mask, step.levels), BF_OK);
        uint32_t levels = 0;
        ASSERT_EQ(BF_GetGPOUT(slot, &levels), BF_OK);
        EXPECT_EQ(levels, step.readBack) << std::hex << step.mask << "/" << step.levels;
    }
}

TEST_F(TimingOutputsTest, NullLevelsPointerIsRefusedWithoutCallingTheBoard)
{
    const int32_t slot = open(BF_FAMILY_16);
    EXPECT_EQ(BF_GetGPOUT(slot, nullptr), BF_E_GPOUT_GET);
    EXPECT_TRUE(journal().empty());
}

}  // namespace
