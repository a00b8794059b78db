// One acquisition per slot, and blocks from BF_AllocBuffer known by every
// slot that registered them: the call orders of hosts that switch between a
// single destination and a chain, or share one block between boards. Each
// order here used to leave a board writing into freed memory, release an
// SDK record twice, or drop a registration without a word.
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "board/allocator.h"
#include "board/blocks.h"
#include "board/slots.h"
#include "support/frame_check.h"
#include "support/sim_fixture.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kFrameBytes = 640 * 480;
constexpr uint8_t kUntouched = 0xA5;

// Page blocks come from one fixed area while it is free, so a block
// allocated after a release gets the released block's address, as the
// system's allocator may hand it out.
alignas(4096) uint8_t reusedArea[kFrameBytes];
bool reusedAreaTaken = false;

void *allocateReusing(size_t bytes)
{
    if (reusedAreaTaken || bytes > sizeof reusedArea) return nullptr;
    reusedAreaTaken = true;
    return reusedArea;
}

void releaseReusing(void *block)
{
    if (block == reusedArea) reusedAreaTaken = false;
}

class OneAcquisition : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        own.assign(2, std::vector<uint8_t>(kFrameBytes));
        qor::allocator.allocatePages = allocateReusing;
        qor::allocator.releasePages = releaseReusing;
        reusedAreaTaken = false;
    }
    void TearDown() override
    {
        SimTest::TearDown();
        qor::allocator = qor::kSystemAllocator;
    }
    void *allocate(int32_t slot, int32_t size = kFrameBytes)
    {
        void *block = nullptr;
        EXPECT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
        return block;
    }
    // The frames the board of `type` completes do reach it: it is running.
    static bool running(uint32_t type)
    {
        return bfsim_wait_frames(type, 0, bfsim_frames_completed(type, 0) + 2, 2000) == 0;
    }
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }
    std::vector<std::vector<uint8_t>> own;
};

size_t calls(const char *function)
{
    return qortest::journalOf({function}).size();
}

TEST_F(OneAcquisition, FreeBufferStopsAChainWritingIntoTheBlockOnAnotherBoard)
{
    const int32_t owner = open();
    const int32_t other = open(BF_FAMILY_32);
    void *block = allocate(owner);
    ASSERT_EQ(BF_Setup(block, kWidth, owner), BF_OK);
    void *chain[] = {block, own[0].data()};
    ASSERT_EQ(BF_BufferSetup(chain, kWidth, 2, other), BF_OK);
    ASSERT_EQ(BF_Grab(other, 1), BF_OK);
    ASSERT_TRUE(running(32));

    EXPECT_EQ(BF_FreeBuffer(owner), BF_OK);
    const uint64_t stopped = bfsim_frames_completed(32, 0);
    std::memset(reusedArea, kUntouched, sizeof reusedArea);
    settle();
    EXPECT_EQ(bfsim_frames_completed(32, 0), stopped);
    EXPECT_EQ(reusedArea[0], kUntouched);
    // The chain may not start again into the released block.
    EXPECT_EQ(BF_Grab(other, 1), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_BufferCleanup(other), BF_OK);
    EXPECT_EQ(BF_Cleanup(owner), BF_OK);
}

TEST_F(OneAcquisition, AChainOverTheSlotsOwnBlockKeepsItFromBeingReleasedUnderIt)
{
    const int32_t slot = open();
    void *block = allocate(slot);
    ASSERT_EQ(BF_Setup(block, kWidth, slot), BF_OK);
    void *chain[] = {block, own[0].data()};
    ASSERT_EQ(BF_BufferSetup(chain, kWidth, 2, slot), BF_OK);
    ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
    // The chain replaced the destination: there is none left to release,
    // and the block the chain writes into stays live.
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
    EXPECT_NE(qor::blocks::find(block), nullptr);
    EXPECT_TRUE(running(16));
    EXPECT_EQ(BF_Stop(slot), BF_OK);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_EQ(BF_Cleanup(slot), BF_E_NO_ACQUISITION);
    // The host kept the block's address; nothing of the library's holds it.
    qor::blocks::forget(qor::blocks::find(block));
    releaseReusing(block);
}

TEST_F(OneAcquisition, AStaleFreeBufferNeverReleasesTheBlockNowAtThatAddress)
{
    const int32_t a = open();
    const int32_t c = open(BF_FAMILY_32);
    void *first = allocate(a);
    ASSERT_EQ(BF_Setup(first, kWidth, a), BF_OK);
    ASSERT_EQ(BF_Setup(first, kWidth, c), BF_OK);
    EXPECT_EQ(BF_FreeBuffer(a), BF_OK);
    EXPECT_EQ(BF_Cleanup(a), BF_OK);

    void *second = allocate(a);
    ASSERT_EQ(second, first);  // the address comes back
    ASSERT_EQ(BF_Setup(second, kWidth, a), BF_OK);
    ASSERT_EQ(BF_Grab(a, 0), BF_OK);
    // C's documented teardown, long after its destination was freed.
    EXPECT_EQ(BF_FreeBuffer(c), BF_OK);
    EXPECT_EQ(BF_Cleanup(c), BF_OK);
    EXPECT_TRUE(reusedAreaTaken);
    EXPECT_NE(qor::blocks::find(second), nullptr);
    EXPECT_TRUE(running(16));
    EXPECT_EQ(BF_Stop(a), BF_OK);
    EXPECT_EQ(BF_FreeBuffer(a), BF_OK);
    EXPECT_FALSE(reusedAreaTaken);
    EXPECT_EQ(BF_Cleanup(a), BF_OK);
}

