// Snaps, grabs, stops, waits, status and reset, in both command families.
#include <chrono>
#include <vector>

#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

using qortest::addr;
using qortest::Call;
using qortest::kAny;

const char *kGn2Board = R"({"boards": [{"type": 16, "generation": "gn2",
    "cameras": [{"syncSource": 0}]}, {"type": 32, "generation": "gn2",
    "cameras": [{"syncSource": 3}]}]})";

class Capture : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        frames.assign(4, std::vector<uint8_t>(640 * 480));
    }
    void TearDown() override
    {
        releaseAll();
        SimTest::TearDown();
    }
    // Releases what a case set up, so the next case starts on a fresh
    // simulator without leaking the library's chain arrays.
    void releaseAll()
    {
        bfsim_fault_clear();
        for (int32_t i = 0; i < qor::kSlotTableSize; ++i) {
            BF_Stop(i);
            BF_BufferCleanup(i);
            BF_Cleanup(i);
        }
    }
    void restart()
    {
        releaseAll();
        SetUp();
    }
    int32_t single(int32_t family = BF_FAMILY_16)
    {
        const int32_t slot = open(family);
        EXPECT_EQ(BF_Setup(frames[0].data(), 640, slot), BF_OK);
        bfsim_journal_clear();
        return slot;
    }
    int32_t chain(int32_t family = BF_FAMILY_16, int32_t count = 3)
    {
        const int32_t slot = open(family);
        void *list[4] = {frames[0].data(), frames[1].data(), frames[2].data(), frames[3].data()};
        EXPECT_EQ(BF_BufferSetup(list, 640, count, slot), BF_OK);
        bfsim_journal_clear();
        return slot;
    }
    std::vector<std::vector<uint8_t>> frames;
};

TEST_F(Capture, GetFrameSnapsTriggersWaitsAndSettlesInTheSlotsFamily)
{
    bfsim_set_output("CiConAqStatus", 0);
    int32_t slot = single();
    int64_t h = board(slot);
    qor::boardSlots[slot].grabActive = 1;
    ASSERT_EQ(BF_GetFrame(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiBrdInquire", {h, 0x10006, kAny}},
        {"CiAqCommand", {h, 2, 2, 0, 0}},
        {"CiConSwTrig", {h, 1, 17}},
        {"CiAqWaitDone", {h, 0}},
        {"BFTick", {kAny}},
        {"CiConAqStatus", {h, kAny, 0}},
    }));
    EXPECT_EQ(qor::boardSlots[slot].grabActive, 0);

    restart();
    bfsim_set_output("CiConAqStatus", 0);
    slot = chain();
    h = board(slot);
    ASSERT_EQ(BF_GetFrame(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiBrdInquire", {h, 0x10006, kAny}},
        {"CiConAqCommand", {h, 2, 0}},
        {"CiConSwTrig", {h, 1, 17}},
        {"CiSignalWait", {h, addr(&qor::boardSlots[slot].signal), 1000, kAny}},
        {"BFTick", {kAny}},
        {"CiConAqStatus", {h, kAny, 0}},
    }));
}

