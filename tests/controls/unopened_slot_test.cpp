#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "controls/controls_test_support.h"

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

class UnopenedSlotTest : public controlstest::ControlsTest {};

// Every control on a slot that holds no open board, including indexes
// outside the table and a slot closed again: 5002 before any pointer is
// read or written and before the board is called.
TEST_F(UnopenedSlotTest, EveryControlAnswersSlotNotOpenAndCallsNothing)
{
    using Control = int32_t (*)(int32_t slot, uint32_t *out);
    const std::vector<Control> controls = {
        [](int32_t s, uint32_t *) { return BF_TriggerMode(nullptr, s); },
        [](int32_t s, uint32_t *) { return BF_SetSWtrigger(1, 1, s); },
        [](int32_t s, uint32_t *) { return BF_LoadLUT(2, nullptr, 256, s); },
        [](int32_t s, uint32_t *) { return BF_MaskBits(s); },
        [](int32_t s, uint32_t *) { return BF_NTGSetup(s, 10.0, 1.0, 0.0, 0, 1); },
        [](int32_t s, uint32_t *) { return BF_NTGEncDiv(s, 2, 0, 0); },
        [](int32_t s, uint32_t *out) { return BF_GetGPOUT(s, out); },
        [](int32_t s, uint32_t *) { return BF_SetGPOUT(s, 1, 1); },
        [](int32_t s, uint32_t *out) { return BF_RegPeek(s, BFSIM_REG_SCRATCH, out); },
        [](int32_t s, uint32_t *) { return BF_RegPoke(s, BFSIM_REG_SCRATCH, 1); },
        [](int32_t s, uint32_t *out) { return BF_RegNametoId(s, out, nullptr, 32, 1); },
        [](int32_t s, uint32_t *out) { return BF_RegNametoId(s, out, nullptr, 32, 0); },
    };
    const int32_t closed = open(BF_FAMILY_16);
    const int32_t stillOpen = open(BF_FAMILY_64);
    ASSERT_EQ(BF_Close(closed), BF_OK);
    bfsim_journal_clear();

    for (int32_t slot : {closed, stillOpen + 1, 9, 10, -1, INT_MIN, INT_MAX}) {
        for (size_t i = 0; i < controls.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "control " << i << " slot " << slot);
            uint32_t out = kUntouched;
            EXPECT_EQ(controls[i](slot, &out), BF_E_SLOT_NOT_OPEN);
            EXPECT_EQ(out, kUntouched);
        }
    }
    EXPECT_TRUE(qortest::journal().empty());
}

}  // namespace
