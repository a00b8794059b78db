#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "controls/controls_test_support.h"
#include "user32.h"

namespace {

using controlstest::boardArg;
using qortest::Call;
using qortest::journal;
using qortest::journalOf;
using qortest::journalNames;

constexpr const char *kR64Text = "Trigger mode not supported by R64. Please use One-shot trigger mode";
constexpr const char *kR64Caption = "Trigger Error";
constexpr int64_t kR64Style = 0x40010;

class TriggerModeTest : public controlstest::ControlsTest {};

// How an enabling or disabling call ends, by the board, the mode read at
// open, the flag before, and whether the board refuses mode 3. No row shows
// a message: only an R64 that refuses the mode does.
struct TriggerCase {
    const char *name;
    int32_t family;
    bool failConnect;  // the line's (dis)connect answers non-zero: never looked at
    uint32_t vtrigMode;
    int32_t extBefore;
    int32_t enable;
    bool refuseModeSet;
    int32_t status;
    int32_t extAfter;
    bool modeSetTried;
};

const TriggerCase kTriggerCases[] = {
    {"mode 2 skips the mode set", BF_FAMILY_16, false, 2, 0, 1, false, BF_OK, 1, false},
    {"mode 6 skips the mode set", BF_FAMILY_16, false, 6, 0, 1, true, BF_OK, 1, false},
    {"R64 in mode 2 takes it", BF_FAMILY_64, false, 2, 0, 1, false, BF_OK, 1, false},
    {"mode 0 sets mode 3", BF_FAMILY_16, false, 0, 0, 1, false, BF_OK, 1, true},
    {"mode 1 sets mode 3", BF_FAMILY_16, false, 1, 0, 1, false, BF_OK, 1, true},
    {"any non-zero enables: 2", BF_FAMILY_16, false, 0, 0, 2, false, BF_OK, 1, true},
    {"any non-zero enables: -1", BF_FAMILY_16, false, 0, 0, -1, false, BF_OK, 1, true},
    {"failed connect still enables", BF_FAMILY_16, true, 0, 0, 1, false, BF_OK, 1, true},
    {"refused set keeps flag clear", BF_FAMILY_16, false, 0, 0, 1, true, BF_E_TRIGGER_MODE, 0, true},
    {"refused set keeps flag set", BF_FAMILY_16, false, 3, 1, INT_MIN, true, BF_E_TRIGGER_MODE, 1, true},
    {"disable clears", BF_FAMILY_16, false, 0, 1, 0, false, BF_OK, 0, false},
    {"disable clears in mode 2", BF_FAMILY_16, false, 2, 1, 0, true, BF_OK, 0, false},
    {"failed disconnect still clears", BF_FAMILY_16, true, 0, 1, 0, false, BF_OK, 0, false},
};

void PrintTo(const TriggerCase &c, std::ostream *os) { *os << c.name; }

class TriggerTableTest : public controlstest::ControlsTest,
                         public testing::WithParamInterface<TriggerCase> {};

TEST_P(TriggerTableTest, EnableAndDisableFollowTheModeReadAtOpen)
{
    const TriggerCase &c = GetParam();
    const int32_t slot = open(c.family);
    slotOf(slot).vtrigMode = c.vtrigMode;
    slotOf(slot).extTrigger = c.extBefore;
    if (c.failConnect) bfsim_fault("CiConExTrigConnect", 1, 0, 5);
    if (c.refuseModeSet) bfsim_fault("CiConVTrigModeSet", 1, 1, 1);
    int32_t enable = c.enable;

    EXPECT_EQ(BF_TriggerMode(&enable, slot), c.status);

    EXPECT_EQ(slotOf(slot).extTrigger, c.extAfter);
    EXPECT_EQ(slotOf(slot).vtrigMode, c.vtrigMode) << "the mode read at open is kept";
    // A refused enable leaves the line connected: no disconnect follows.
    std::vector<Call> expected{{"CiConExTrigConnect", {boardArg(slot), 1, c.enable ? 19 : 20}}};
    if (c.modeSetTried) expected.push_back({"CiConVTrigModeSet", {boardArg(slot), 3, 11, 239, 239}});
    if (c.modeSetTried && c.refuseModeSet) expected.push_back({"BFIsR64", {boardArg(slot)}});
    EXPECT_EQ(journalOf({"CiConExTrigConnect", "CiConVTrigModeSet", "BFIsR64", "MessageBoxA"}),
              expected);
    EXPECT_EQ(bfsim_message_box_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TriggerTableTest, testing::ValuesIn(kTriggerCases));

TEST_F(TriggerModeTest, R64RefusingMode3ShowsTheMessageOnce)
{
    const int32_t slot = open(BF_FAMILY_64);
    slotOf(slot).vtrigMode = 0;
    int32_t enable = 1;

    testing::internal::CaptureStderr();
    const int32_t status = BF_TriggerMode(&enable, slot);
    const std::string printed = testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, BF_E_TRIGGER_MODE);
    EXPECT_EQ(slotOf(slot).extTrigger, 0);
#if defined(_WIN32)
    // On Windows the box is user32's own, out of the simulator's sight.
    GTEST_SKIP() << "MessageBoxA is the system's";
#endif
    EXPECT_EQ(bfsim_message_box_count(), 1);
    const std::vector<Call> boxes = journalOf({"MessageBoxA"});
    ASSERT_EQ(boxes.size(), 1u);
    ASSERT_EQ(boxes[0].args.size(), 4u);
    // The library's own strings live as long as the library, so the
    // journaled addresses can be read back.
    EXPECT_STREQ(reinterpret_cast<const char *>(boxes[0].args[1]), kR64Text);
    EXPECT_STREQ(reinterpret_cast<const char *>(boxes[0].args[2]), kR64Caption);
    EXPECT_EQ(boxes[0].args[3], kR64Style);
    EXPECT_NE(printed.find(kR64Text), std::string::npos) << printed;
    EXPECT_NE(printed.find(kR64Caption), std::string::npos) << printed;

    // The owner is whatever window has the focus, asked just before the box.
    const std::vector<std::string> names = journalNames();
    const std::vector<std::string> tail(names.end() - 3, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"BFIsR64", "GetFocus", "MessageBoxA"}));
    EXPECT_EQ(boxes[0].args[0], controlstest::addressArg(GetFocus()));
}