TEST_F(Capture, GetFrameFailuresAndOverflowRecovery)
{
    struct Case {
        const char *name;
        bool chained;
        uint32_t overflow;
        std::vector<std::pair<const char *, int>> faults;  // function, nth call failing
        int32_t status;
        uint32_t overflowResets;
        std::vector<std::string> commands;  // the commands issued
    };
    const std::vector<Case> cases = {
        {"snap fails", false, 0, {{"CiAqCommand", 1}}, BF_E_SNAP, 0, {"CiAqCommand"}},
        // After the reset the snap goes out again, and its frame is waited for.
        {"overflow", false, 1, {{"CiAqCommand", 1}}, BF_OK, 1,
         {"CiAqCommand", "CiAqCommand", "CiAqCommand"}},
        {"overflow, chain", true, 1, {{"CiConAqCommand", 1}}, BF_OK, 1,
         {"CiConAqCommand", "CiConAqCommand", "CiConAqCommand"}},
        // A snap refused again after the reset is no frame: never success.
        {"snap refused after the reset", false, 1, {{"CiAqCommand", 1}, {"CiAqCommand", 3}},
         BF_E_SNAP, 1, {"CiAqCommand", "CiAqCommand", "CiAqCommand"}},
        {"reset fails", false, 1, {{"CiAqCommand", 1}, {"CiAqCommand", 2}}, BF_E_OVERFLOW_RESET,
         0, {"CiAqCommand", "CiAqCommand"}},
        {"wait done fails", false, 0, {{"CiAqWaitDone", 1}}, BF_E_FRAME_WAIT, 0, {"CiAqCommand"}},
        {"signal wait fails", true, 0, {{"CiSignalWait", 1}}, BF_E_FRAME_WAIT, 0,
         {"CiConAqCommand"}},
    };
    for (const Case &c : cases) {
        restart();
        const int32_t slot = c.chained ? chain() : single();
        qor::boardSlots[slot].grabActive = 1;
        bfsim_set_output("CiAqOverflowCheck", c.overflow);
        for (const auto &[function, nth] : c.faults) {
            const bool frameEnds = c.status == BF_OK && std::string(function) == "CiSignalWait";
            bfsim_fault(function, nth, 0, frameEnds ? 0x10001 : BFSIM_WAIT_TIMEOUT);
        }
        EXPECT_EQ(BF_GetFrame(slot), c.status) << c.name;
        EXPECT_EQ(qor::boardSlots[slot].overflowResets, c.overflowResets) << c.name;
        EXPECT_EQ(qor::boardSlots[slot].grabActive, c.status == BF_OK ? 0 : 1) << c.name;
        std::vector<std::string> commands;
        for (const Call &call : qortest::journalOf({"CiAqCommand", "CiConAqCommand"}))
            commands.push_back(call.function);
        EXPECT_EQ(commands, c.commands) << c.name;
        // Snap, then reset, then snap again.
        const auto issued = qortest::journalOf({"CiAqCommand", "CiConAqCommand"});
        for (size_t i = 0; i < issued.size(); ++i)
            EXPECT_EQ(issued[i].args[1], i == 1 ? 5 : 2) << c.name << ", command " << i;
        if (c.overflowResets != 0) {
            const bool waited = !qortest::journalOf({"CiAqWaitDone", "CiSignalWait"}).empty();
            EXPECT_EQ(waited, c.status == BF_OK) << c.name << ": waited only for a snap that went out";
        }
        uint32_t reported = 9;
        BF_Status(&reported, nullptr, nullptr, nullptr, slot);
        EXPECT_EQ(reported, c.overflowResets);
    }
}

TEST_F(Capture, GetFrameSettlePollStopsAtTheWaitTime)
{
    bfsim_set_inquiry(16, 0, 0x10006, 100);
    bfsim_set_output("CiConAqStatus", 1);
    // A snap lost to an overflow leaves nothing to wait for, so the time
    // measured is the poll's alone, however loaded the machine is.
    bfsim_set_output("CiAqOverflowCheck", 1);
    bfsim_fault("CiAqCommand", 1, 0, 9);
    const int32_t slot = single();
    qor::boardSlots[slot].grabActive = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(95));
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    EXPECT_GT(qortest::journalOf({"CiConAqStatus"}).size(), 1u);
    // Every status read but the first follows a tick check that found time left.
    EXPECT_EQ(qortest::journalOf({"BFTickDelta"}).size(),
              qortest::journalOf({"CiConAqStatus"}).size());
    EXPECT_EQ(qor::boardSlots[slot].grabActive, 0);
}

TEST_F(Capture, SoftwareTriggerOnlyWhenTheLibraryTriggers)
{
    struct Case {
        uint32_t vtrigMode;
        int32_t extTrigger;
        bool fired;
    } cases[] = {{0, 0, true}, {2, 0, true}, {6, 0, true}, {1, 0, false}, {0, 1, false},
                 {1, 1, false}};
    for (const Case &c : cases) {
        restart();
        const int32_t slot = single();
        qor::boardSlots[slot].vtrigMode = c.vtrigMode;
        qor::boardSlots[slot].extTrigger = c.extTrigger;
        EXPECT_EQ(BF_FastGetFrame(slot), BF_OK);
        const size_t expected = c.fired ? 1 : 0;
        EXPECT_EQ(qortest::journalOf({"CiConSwTrig"}).size(), expected) << c.vtrigMode;
        // A grab leaves the trigger mode alone under the same conditions.
        if (c.vtrigMode == 1 && c.extTrigger != 0) continue;
        BF_Stop(slot);
        bfsim_journal_clear();
        EXPECT_EQ(BF_Grab(slot, 0), BF_OK);
        EXPECT_EQ(qortest::journalOf({"CiConVTrigModeSet"}).size(), expected) << c.vtrigMode;
    }
}

TEST_F(Capture, FastGetFrameSnapsWithoutOverflowHandling)
{
    const int32_t slot = single();
    qor::boardSlots[slot].grabActive = 1;
    bfsim_set_output("CiAqOverflowCheck", 1);
    bfsim_fault("CiAqCommand", 1, 0, 9);
    EXPECT_EQ(BF_FastGetFrame(slot), BF_E_SNAP);
    EXPECT_EQ(qor::boardSlots[slot].grabActive, 1);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {{"CiAqCommand", {board(slot), 2, 2, 0, 0}}}));
    EXPECT_EQ(BF_FastGetFrame(slot), BF_OK);
    EXPECT_EQ(qor::boardSlots[slot].grabActive, 0);
}

