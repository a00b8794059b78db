// Call orders hosts really use, in which a release used to leave the board
// writing into freed memory or lose a record the SDK still held.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "board/slots.h"
#include "support/allocation_probe.h"
#include "support/sim_fixture.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kFrameBytes = 640 * 480;

// Frames every 5 ms; a snap waits for its trigger, given up after 40 ms.
const char *kTriggeredBoards = R"({"boards": [{"type": 16, "cameras": [{"framePeriodMs": 5,
    "waitTimeMs": 40, "trigMode": 2}]}, {"type": 32}]})";

void settleFrames()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
}

class ReleaseSafety : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        frames.assign(3, std::vector<uint8_t>(kFrameBytes));
        for (int i = 0; i < 3; ++i) list[i] = frames[i].data();
    }
    void TearDown() override
    {
        bfsim_fault_clear();
        for (int32_t i = 0; i < qor::kSlotTableSize; ++i) {
            BF_Stop(i);
            BF_FreeBuffer(i);
            BF_Cleanup(i);
            BF_BufferCleanup(i);
        }
        SimTest::TearDown();
    }
    void *allocate(int32_t slot)
    {
        int32_t size = kFrameBytes;
        void *block = nullptr;
        EXPECT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
        return block;
    }
    std::vector<std::vector<uint8_t>> frames;
    void *list[3];
};

TEST_F(ReleaseSafety, FreeBufferEndsEveryCaptureIntoTheBlockBeforeReleasingIt)
{
    const std::vector<std::pair<const char *, std::function<void(int32_t)>>> captures = {
        {"grab", [](int32_t s) { EXPECT_EQ(BF_Grab(s, 0), BF_OK); }},
        {"fast snap", [](int32_t s) { EXPECT_EQ(BF_FastGetFrame(s), BF_OK); }},
        {"snap timed out waiting for its trigger",
         [](int32_t s) {
             int32_t enable = 1;
             EXPECT_EQ(BF_TriggerMode(&enable, s), BF_OK);
             EXPECT_EQ(BF_GetFrame(s), BF_E_FRAME_WAIT);
         }},
    };
    for (const auto &[name, start] : captures) {
        SCOPED_TRACE(name);
        SetUp();
        loadConfig(kTriggeredBoards);
        const int32_t slot = open();
        const int32_t other = open(BF_FAMILY_32);
        void *block = allocate(slot);
        ASSERT_EQ(BF_Setup(block, kWidth, slot), BF_OK);
        ASSERT_EQ(BF_Setup(block, kWidth, other), BF_OK);
        start(slot);
        EXPECT_EQ(BF_Grab(other, 0), BF_OK);
        // The documented order, with the board still busy: every step is 0,
        // and the trigger that arrives afterwards writes nowhere.
        EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
        bfsim_fire_external_trigger(16, 0);
        settleFrames();
        EXPECT_EQ(BF_Cleanup(slot), BF_OK);
        EXPECT_EQ(BF_Cleanup(other), BF_OK);
        EXPECT_EQ(BF_Close(other), BF_OK);
        EXPECT_EQ(BF_Close(slot), BF_OK);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
        TearDown();
    }
}

TEST_F(ReleaseSafety, EveryBlockHandedOutOnASlotCanBeReleased)
{
    qortest::AllocationProbe probe;
    const int32_t slot = open();
    void *first = allocate(slot);
    void *second = allocate(slot);
    for (void *block : {first, second}) {
        ASSERT_EQ(BF_Setup(block, kWidth, slot), BF_OK);
        EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
        EXPECT_EQ(BF_Cleanup(slot), BF_OK);
    }
    EXPECT_EQ(probe.held(), 0);
}

