// Call orders hosts really use, in which a release used to leave the board
// writing into freed memory or lose a record the SDK still held.
#include <chrono>
#include <functional>
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

TEST_F(ReleaseSafety, TheSettlePollEndsWhenTheClockFails)
{
    const int32_t slot = open();
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    bfsim_set_output("CiConAqStatus", 1);
    bfsim_fault("BFTick", 2, 1, 0);  // a failed tick answers null
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
    bfsim_fault_clear();
    bfsim_fault("BFTick", 1, 1, 0);
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
}

TEST_F(ReleaseSafety, ASecondSetUpKeepsOneSignal)
{
    const int32_t slot = open();
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    EXPECT_EQ(BF_AqFrameSize(slot, 320, 240, 0), BF_OK);
    ASSERT_EQ(BF_Setup(frames[0].data(), kWidth, slot), BF_OK);
    ASSERT_EQ(BF_BufferSetup(list, kWidth, 2, slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 1);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
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
