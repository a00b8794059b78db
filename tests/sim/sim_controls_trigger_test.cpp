// The simulated trigger, timing and output controls.
#include <cmath>
#include <limits>

#include "sim_core_support.h"

namespace simtest {
namespace {

using ControlsTest = SimCoreTest;

TEST_F(ControlsTest, ExternalLineConnectsOnlyThroughLineOneAndItsTwoActions)
{
    CiBoardHandle board = openBoard(kType16);
    auto connected = [&] { return probeBoard(board).externalConnected != 0; };
    EXPECT_FALSE(connected());
    EXPECT_EQ(CiConExTrigConnect(board, 1, BFSIM_EXT_CONNECT), 0);
    EXPECT_TRUE(connected());
    EXPECT_EQ(CiConExTrigConnect(board, 2, BFSIM_EXT_DISCONNECT), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiConExTrigConnect(board, 1, 21), BFSIM_ERR_ARGUMENT);
    EXPECT_TRUE(connected()) << "refused calls change nothing";
    EXPECT_EQ(CiConExTrigConnect(board, 1, BFSIM_EXT_DISCONNECT), 0);
    EXPECT_FALSE(connected());
    ASSERT_EQ(CiConExTrigConnect(board, 1, BFSIM_EXT_CONNECT), 0);
    ASSERT_EQ(CiBrdClose(board), 0);
    board = openBoard(kType16);
    EXPECT_FALSE(connected()) << "a reopened board starts disconnected";
}

TEST_F(ControlsTest, TriggerModesEachGenerationAccepts)
{
    struct Case {
        uint32_t type;  // 16 plain, 64 R64, 208 Gn2
        uint32_t mode;
        int32_t result;
        bool triggered;
    } const cases[] = {
        {kType16, 0, 0, false},  {kType16, 1, 0, false},
        {kType16, 2, 0, true},   {kType16, 3, 0, true},
        {kType16, 6, 0, false},  {kType16, 4, BFSIM_ERR_ARGUMENT, false},
        {kType16, 5, BFSIM_ERR_ARGUMENT, false}, {kType16, 7, BFSIM_ERR_ARGUMENT, false},
        {kType64, 3, BFSIM_ERR_UNSUPPORTED, false}, {kType64, 2, 0, true},
        {kType208, 3, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " mode " << c.mode);
        bfsim_reset();
        CiBoardHandle board = openBoard(c.type);
        EXPECT_EQ(CiConVTrigModeSet(board, c.mode, 11, 239, 238), c.result);
        uint32_t mode = 99, p1 = 0, p2 = 0, p3 = 0;
        ASSERT_EQ(CiConVTrigModeGet(board, &mode, &p1, &p2, &p3), 0);
        const bool taken = c.result == 0;
        EXPECT_EQ(mode, taken ? c.mode : 0u);
        EXPECT_EQ(p2, taken ? 239u : 0u);
        EXPECT_EQ(p3, taken ? 238u : 0u);
        EXPECT_EQ(probeBoard(board).triggered != 0, c.triggered);
    }
}

TEST_F(ControlsTest, UntilSetTheModeIsTheCurrentCamerasAndFollowsCameraSwitches)
{
    loadConfig(R"({"boards": [{"type": 16, "cameras": [{"trigMode": 2, "trigParams": [1, 2, 3]},
                                                      {"trigMode": 6}]}]})");
    CiBoardHandle board = openBoard(kType16);
    EXPECT_EQ(probeBoard(board).triggerMode, 2u);
    EXPECT_EQ(probeBoard(board).triggerParams[2], 3u);
    ASSERT_EQ(CiBrdCamSel(board, 1, 1), 0);
    EXPECT_EQ(probeBoard(board).triggerMode, 6u);
    ASSERT_EQ(CiConVTrigModeSet(board, 1, 0, 0, 0), 0);
    ASSERT_EQ(CiBrdCamSel(board, 0, 1), 0);
    EXPECT_EQ(probeBoard(board).triggerMode, 1u) << "a set mode outlasts camera switches";
}

TEST_F(ControlsTest, TimingGeneratorRefusesPeriodsItCannotRun)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double period, exposure, delay;
        bool accepted;
    } const cases[] = {
        {10, 10, 10, true}, {0.5, 0, 0, true},  {0, 0, 0, false},   {-10, 1, 0, false},
        {10, 10.5, 0, false}, {10, -1, 0, false}, {10, 1, 11, false}, {nan, 1, 0, false},
        {inf, 1, 0, false}, {10, nan, 0, false},
    };
    CiBoardHandle board = openBoard(kType16);
    auto period = [&] { return probeBoard(board).timingPeriodMs; };
    EXPECT_EQ(period(), 0.0) << "none set yet";
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.period << "/" << c.exposure << "/" << c.delay);
        ASSERT_EQ(CiConExposureControlSet(board, 25, 1, 0, 0, 1), 0);
        const int32_t result = CiConExposureControlSet(board, c.period, c.exposure, c.delay, 0, 2);
        EXPECT_EQ(result, c.accepted ? 0 : BFSIM_ERR_ARGUMENT);
        EXPECT_EQ(period(), c.accepted ? c.period : 25.0);
    }
}

TEST_F(ControlsTest, OutputsReadBackWhatWasSetUnderTheMask)
{
    CiBoardHandle board = openBoard(kType16);
    uint32_t levels = 0xFFFF;
    ASSERT_EQ(CiRegGPOutGet(board, &levels), 0);
    EXPECT_EQ(levels, 0u) << "outputs start low";
    const struct {
        uint32_t mask, levels, readBack;
    } steps[] = {
        {0x0F, 0xA5, 0x05},
        {0xF0, 0xFF, 0xF5},
        {0x01, 0x00, 0xF4},
        {0x00, 0xFFFFFFFF, 0xF4},
        {0xFFFFFFFF, 0x80000001, 0x80000001},
    };
    for (const auto &step : steps) {
        ASSERT_EQ(CiRegGPOutSet(board, step.mask, step.levels), 0);
        ASSERT_EQ(CiRegGPOutGet(board, &levels), 0);
        EXPECT_EQ(levels, step.readBack) << std::hex << step.mask << " " << step.levels;
    }
    EXPECT_EQ(CiRegGPOutGet(board, nullptr), BFSIM_ERR_ARGUMENT);
}

}  // namespace
}  // namespace simtest