TEST_F(ReleaseSafety, ARefusedChainSetUpLeavesTheChainInForce)
{
    const std::vector<std::pair<const char *, std::function<int32_t(int32_t, void **)>>> refusals = {
        {"3 bytes per pixel",
         [](int32_t s, void **l) {
             bfsim_set_inquiry(16, 0, 0x10005, 3);
             return BF_BufferSetup(l, kWidth, 3, s) == BF_E_BYTES_PER_PIXEL;
         }},
        {"size beyond 32 bits",
         [](int32_t s, void **l) { return BF_BufferSetup(l, 0xFFFFFFFFu, 3, s) == BF_E_REL_QTAB; }},
    };
    for (const auto &[name, refuse] : refusals) {
        SCOPED_TRACE(name);
        SetUp();
        const int32_t slot = open();
        ASSERT_EQ(BF_BufferSetup(list, kWidth, 3, slot), BF_OK);
        EXPECT_TRUE(refuse(slot, list));
        EXPECT_EQ(qor::bufferSets[slot].count, 3);
        EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);  // the board alone
        TearDown();
    }
}

TEST_F(ReleaseSafety, AChainSetUpReleasesTheChainItReplaces)
{
    qortest::AllocationProbe probe;
    const int32_t slot = open();
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 3, slot), BF_OK);
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 2, slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_PHYS_QTABS), 2);
    // A release the board refuses stops the set-up, as BF_BufferCleanup
    // would stop; the chain stays in force for the next clean-up.
    bfsim_fault("CiPhysQTabFree", 2, 0, BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(BF_BufferSetup(list, kWidth, 3, slot), BF_E_QTAB_FREE);
    EXPECT_EQ(qor::boardSlots[slot].chainActive, 1);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
    EXPECT_EQ(probe.held(), 0);
}

// The QTab releases of a set-up's unwinding, as (physical?, record) pairs in
// the order they reached the board.
std::vector<std::pair<bool, int64_t>> qtabReleases(const CiQTab *records)
{
    std::vector<std::pair<bool, int64_t>> releases;
    for (const qortest::Call &call : qortest::journalOf({"CiPhysQTabFree", "CiRelQTabFree"}))
        releases.emplace_back(call.function == "CiPhysQTabFree",
                              (call.args[1] - qortest::addr(records)) /
                                  static_cast<int64_t>(sizeof(CiQTab)));
    return releases;
}

TEST_F(ReleaseSafety, AReleaseRefusedWhileASetUpUnwindsIsFinishedLater)
{
    struct Case {
        const char *create;  // the creation refused, and which call of it
        int nth;
        const char *release;  // the unwinding's release refused
        int releaseNth;
        int32_t status;
        int32_t physical, relative;  // QTabs the set-up had made of each kind
    };
    const Case cases[] = {
        {"CiRelQTabCreate", 3, "CiRelQTabFree", 1, BF_E_REL_QTAB, 0, 2},
        {"CiRelQTabCreate", 3, "CiRelQTabFree", 2, BF_E_REL_QTAB, 0, 2},
        {"CiPhysQTabCreate", 3, "CiPhysQTabFree", 2, BF_E_PHYS_QTAB, 2, 3},
        {"CiPhysQTabCreate", 2, "CiRelQTabFree", 3, BF_E_PHYS_QTAB, 1, 3},
        {"CiPhysQTabChainLink", 1, "CiPhysQTabFree", 3, BF_E_CHAIN_LINK, 3, 3},
        {"CiPhysQTabChainLink", 1, "CiRelQTabFree", 1, BF_E_CHAIN_LINK, 3, 3},
    };
    for (const Case &c : cases) {
        for (const bool closing : {false, true}) {
            SCOPED_TRACE(std::string(c.create) + " #" + std::to_string(c.nth) + ", " + c.release +
                         " #" + std::to_string(c.releaseNth) + (closing ? ", closed" : ""));
            SetUp();
            qortest::AllocationProbe probe;
            const int32_t slot = open();
            bfsim_fault(c.create, c.nth, 0, BFSIM_ERR_ARGUMENT);
            bfsim_fault(c.release, c.releaseNth, 0, BFSIM_ERR_ARGUMENT);
            EXPECT_EQ(BF_BufferSetup(list, kWidth, 3, slot), c.status);
            EXPECT_GT(bfsim_live_count(BFSIM_OBJ_ALL), 1);
            const CiQTab *records = qor::bufferSets[slot].qtabs;
            ASSERT_NE(records, nullptr);
            if (closing) {
                EXPECT_EQ(BF_Close(slot), BF_OK);
            } else {
                EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
                EXPECT_EQ(BF_BufferCleanup(slot), BF_E_NO_CHAIN);
            }
            EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), closing ? 0 : 1);
            EXPECT_EQ(probe.held(), 0);
            // Together, the unwinding and the later release made the
            // unwinding's releases in its order, the refused one twice.
            std::vector<std::pair<bool, int64_t>> order;
            for (int32_t k = 0; k < c.physical; ++k) order.emplace_back(true, k);
            for (int32_t k = 0; k < c.relative; ++k) order.emplace_back(false, k);
            const bool physical = std::string(c.release) == "CiPhysQTabFree";
            const int64_t refused = c.releaseNth - 1;
            const auto at = std::find(order.begin(), order.end(), std::make_pair(physical, refused));
            order.insert(at, *at);
            EXPECT_EQ(qtabReleases(records), order);
            TearDown();
        }
    }
}

