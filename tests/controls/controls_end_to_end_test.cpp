// The controls seen through acquisition: what a host gets in its frames
// after triggering and LUT calls, on the simulated boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "controls/controls_test_support.h"
#include "support/frame_check.h"

namespace {

using qortest::Call;
using qortest::journalOf;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kLines = 16;
constexpr uint32_t kHeldMs = 100;
constexpr uint32_t kFrameMs = 1000;

class ControlsEndToEndTest : public controlstest::ControlsTest {
protected:
    // Registers `frame` (sized for the camera) as the slot's destination.
    void setUp(int32_t slot, std::vector<uint8_t> &frame)
    {
        ASSERT_EQ(BF_Setup(frame.data(), kWidth, slot), BF_OK);
    }
    void tearDown(int32_t slot)
    {
        EXPECT_EQ(BF_Cleanup(slot), BF_OK);
        EXPECT_EQ(BF_Close(slot), BF_OK);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    }
};

TEST_F(ControlsEndToEndTest, TriggeredGrabHoldsUntilATriggerArrives)
{
    const int32_t slot = open(BF_FAMILY_16);
    std::vector<uint8_t> frame(kWidth * kLines);
    int32_t enable = 1;
    ASSERT_EQ(BF_TriggerMode(&enable, slot), BF_OK);
    setUp(slot, frame);
    ASSERT_EQ(BF_Grab(slot, 0), BF_OK);

    uint32_t count = 0;
    EXPECT_EQ(BF_Wait4Frame(kHeldMs, slot, &count), BF_E_SIGNAL_WAIT) << "no trigger yet";

    bfsim_fire_external_trigger(16, 0);
    EXPECT_EQ(BF_Wait4Frame(kFrameMs, slot, &count), BF_OK);
    EXPECT_EQ(BF_Wait4Frame(kHeldMs, slot, &count), BF_E_SIGNAL_WAIT) << "one trigger, one frame";

    // A software trigger starts a frame just as well; one that comes while
    // no frame is waiting is dropped, so allow the engine a moment to re-arm.
    bool arrived = false;
    for (int attempt = 0; attempt < 5 && !arrived; ++attempt) {
        EXPECT_EQ(BF_SetSWtrigger(1, 0, slot), BF_OK);
        arrived = BF_Wait4Frame(kHeldMs, slot, &count) == BF_OK;
    }
    EXPECT_TRUE(arrived);

    EXPECT_EQ(BF_Stop(slot), BF_OK);
    tearDown(slot);
}

// The (bank, type) pair each control leaves is what the next BF_Setup hands on.
struct PairCase {
    const char *name;
    int32_t (*control)(int32_t slot);
    int64_t lutBank;
    int64_t lutType;
};

void PrintTo(const PairCase &c, std::ostream *os) { *os << c.name; }

std::vector<uint16_t> &table()
{
    static std::vector<uint16_t> entries(0x8000);
    return entries;
}

const PairCase kPairs[] = {
    {"freshly opened", [](int32_t) -> int32_t { return BF_OK; }, 4, 0},
    {"kind 0", [](int32_t s) { return BF_LoadLUT(0, table().data(), 4096, s); }, 0, 1},
    {"kind 1", [](int32_t s) { return BF_LoadLUT(1, table().data(), 32768, s); }, 0, 2},
    {"kind 5", [](int32_t s) { return BF_LoadLUT(5, table().data(), 256, s); }, 0, 0},
    {"kind 7 after kind 0",
     [](int32_t s) {
         BF_LoadLUT(0, table().data(), 4096, s);
         return BF_LoadLUT(7, table().data(), 256, s);
     },
     4, 0},
    // A table refused as too short leaves the set-up as it was.
    {"short kind 1", [](int32_t s) { return BF_LoadLUT(1, table().data(), 4096, s); }, 4, 0},
    {"short kind 1 after kind 0",
     [](int32_t s) {
         BF_LoadLUT(0, table().data(), 4096, s);
         return BF_LoadLUT(1, table().data(), 4096, s);
     },
     0, 1},
    {"refused write",
     [](int32_t s) {
         bfsim_fault("CiLutWrite", 1, 0, 1);
         return BF_LoadLUT(0, table().data(), 4096, s);
     },
     4, 1},
    {"mask for 12 bits",
     [](int32_t s) {
         bfsim_set_inquiry(16, 0, 0x10004, 12);
         return BF_MaskBits(s);
     },
     0, BFSIM_MASK_12_BITS},
    {"mask for 8 bits after kind 0",
     [](int32_t s) {
         BF_LoadLUT(0, table().data(), 4096, s);
         return BF_MaskBits(s);
     },
     4, 0},
};

class LutPairTest : public ControlsEndToEndTest, public testing::WithParamInterface<PairCase> {};

TEST_P(LutPairTest, ReachesTheNextSetup)
{
    const int32_t slot = open(BF_FAMILY_16);
    std::vector<uint8_t> frame(kWidth * kLines);
    GetParam().control(slot);
    bfsim_journal_clear();
    setUp(slot, frame);
    const std::vector<Call> setups = journalOf({"CiAqSetup"});
    ASSERT_EQ(setups.size(), 1u);
    EXPECT_EQ(setups[0].args.at(5), GetParam().lutBank);
    EXPECT_EQ(setups[0].args.at(6), GetParam().lutType);

    // While the destination is registered the table cannot change...
    EXPECT_EQ(BF_LoadLUT(2, table().data(), 256, slot), BF_E_LUT_DESTINATION);
    // ...and after clean-up it can again.
    ASSERT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(BF_LoadLUT(2, table().data(), 256, slot), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
}

INSTANTIATE_TEST_SUITE_P(Pairs, LutPairTest, testing::ValuesIn(kPairs));

// The frame the board stamped into `frame` holds the camera's pattern
// throughout, stored through `lut` when given.
::testing::AssertionResult holdsStampedFrame(const std::vector<uint8_t> &frame,
                                             const std::vector<uint32_t> *lut = nullptr)
{
    return qortest::holdsFrame(frame.data(), qortest::packedFrame(kWidth, kLines, 1, lut),
                               qortest::frameStamp(frame.data()));
}

TEST_F(ControlsEndToEndTest, AnInvertingLutInvertsTheFrame)
{
    const int32_t slot = open(BF_FAMILY_16);
    std::vector<uint8_t> inverting(256);
    std::vector<uint32_t> stored(256);
    for (size_t i = 0; i < inverting.size(); ++i) stored[i] = inverting[i] = static_cast<uint8_t>(255 - i);

    std::vector<uint8_t> frame(kWidth * kLines, 0);
    ASSERT_EQ(BF_LoadLUT(2, inverting.data(), 256, slot), BF_OK);
    setUp(slot, frame);
    ASSERT_EQ(BF_GetFrame(slot), BF_OK);
    EXPECT_TRUE(holdsStampedFrame(frame, &stored));
    ASSERT_EQ(BF_Cleanup(slot), BF_OK);

    // An invalid kind drops the table again: the next frame is plain.
    EXPECT_EQ(BF_LoadLUT(7, inverting.data(), 256, slot), BF_E_LUT_KIND);
    std::fill(frame.begin(), frame.end(), 0);
    setUp(slot, frame);
    ASSERT_EQ(BF_GetFrame(slot), BF_OK);
    EXPECT_TRUE(holdsStampedFrame(frame));
    tearDown(slot);
}

}  // namespace
