#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/controls_test_support.h"

namespace {

using controlstest::boardArg;
using qortest::Call;
using qortest::journal;
using qortest::journalNames;
using qortest::journalOf;

constexpr uint32_t kUntouched = 0xDEADBEEF;
constexpr uint32_t kRoomy = 1000;

class RegistersTest : public controlstest::ControlsTest {
protected:
    // Name to id, returning the status and leaving the id in `id`.
    int32_t find(int32_t slot, const char *name, uint32_t size, uint32_t &id)
    {
        std::vector<char> text(name, name + std::strlen(name) + 1);
        return BF_RegNametoId(slot, &id, text.data(), size, 0);
    }
    // The ids BFRegName was asked for, in order.
    std::vector<int64_t> namedIds()
    {
        std::vector<int64_t> ids;
        for (const Call &call : journalOf({"BFRegName"})) ids.push_back(call.args.at(1));
        return ids;
    }
    int64_t lastSupportQuery()
    {
        const std::vector<Call> queries = journalOf({"BFRegSupported"});
        return queries.empty() ? -1 : queries.back().args.at(1);
    }
};

TEST_F(RegistersTest, PeekAndPokeAskTheBoardFirst)
{
    const int32_t slot = open(BF_FAMILY_16);
    uint32_t value = kUntouched;

    EXPECT_EQ(BF_RegPeek(slot, BFSIM_REG_UNSUPPORTED, &value), BF_E_REGISTER_UNSUPPORTED);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(BF_RegPoke(slot, BFSIM_REG_UNSUPPORTED, 1), BF_E_REGISTER_UNSUPPORTED);
    EXPECT_EQ(journalNames(), (std::vector<std::string>{"BFRegSupported", "BFRegSupported"}));

    bfsim_journal_clear();
    EXPECT_EQ(BF_RegPeek(slot, BFSIM_REG_FPGA_VERSION, &value), BF_OK);
    EXPECT_EQ(value, BFSIM_FPGA_VERSION_VALUE);
    EXPECT_EQ(journal(), (std::vector<Call>{{"BFRegSupported", {boardArg(slot), 1}},
                                            {"BFRegPeek", {boardArg(slot), 1}}}));
}

TEST_F(RegistersTest, PokeFailuresAndWhichCheckWins)
{
    const int32_t slot = open(BF_FAMILY_16);
    EXPECT_EQ(BF_RegPoke(slot, BFSIM_REG_BOARD_ID, 7), BF_E_REGISTER_WRITE) << "read-only";

    bfsim_fault("BFRegPoke", 1, 0, -1);
    EXPECT_EQ(BF_RegPoke(slot, BFSIM_REG_SCRATCH, 7), BF_E_REGISTER_WRITE);

    bfsim_journal_clear();
    bfsim_fault("BFRegSupported", 1, 0, 0);
    EXPECT_EQ(BF_RegPoke(slot, BFSIM_REG_SCRATCH, 7), BF_E_REGISTER_UNSUPPORTED);
    EXPECT_TRUE(journalOf({"BFRegPoke"}).empty());
}

TEST_F(RegistersTest, PokeThenPeekReadsTheValueBack)
{
    const int32_t plain = open(BF_FAMILY_16);
    const int32_t gn2 = open(BF_FAMILY_208);
    struct Case {
        int32_t slot;
        uint32_t id;
    };
    const std::vector<Case> cases = {
        {plain, BFSIM_REG_SCRATCH},         {plain, BFSIM_REG_ENGINE_MODE},
        {plain, BFSIM_REG_EXTENDED_SCRATCH}, {gn2, BFSIM_REG_GN2_ACQ_CONTROL},
        {gn2, BFSIM_REG_GN2_CONTINUOUS},    {gn2, BFSIM_REG_CTAB_CONTROL},
    };
    for (const Case &c : cases) {
        for (uint32_t value : {0u, 1u, 0x80000000u, 0xFFFFFFFFu, 0x12345678u}) {
            SCOPED_TRACE(testing::Message() << "register " << c.id << " value " << value);
            ASSERT_EQ(BF_RegPoke(c.slot, c.id, value), BF_OK);
            uint32_t read = ~value;
            ASSERT_EQ(BF_RegPeek(c.slot, c.id, &read), BF_OK);
            EXPECT_EQ(read, value);
        }
    }
    // The Gn2 registers exist on Gn2 boards only.
    EXPECT_EQ(BF_RegPoke(plain, BFSIM_REG_GN2_ACQ_CONTROL, 1), BF_E_REGISTER_UNSUPPORTED);
}

TEST_F(RegistersTest, NullPointersAreRefusedBeforeAnyCall)
{
    const int32_t slot = open(BF_FAMILY_16);
    char name[64] = "GAIN";
    struct Case {
        const char *what;
        int32_t status;
        int32_t (*call)(int32_t slot, char *name);
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"peek into null", BF_E_REGISTER_UNSUPPORTED,
         [](int32_t s, char *) { return BF_RegPeek(s, BFSIM_REG_GAIN, nullptr); }, {}},
        {"null id, name to id", BF_E_REGISTER_UNSUPPORTED,
         [](int32_t s, char *n) { return BF_RegNametoId(s, nullptr, n, 32, 0); }, {}},
        {"null id, id to name", BF_E_REGISTER_UNSUPPORTED,
         [](int32_t s, char *n) { return BF_RegNametoId(s, nullptr, n, 32, 1); }, {}},
        {"null name, name to id", BF_E_REGISTER_UNSUPPORTED,
         [](int32_t s, char *) {
             uint32_t id = kUntouched;
             return BF_RegNametoId(s, &id, nullptr, 32, 0);
         },
         {}},
        {"null name, id to name", BF_E_REGISTER_NAME,
         [](int32_t s, char *) {
             uint32_t id = BFSIM_REG_GAIN;
             return BF_RegNametoId(s, &id, nullptr, 32, 1);
         },
         {"BFRegSupported"}},
        {"null name, unsupported id", BF_E_REGISTER_UNSUPPORTED,
         [](int32_t s, char *) {
             uint32_t id = BFSIM_REG_UNSUPPORTED;
             return BF_RegNametoId(s, &id, nullptr, 32, 1);
         },
         {"BFRegSupported"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        bfsim_journal_clear();
        EXPECT_EQ(c.call(slot, name), c.status);
        EXPECT_EQ(journalNames(), c.calls);
    }
}

TEST_F(RegistersTest, IdToNameUsesTheCallersSize)
{
    const int32_t slot = open(BF_FAMILY_16);
    const std::string baud = BFSIM_REG_BAUD_DIVIDER_NAME;
    struct Case {
        uint32_t id;
        uint32_t size;
        int32_t status;
        const char *name;
    };
    const std::vector<Case> cases = {
        {BFSIM_REG_GAIN_FINE, 5, BF_OK, BFSIM_REG_GAIN_FINE_NAME},
        {BFSIM_REG_GAIN_FINE, 4, BF_E_REGISTER_NAME, nullptr},
        {BFSIM_REG_BAUD_DIVIDER, static_cast<uint32_t>(baud.size() + 1), BF_OK, BFSIM_REG_BAUD_DIVIDER_NAME},
        {BFSIM_REG_BAUD_DIVIDER, static_cast<uint32_t>(baud.size()), BF_E_REGISTER_NAME, nullptr},
        {BFSIM_REG_EXTENDED_CONTROL, 64, BF_OK, BFSIM_REG_EXTENDED_CONTROL_NAME},
        {BFSIM_REG_UNSUPPORTED, 64, BF_E_REGISTER_UNSUPPORTED, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " in " << c.size);
        bfsim_journal_clear();
        uint32_t id = c.id;
        char name[64] = "untouched";
        EXPECT_EQ(BF_RegNametoId(slot, &id, name, c.size, 1), c.status);
        EXPECT_EQ(id, c.id);
        if (c.name != nullptr) {
            EXPECT_STREQ(name, c.name);
        }
        if (c.status == BF_E_REGISTER_UNSUPPORTED) {
            EXPECT_TRUE(journalOf({"BFRegName"}).empty());
        } else {
            EXPECT_EQ(journalOf({"BFRegName"}).at(0).args.at(3), c.size);
        }
    }
}

TEST_F(RegistersTest, NameSearchMatchesWholeNamesIgnoringCase)
{
    const int32_t slot = open(BF_FAMILY_16);
    struct Case {
        const char *name;
        int32_t status;
        uint32_t id;
    };
    const std::vector<Case> cases = {
        {"GAIN", BF_OK, BFSIM_REG_GAIN},       {"gain", BF_OK, BFSIM_REG_GAIN},
        {"Gain", BF_OK, BFSIM_REG_GAIN},       {"offset", BF_OK, BFSIM_REG_OFFSET},
        {"sCrAtCh", BF_OK, BFSIM_REG_SCRATCH}, {"engine_mode", BF_OK, BFSIM_REG_ENGINE_MODE},
        {"GAI", BF_E_REGISTER_UNSUPPORTED, kUntouched},
        {"GAINS", BF_E_REGISTER_UNSUPPORTED, kUntouched},
        {"OFFSET ", BF_E_REGISTER_UNSUPPORTED, kUntouched},
        {"", BF_E_REGISTER_UNSUPPORTED, kUntouched},
        {"G@IN", BF_E_REGISTER_UNSUPPORTED, kUntouched},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bfsim_journal_clear();
        uint32_t id = kUntouched;
        EXPECT_EQ(find(slot, c.name, 32, id), c.status);
        EXPECT_EQ(id, c.id);
        if (c.status != BF_OK) {
            // Not found for want of a match: the search went past every short name.
            EXPECT_GT(lastSupportQuery(), static_cast<int64_t>(BFSIM_REG_ENGINE_MODE));
        }
    }
}

TEST_F(RegistersTest, LowestIdWinsAmongNamesDifferingInCase)
{
    const int32_t slot = open(BF_FAMILY_16);
    uint32_t id = kUntouched;
    ASSERT_EQ(find(slot, "gain", 32, id), BF_OK);
    EXPECT_EQ(id, BFSIM_REG_GAIN);
    EXPECT_EQ(namedIds().back(), static_cast<int64_t>(BFSIM_REG_GAIN)) << "stops at the first match";

    // With the lower register hidden, the higher one is what matches.
    bfsim_fault("BFRegSupported", BFSIM_REG_GAIN + 1, 0, 0);
    ASSERT_EQ(find(slot, "gain", 32, id), BF_OK);
    EXPECT_EQ(id, BFSIM_REG_GAIN_FINE);
}

TEST_F(RegistersTest, ANameThatCannotBeReadEndsTheSearch)
{
    const int32_t slot = open(BF_FAMILY_16);
    uint32_t id = kUntouched;

    // Injected: the second supported id's name fails; GAIN further on is never reached.
    bfsim_fault("BFRegName", 2, 0, 1);
    EXPECT_EQ(find(slot, "GAIN", 32, id), BF_E_REGISTER_UNSUPPORTED);
    EXPECT_EQ(id, kUntouched);
    EXPECT_EQ(namedIds(), (std::vector<int64_t>{BFSIM_REG_BOARD_ID, BFSIM_REG_FPGA_VERSION}));
    EXPECT_EQ(journal().back().function, "BFRegName");

    // Natural: a 43-character name does not fit the search's 32 bytes, so
    // the register after it is not found by name.
    bfsim_journal_clear();
    EXPECT_EQ(find(slot, BFSIM_REG_DEBUG_COUNTER_NAME, kRoomy, id), BF_E_REGISTER_UNSUPPORTED);
    EXPECT_EQ(id, kUntouched);
    EXPECT_EQ(namedIds().back(), static_cast<int64_t>(BFSIM_REG_CLOCK_DETECT));
    EXPECT_EQ(journal().back().function, "BFRegName");
}

TEST_F(RegistersTest, SearchCapacityIsTheCallersSizeCappedAtTheScratchBuffer)
{
    const int32_t slot = open(BF_FAMILY_16);
    const uint32_t pulseLength = std::strlen(BFSIM_REG_PULSE_WIDTH_NAME);
    struct Case {
        uint32_t size;
        const char *name;
        int32_t status;
        int64_t capacity;
    };
    const std::vector<Case> cases = {
        {kRoomy, BFSIM_REG_PULSE_WIDTH_NAME, BF_OK, 32},
        {0xFFFFFFFFu, BFSIM_REG_PULSE_WIDTH_NAME, BF_OK, 32},
        {33, BFSIM_REG_PULSE_WIDTH_NAME, BF_OK, 32},
        {pulseLength + 1, BFSIM_REG_PULSE_WIDTH_NAME, BF_OK, pulseLength + 1},
        {pulseLength, BFSIM_REG_PULSE_WIDTH_NAME, BF_E_REGISTER_UNSUPPORTED, pulseLength},
        // FPGA_VERSION at id 1 needs 13 bytes; below that every search ends there.
        {13, "GAIN", BF_OK, 13},
        {12, "GAIN", BF_E_REGISTER_UNSUPPORTED, 12},
        {0, "GAIN", BF_E_REGISTER_UNSUPPORTED, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " in " << c.size);
        bfsim_journal_clear();
        uint32_t id = kUntouched;
        EXPECT_EQ(find(slot, c.name, c.size, id), c.status);
        for (const Call &call : journalOf({"BFRegName"})) ASSERT_EQ(call.args.at(3), c.capacity);
    }
}

TEST_F(RegistersTest, NameSearchStopsBelow3445)
{
    const int32_t slot = open(BF_FAMILY_16);
    // Hide the register whose name is too long so the search can run to its end.
    const int clockDetectQuery = BFSIM_REG_CLOCK_DETECT + 1;
    for (const char *name : {BFSIM_REG_EXTENDED_CONTROL_NAME, BFSIM_REG_EXTENDED_SCRATCH_NAME}) {
        SCOPED_TRACE(name);
        bfsim_journal_clear();
        bfsim_fault("BFRegSupported", clockDetectQuery, 0, 0);
        uint32_t id = kUntouched;
        EXPECT_EQ(find(slot, name, kRoomy, id), BF_E_REGISTER_UNSUPPORTED);
        EXPECT_EQ(id, kUntouched);
        EXPECT_EQ(lastSupportQuery(), 3444);
        EXPECT_EQ(journalOf({"BFRegSupported"}).size(), 3445u);
        bfsim_fault_clear();

        // The same register is named by its id.
        uint32_t byId = name == std::string(BFSIM_REG_EXTENDED_CONTROL_NAME) ? BFSIM_REG_EXTENDED_CONTROL
                                                                             : BFSIM_REG_EXTENDED_SCRATCH;
        char text[64] = {};
        EXPECT_EQ(BF_RegNametoId(slot, &byId, text, sizeof text, 1), BF_OK);
        EXPECT_STREQ(text, name);
    }

    // The last id searched is found.
    bfsim_fault("BFRegSupported", clockDetectQuery, 0, 0);
    uint32_t id = kUntouched;
    EXPECT_EQ(find(slot, "debug_counter", kRoomy, id), BF_OK);
    EXPECT_EQ(id, BFSIM_REG_DEBUG_COUNTER);
}

}  // namespace
