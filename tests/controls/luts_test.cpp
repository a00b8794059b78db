#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "controls/controls_test_support.h"

namespace {

using controlstest::addressArg;
using controlstest::boardArg;
using qortest::Call;
using qortest::journal;
using qortest::journalOf;

constexpr uint8_t kNoLut = 4;

// Room for the longest kind, so the board can read whatever length it is told.
std::vector<uint16_t> &entries()
{
    static std::vector<uint16_t> table(0x8000);
    return table;
}

struct KindCase {
    int32_t kind;
    uint8_t lutType;
    int32_t leastLength;
    int64_t laneMask;
};

void PrintTo(const KindCase &c, std::ostream *os) { *os << "kind " << c.kind; }

const KindCase kKinds[] = {
    {0, 1, 4096, 0x3}, {1, 2, 32768, 0x3}, {2, 0, 256, 0xF}, {3, 0, 256, 0x1},
    {4, 0, 256, 0x2},  {5, 0, 256, 0x4},   {6, 0, 256, 0x8},
};

class LutKindTest : public controlstest::ControlsTest, public testing::WithParamInterface<KindCase> {};

// A table too short is refused with the LUT state as it was: the next
// set-up must not pass frames through a table of a type never written.
TEST_P(LutKindTest, OneShortOfTheLeastLengthIsRefusedAndChangesNothing)
{
    const KindCase &c = GetParam();
    const int32_t slot = open(BF_FAMILY_16);
    for (const uint8_t bank : {kNoLut, uint8_t{0}}) {
        slotOf(slot).lutType = 9;
        slotOf(slot).lutBank = bank;
        for (int32_t length : {c.leastLength - 1, 0, -1, INT_MIN}) {
            SCOPED_TRACE(length);
            bfsim_journal_clear();
            EXPECT_EQ(BF_LoadLUT(c.kind, entries().data(), length, slot), BF_E_LUT_TOO_SHORT);
            EXPECT_EQ(slotOf(slot).lutType, 9);
            EXPECT_EQ(slotOf(slot).lutBank, bank);
            EXPECT_TRUE(journalOf({"CiLutWrite"}).empty());
        }
    }
}

TEST_P(LutKindTest, TheLeastLengthIsWrittenToTheKindsLanes)
{
    const KindCase &c = GetParam();
    const int32_t slot = open(BF_FAMILY_16);
    EXPECT_EQ(BF_LoadLUT(c.kind, entries().data(), c.leastLength, slot), BF_OK);
    EXPECT_EQ(slotOf(slot).lutType, c.lutType);
    EXPECT_EQ(slotOf(slot).lutBank, 0);
    const std::vector<Call> expected{
        {"CiLutWrite",
         {boardArg(slot), c.lutType, 0, c.laneMask, 0, c.leastLength, addressArg(entries().data())}}};
    EXPECT_EQ(journalOf({"CiLutWrite"}), expected);
    EXPECT_EQ(qortest::journalNames(), (std::vector<std::string>{"CiBrdInquire", "CiLutWrite"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LutKindTest, testing::ValuesIn(kKinds));

class LutStateTest : public controlstest::ControlsTest {};

// Every outcome of the two functions and the pair it leaves, from a slot
// that starts with a table in use.
struct OutcomeCase {
    const char *name;
    int32_t family;
    void (*arrange)(int32_t slot);
    int32_t (*act)(int32_t slot);
    int32_t status;
    uint8_t lutType;
    uint8_t lutBank;
};

void PrintTo(const OutcomeCase &c, std::ostream *os) { *os << c.name; }

constexpr uint8_t kBeforeType = 2;
constexpr uint8_t kBeforeBank = 0;
int dummyDestination;

void nothing(int32_t) {}
int32_t loadKind2(int32_t slot) { return BF_LoadLUT(2, entries().data(), 256, slot); }
int32_t loadKind0Short(int32_t slot) { return BF_LoadLUT(0, entries().data(), 4095, slot); }
int32_t loadKind7(int32_t slot) { return BF_LoadLUT(7, entries().data(), 256, slot); }
int32_t loadKindMinus1(int32_t slot) { return BF_LoadLUT(-1, entries().data(), 256, slot); }
int32_t loadUnopenedSlot(int32_t) { return BF_LoadLUT(2, entries().data(), 256, 5); }
int32_t maskBits(int32_t slot) { return BF_MaskBits(slot); }
int32_t maskUnopenedSlot(int32_t) { return BF_MaskBits(5); }

const OutcomeCase kOutcomes[] = {
    {"load written", BF_FAMILY_16, nothing, loadKind2, BF_OK, 0, 0},
    {"load write refused", BF_FAMILY_16,
     [](int32_t) { bfsim_fault("CiLutWrite", 1, 0, -1); }, loadKind2, BF_E_LUT_WRITE, 0, 4},
    {"load too short", BF_FAMILY_16, nothing, loadKind0Short, BF_E_LUT_TOO_SHORT, kBeforeType,
     kBeforeBank},
    {"load kind 7", BF_FAMILY_16, nothing, loadKind7, BF_E_LUT_KIND, 0, 4},
    {"load kind -1", BF_FAMILY_16, nothing, loadKindMinus1, BF_E_LUT_KIND, 0, 4},
    {"load slot not open", BF_FAMILY_16, nothing, loadUnopenedSlot, BF_E_SLOT_NOT_OPEN, kBeforeType,
     kBeforeBank},
    {"load with destination", BF_FAMILY_16,
     [](int32_t slot) { qor::boardSlots[slot].destination = &dummyDestination; }, loadKind2,
     BF_E_LUT_DESTINATION, kBeforeType, kBeforeBank},
    {"load without LUT", BF_FAMILY_32, nothing, loadKind2, BF_E_LUT_UNSUPPORTED, kBeforeType,
     kBeforeBank},
    {"mask type 3", BF_FAMILY_16, [](int32_t) { bfsim_set_output("CiLutSetMask", 3); }, maskBits,
     BF_OK, 0, 4},
    {"mask type 0", BF_FAMILY_16, [](int32_t) { bfsim_set_output("CiLutSetMask", 0); }, maskBits,
     BF_OK, 0, 0},
    {"mask type 5", BF_FAMILY_16, [](int32_t) { bfsim_set_output("CiLutSetMask", 5); }, maskBits,
     BF_OK, 5, 0},
    {"mask type 255", BF_FAMILY_16, [](int32_t) { bfsim_set_output("CiLutSetMask", 255); },
     maskBits, BF_OK, 255, 0},
    {"mask with destination", BF_FAMILY_16,
     [](int32_t slot) {
         qor::boardSlots[slot].destination = &dummyDestination;
         bfsim_set_output("CiLutSetMask", 6);
     },
     maskBits, BF_OK, 6, 0},
    {"mask refused", BF_FAMILY_16, [](int32_t) { bfsim_fault("CiLutSetMask", 1, 0, 1); }, maskBits,
     BF_E_MASK_SET, kBeforeType, kBeforeBank},
    {"mask without LUT", BF_FAMILY_32, nothing, maskBits, BF_E_MASK_UNSUPPORTED, kBeforeType,
     kBeforeBank},
    {"mask slot not open", BF_FAMILY_16, nothing, maskUnopenedSlot, BF_E_SLOT_NOT_OPEN, kBeforeType,
     kBeforeBank},
};

class LutOutcomeTest : public controlstest::ControlsTest,
                       public testing::WithParamInterface<OutcomeCase> {};

TEST_P(LutOutcomeTest, LeavesTheRecordedPair)
{
    const OutcomeCase &c = GetParam();
    const int32_t slot = open(c.family);
    // Slot 5 stands for "not open"; give it the same starting pair.
    for (int32_t index : {slot, 5}) {
        qor::boardSlots[index].lutType = kBeforeType;
        qor::boardSlots[index].lutBank = kBeforeBank;
    }
    c.arrange(slot);
    EXPECT_EQ(c.act(slot), c.status);
    const int32_t looked = c.status == BF_E_SLOT_NOT_OPEN ? 5 : slot;
    EXPECT_EQ(qor::boardSlots[looked].lutType, c.lutType);
    EXPECT_EQ(qor::boardSlots[looked].lutBank, c.lutBank);
    qor::boardSlots[slot].destination = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Outcomes, LutOutcomeTest, testing::ValuesIn(kOutcomes));

TEST_F(LutStateTest, LoadChecksRunInOrder)
{
    const int32_t lut = open(BF_FAMILY_16);
    const int32_t noLut = open(BF_FAMILY_32);
    struct Case {
        int32_t slot;
        bool destination;
        int32_t kind;
        int32_t length;
        int32_t status;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {7, false, -1, -1, BF_E_SLOT_NOT_OPEN, {}},
        {lut, true, -1, -1, BF_E_LUT_DESTINATION, {}},
        {noLut, true, -1, -1, BF_E_LUT_DESTINATION, {}},
        {noLut, false, -1, -1, BF_E_LUT_UNSUPPORTED, {"CiBrdInquire"}},
        {lut, false, 7, -1, BF_E_LUT_KIND, {"CiBrdInquire"}},
        {lut, false, 2, 255, BF_E_LUT_TOO_SHORT, {"CiBrdInquire"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "status " << c.status);
        bfsim_journal_clear();
        qor::boardSlots[c.slot].destination = c.destination ? &dummyDestination : nullptr;
        EXPECT_EQ(BF_LoadLUT(c.kind, entries().data(), c.length, c.slot), c.status);
        qor::boardSlots[c.slot].destination = nullptr;
        EXPECT_EQ(qortest::journalNames(), c.calls);
    }
}

TEST_F(LutStateTest, MaskAsksDepthThenModelThenTheMask)
{
    const int32_t slot = open(BF_FAMILY_16);
    bfsim_set_inquiry(16, 0, 0x10004, 12);
    ASSERT_EQ(BF_MaskBits(slot), BF_OK);
    const std::vector<Call> calls = journal();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].function, "CiBrdInquire");
    EXPECT_EQ(calls[0].args[1], 0x10004);
    EXPECT_EQ(calls[1].function, "CiBrdInquire");
    EXPECT_EQ(calls[1].args[1], 3);
    EXPECT_EQ(calls[2].function, "CiLutSetMask");
    EXPECT_EQ(calls[2].args[1], 12) << "the depth the board reported";

    // The model without LUTs is still asked its depth first.
    const int32_t noLut = open(BF_FAMILY_32);
    bfsim_journal_clear();
    EXPECT_EQ(BF_MaskBits(noLut), BF_E_MASK_UNSUPPORTED);
    const std::vector<Call> refused = journal();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].args[1], 0x10004);
    EXPECT_EQ(refused[1].args[1], 3);
}

}  // namespace