TEST_F(Capture, GrabProgramsGn2RegistersAndPicksTheFamilyByChainActive)
{
    struct Case {
        int32_t family;  // type 16: sync source 0, type 32: sync source 3
        bool chain;
        int32_t chained;
        std::vector<Call> tail;
    };
    const std::vector<Case> cases = {
        {BF_FAMILY_16, false, 0, {{"BFRegPoke", {kAny, 2648, 65535}}, {"BFRegPoke", {kAny, 2669, 1}},
          {"BFRegPoke", {kAny, 2655, 1}}, {"BFRegPoke", {kAny, 2656, 1}},
          {"CiConVTrigModeSet", {kAny, 6, 11, 239, 239}}, {"CiAqCommand", {kAny, 3, 2, 0, 0}}}},
        {BF_FAMILY_32, true, 1, {{"BFRegPoke", {kAny, 2648, 1}}, {"BFRegPoke", {kAny, 2669, 1}},
          {"BFRegPoke", {kAny, 2655, 0}}, {"BFRegPoke", {kAny, 2656, 3}},
          {"BFRegPoke", {kAny, 1734, 3}}, {"BFRegPoke", {kAny, 1672, 1}},
          {"CiConVTrigModeSet", {kAny, 6, 11, 239, 239}}, {"CiConAqCommand", {kAny, 3, 0}}}},
        {BF_FAMILY_16, true, 0, {{"BFRegPoke", {kAny, 2648, 65535}}, {"BFRegPoke", {kAny, 2669, 1}},
          {"BFRegPoke", {kAny, 2655, 1}}, {"BFRegPoke", {kAny, 2656, 1}},
          {"CiConVTrigModeSet", {kAny, 6, 11, 239, 239}}, {"CiConAqCommand", {kAny, 3, 0}}}},
    };
    for (const Case &c : cases) {
        restart();
        loadConfig(kGn2Board);
        const int32_t slot = c.chain ? chain(c.family) : single(c.family);
        ASSERT_EQ(BF_Grab(slot, c.chained), BF_OK);
        std::vector<Call> expected = {{"BFIsGn2", {board(slot)}},
                                      {"CiBrdInquire", {board(slot), 0x1001D, kAny}}};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        expected.push_back({"CiConCTabReset", {board(slot)}});
        EXPECT_TRUE(qortest::callsMatch(qortest::journal(), expected)) << c.family << c.chained;
        EXPECT_EQ(qor::boardSlots[slot].grabActive, 1);
    }
    // A plain board gets only the chain registers.
    restart();
    const int32_t slot = chain();
    ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journalOf({"BFRegPoke", "CiBrdInquire"}),
                                    {{"BFRegPoke", {board(slot), 1734, 3}},
                                     {"BFRegPoke", {board(slot), 1672, 1}}}));
}

TEST_F(Capture, GrabChecksInOrder)
{
    struct Case {
        const char *name;
        bool setUp;
        uint32_t vtrigMode;
        int32_t extTrigger;
        int32_t chained;
        const char *fault;
        int32_t status;
    } cases[] = {
        {"nothing set up", false, 1, 1, 1, nullptr, BF_E_NO_ACQUISITION},
        {"one-shot external", true, 1, 1, 1, nullptr, BF_E_TRIGGER_MODE},
        {"chain missing", true, 0, 0, 1, nullptr, BF_E_CHAIN_REQUIRED},
        {"grab refused", true, 0, 0, 0, "CiAqCommand", BF_E_GRAB},
    };
    for (const Case &c : cases) {
        restart();
        loadConfig(kGn2Board);
        const int32_t slot = c.setUp ? single() : open();
        qor::boardSlots[slot].vtrigMode = c.vtrigMode;
        qor::boardSlots[slot].extTrigger = c.extTrigger;
        if (c.fault != nullptr) bfsim_fault(c.fault, 1, 0, 9);
        EXPECT_EQ(BF_Grab(slot, c.chained), c.status) << c.name;
        EXPECT_EQ(qor::boardSlots[slot].grabActive, 0) << c.name;
        if (c.fault == nullptr) {
            EXPECT_TRUE(qortest::journal().empty()) << c.name;
        }
        EXPECT_EQ(qortest::journalOf({"CiConCTabReset"}).size(), 0u) << c.name;
    }
}