TEST_F(ReleaseSafety, TheSettlePollEndsWhenTheClockFailsOrStalls)
{
    // Unbounded, the poll spins for ever on each of these clocks while the
    // board reports busy (the suite's time-out would catch that).
    const std::vector<std::pair<const char *, std::function<void()>>> clocks = {
        {"tick fails after the first", [] { bfsim_fault("BFTick", 2, 1, 0); }},  // null
        {"tick fails from the start", [] { bfsim_fault("BFTick", 1, 1, 0); }},
        {"delta stays below the wait time", [] { bfsim_fault("BFTickDelta", 1, 1, 1); }},
    };
    for (const auto &[name, breakClock] : clocks) {
        SCOPED_TRACE(name);
        SetUp();
        bfsim_set_inquiry(16, 0, 0x10006, 3);
        const int32_t slot = open();
        ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
        bfsim_set_output("CiConAqStatus", 1);
        // The wait for the frame answers at once, so the short wait time
        // cannot run out before the poll.
        bfsim_fault("CiAqWaitDone", 1, 0, 0);
        breakClock();
        bfsim_journal_enable(0);  // a stalled clock makes many polls
        EXPECT_EQ(BF_GetFrame(slot), BF_OK);
        TearDown();
    }
}

TEST_F(ReleaseSafety, ASecondSetUpKeepsOneSignal)
{
    const int32_t slot = open();
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    EXPECT_EQ(BF_AqFrameSize(slot, 320, 240, 0), BF_OK);
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 1);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
}

TEST_F(ReleaseSafety, ARefusedSetUpLeavesARunningGrabStoppable)
{
    const int32_t slot = open();
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    ASSERT_EQ(BF_Grab(slot, 0), BF_OK);
    EXPECT_EQ(BF_Setup(frames[1].data(), 0, slot), BF_E_ACQ_SETUP);
    EXPECT_EQ(BF_Stop(slot), BF_OK);
    const uint64_t stopped = bfsim_frames_completed(16, 0);
    settleFrames();
    EXPECT_EQ(bfsim_frames_completed(16, 0), stopped);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
}

TEST_F(ReleaseSafety, CloseLeavesNothingBehind)
{
    qortest::AllocationProbe probe;
    const int32_t kept = open();  // keeps the count up, so no first-open reset helps
    const int32_t slot = open(BF_FAMILY_64);
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 3, slot), BF_OK);
    ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);  // the kept board
    EXPECT_EQ(probe.held(), 0);
    EXPECT_EQ(open(BF_FAMILY_64), slot);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_E_NO_CHAIN);
    EXPECT_EQ(BF_Cleanup(slot), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    // A release the board refuses keeps it open, to be finished by the next close.
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 3, kept), BF_OK);
    bfsim_fault("CiRelQTabFree", 1, 0, BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(BF_Close(kept), BF_E_CLOSE);
    EXPECT_EQ(BF_Close(kept), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
}

TEST_F(ReleaseSafety, AChainSnapNeverWaitsOnASignalThatIsNotLive)
{
    const int32_t slot = open();
    bfsim_fault("CiSignalCreate", 1, 0, BFSIM_ERR_ARGUMENT);
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 2, slot), BF_OK);
    bfsim_journal_clear();
    EXPECT_EQ(BF_GetFrame(slot), BF_E_NO_ACQUISITION);
    EXPECT_TRUE(qortest::journalOf({"CiSignalWait", "CiConAqCommand"}).empty());
}

}  // namespace