TEST_F(TriggerModeTest, NullEnableIsRefusedWithoutCallingTheBoard)
{
    const int32_t slot = open(BF_FAMILY_16);
    slotOf(slot).extTrigger = 1;
    EXPECT_EQ(BF_TriggerMode(nullptr, slot), BF_E_TRIGGER_MODE);
    EXPECT_EQ(slotOf(slot).extTrigger, 1);
    EXPECT_TRUE(journal().empty());
}

struct SwTriggerCase {
    int32_t trigger1;
    int32_t trigger2;
    std::vector<int64_t> fired;
};

TEST_F(TriggerModeTest, SoftwareTriggersFireInOrder)
{
    const std::vector<SwTriggerCase> cases = {
        {0, 0, {}}, {1, 0, {1}}, {0, 1, {2}}, {1, 1, {1, 2}}, {-1, 7, {1, 2}}, {INT_MIN, 0, {1}},
    };
    const int32_t slot = open(BF_FAMILY_16);
    for (const SwTriggerCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.trigger1 << "," << c.trigger2);
        bfsim_journal_clear();
        bfsim_fault("CiConSwTrig", 1, 1, 3);  // failures are not reported
        EXPECT_EQ(BF_SetSWtrigger(c.trigger1, c.trigger2, slot), BF_OK);
        bfsim_fault_clear();
        std::vector<Call> expected;
        for (int64_t trigger : c.fired) expected.push_back({"CiConSwTrig", {boardArg(slot), trigger, 17}});
        EXPECT_EQ(journal(), expected);
    }
}

}  // namespace