TEST_F(Capture, StopUsesStopOrAbortByFamily)
{
    int32_t slot = single();
    qor::boardSlots[slot].grabActive = 1;
    bfsim_fault("CiAqCommand", 1, 0, 9);  // not looked at
    EXPECT_EQ(BF_Stop(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {{"CiAqCommand", {board(slot), 0, 1, 0, 0}}}));
    EXPECT_EQ(qor::boardSlots[slot].grabActive, 1);
    restart();
    slot = chain();  // destination null
    EXPECT_EQ(BF_Stop(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {{"CiConAqCommand", {board(slot), 1, 0}}}));
    restart();
    slot = open();
    EXPECT_EQ(BF_Stop(slot), BF_E_NO_ACQUISITION);
    EXPECT_TRUE(qortest::journal().empty());
}

TEST_F(Capture, Wait4FrameWaitsOnTheSignalThenForCompletionAfterSnaps)
{
    struct Case {
        int32_t grabActive;
        int32_t waitResult;  // 0: a real frame
        int32_t status;
        bool waitDone;
    } cases[] = {{0, 0, BF_OK, true}, {1, 0, BF_OK, false}, {0, 0x10001, BF_OK, true},
                 {0, BFSIM_WAIT_TIMEOUT, BF_E_SIGNAL_WAIT, false}};
    for (const Case &c : cases) {
        restart();
        const int32_t slot = single();
        ASSERT_EQ(BF_FastGetFrame(slot), BF_OK);
        qor::boardSlots[slot].grabActive = c.grabActive;
        if (c.waitResult != 0) bfsim_fault("CiSignalWait", 1, 0, c.waitResult);
        bfsim_fault("CiAqWaitDone", 1, 0, 9);  // not looked at
        bfsim_journal_clear();
        uint32_t count = 0;
        EXPECT_EQ(BF_Wait4Frame(500, slot, &count), c.status) << c.waitResult;
        std::vector<Call> expected = {
            {"CiSignalWait", {board(slot), addr(&qor::boardSlots[slot].signal), 500, addr(&count)}}};
        if (c.waitDone) expected.push_back({"CiAqWaitDone", {board(slot), 0}});
        EXPECT_TRUE(qortest::callsMatch(qortest::journal(), expected)) << c.waitResult;
    }
    bfsim_journal_clear();
    BF_Wait4Frame(1, 0, nullptr);
    EXPECT_NE(qortest::journalOf({"CiSignalWait"}).at(0).args[3], 0);
}

TEST_F(Capture, StatusReportsCountsAndAlwaysZero)
{
    const int32_t slot = open();
    qor::boardSlots[slot].overflowResets = 6;
    bfsim_set_output("CiConAqStatus", 1);
    bfsim_set_output("CiConGetFrameCount", 42);
    uint32_t resets = 0, status = 0, count = 0;
    int32_t zero = -7;
    ASSERT_EQ(BF_Status(&resets, &status, &zero, &count, slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(),
                                    {{"CiConAqStatus", {board(slot), addr(&status), 0}},
                                     {"CiConGetFrameCount", {board(slot), addr(&count), 0}}}));
    EXPECT_EQ(resets, 6u);
    EXPECT_EQ(status, 1u);
    EXPECT_EQ(zero, 0);
    EXPECT_EQ(count, 42u);
    bfsim_journal_clear();
    ASSERT_EQ(BF_Status(nullptr, nullptr, nullptr, nullptr, slot), BF_OK);
    for (const Call &call : qortest::journal()) {
        EXPECT_NE(call.args[1], 0) << call;
    }
}

TEST_F(Capture, ResetAcquisitionAbortsThenResets)
{
    struct Case {
        bool chained;
        int nthFailing;  // 0: none
        int32_t status;
        size_t commands;
    } cases[] = {{false, 0, BF_OK, 2}, {true, 0, BF_OK, 2}, {false, 1, BF_E_RESET_STOP, 1},
                 {true, 2, BF_E_RESET, 2}};
    for (const Case &c : cases) {
        restart();
        const int32_t slot = c.chained ? chain() : single();
        const char *function = c.chained ? "CiConAqCommand" : "CiAqCommand";
        if (c.nthFailing != 0) bfsim_fault(function, c.nthFailing, 0, 9);
        EXPECT_EQ(BF_ResetAcquisition(slot), c.status);
        const auto calls = qortest::journal();
        ASSERT_EQ(calls.size(), c.commands);
        const int64_t h = board(slot);
        const std::vector<Call> both =
            c.chained ? std::vector<Call>{{function, {h, 1, 0}}, {function, {h, 5, 0}}}
                      : std::vector<Call>{{function, {h, 1, 1, 0, 0}}, {function, {h, 5, 1, 0, 0}}};
        EXPECT_TRUE(qortest::callsMatch(calls, {both.begin(), both.begin() + c.commands}));
    }
}

}  // namespace