// A destination then a chain on one slot: the one signal is cancelled and
// freed once, whichever way the slot is torn down.
TEST_F(OneAcquisition, TheSignalIsReleasedOnceAfterSwitchingToAChain)
{
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closed" : "cleaned up");
        SetUp();
        const int32_t slot = open();
        ASSERT_EQ(BF_Setup(own[0].data(), kWidth, slot), BF_OK);
        void *chain[] = {own[0].data(), own[1].data()};
        ASSERT_EQ(BF_BufferSetup(chain, kWidth, 2, slot), BF_OK);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 1);
        if (closing) {
            EXPECT_EQ(BF_Close(slot), BF_OK);
        } else {
            EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
            EXPECT_EQ(BF_Cleanup(slot), BF_E_NO_ACQUISITION);
        }
        // Each set-up made its own signal, and each was released once.
        EXPECT_EQ(calls("CiSignalCreate"), 2u);
        EXPECT_EQ(calls("CiSignalCancel"), 2u);
        EXPECT_EQ(calls("CiSignalFree"), 2u);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 0);
        TearDown();
    }
}

TEST_F(OneAcquisition, ADestinationSetUpOverARunningChainReleasesTheChain)
{
    const int32_t slot = open();
    void *chain[] = {own[0].data(), own[1].data()};
    ASSERT_EQ(BF_BufferSetup(chain, kWidth, 2, slot), BF_OK);
    ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
    ASSERT_TRUE(running(16));
    std::vector<uint8_t> destination(kFrameBytes);
    ASSERT_EQ(BF_Setup(destination.data(), kWidth, slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_PHYS_QTABS), 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_REL_QTABS), 0);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_E_NO_CHAIN);
    // Nothing writes into the chain's buffers any more.
    for (auto &buffer : own) std::memset(buffer.data(), kUntouched, buffer.size());
    settle();
    for (auto &buffer : own) EXPECT_EQ(buffer[100], kUntouched);
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
    EXPECT_TRUE(qortest::holdsFrame(destination.data(), qortest::packedFrame(640, 480, 1),
                                    qortest::frameStamp(destination.data())));
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
}

TEST_F(OneAcquisition, ARefusedChainReleaseLeavesTheChainInForceForTheDestination)
{
    const int32_t slot = open();
    void *chain[] = {own[0].data(), own[1].data()};
    ASSERT_EQ(BF_BufferSetup(chain, kWidth, 2, slot), BF_OK);
    bfsim_fault("CiPhysQTabFree", 1, 0, BFSIM_ERR_ARGUMENT);
    std::vector<uint8_t> destination(kFrameBytes);
    EXPECT_EQ(BF_Setup(destination.data(), kWidth, slot), BF_E_QTAB_FREE);
    EXPECT_EQ(qor::boardSlots[slot].destination, nullptr);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
}

// A chain set-up that fails over a registered destination has released the
// destination as BF_Cleanup would: nothing claims it is still there.
TEST_F(OneAcquisition, AFailedChainSetUpOverADestinationLeavesNoHalfRecord)
{
    const int32_t slot = open();
    ASSERT_EQ(BF_Setup(own[0].data(), kWidth, slot), BF_OK);
    bfsim_fault("CiPhysQTabCreate", 1, 0, BFSIM_ERR_ARGUMENT);
    void *chain[] = {own[1].data()};
    EXPECT_EQ(BF_BufferSetup(chain, kWidth, 1, slot), BF_E_PHYS_QTAB);
    void *reported = own[0].data();
    uint32_t info = 0;
    EXPECT_EQ(BF_ImageInfo(&info, &info, &info, &info, &info, &reported, slot), BF_OK);
    EXPECT_EQ(reported, nullptr);
    EXPECT_EQ(BF_GetFrame(slot), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_Cleanup(slot), BF_E_NO_ACQUISITION);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 0);
}

TEST_F(OneAcquisition, ABlockSmallerThanAFrameIsNeverRegistered)
{
    const int32_t slot = open();
    void *block = allocate(slot, kFrameBytes - 1);
    void *chain[] = {own[0].data(), block};
    EXPECT_EQ(BF_Setup(block, kWidth, slot), BF_E_ACQ_SETUP);
    EXPECT_EQ(BF_BufferSetup(chain, kWidth, 2, slot), BF_E_REL_QTAB);
    for (const char *registration : {"CiAqSetup", "CiRelQTabCreate"})
        EXPECT_TRUE(qortest::journalOf({registration}).empty()) << registration;
    // Never registered, so BF_FreeBuffer cannot find it: its owner releases it.
    qor::blocks::forget(qor::blocks::find(block));
    releaseReusing(block);
}

}  // namespace
