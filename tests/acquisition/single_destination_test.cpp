// Allocating, registering and releasing a single destination.
#include <cstdint>
#include <vector>

#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

using qortest::addr;
using qortest::kAny;

class SingleDestination : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        slot = open();
    }
    int32_t slot = -1;
    qor::BoardSlot &s() { return qor::boardSlots[slot]; }
};

TEST_F(SingleDestination, AllocBufferHandsOutAlignedBlocksForPositiveSizesOnly)
{
    struct Case {
        int32_t size;
        int32_t status;
    } cases[] = {{480, BF_OK}, {4096 * 3 + 1, BF_OK}, {0, BF_E_ALLOC_FAILED},
                 {-1, BF_E_ALLOC_FAILED}, {INT32_MIN, BF_E_ALLOC_FAILED}};
    for (const Case &c : cases) {
        bfsim_journal_clear();
        s().bufferAllocated = 0;
        int32_t size = c.size;
        void *block = &size;
        EXPECT_EQ(BF_AllocBuffer(&size, &block, slot), c.status) << c.size;
        EXPECT_EQ(s().bufferAllocated, c.status == BF_OK ? 1 : 0);
        EXPECT_EQ(block == nullptr, c.status != BF_OK);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 4096, 0u);
        if (block == nullptr) {
            EXPECT_TRUE(qortest::journal().empty());
            continue;
        }
        static_cast<char *>(block)[c.size - 1] = 1;  // the whole block is usable
        ASSERT_EQ(BF_Setup(block, 1, slot), BF_OK);  // a frame 1 pixel wide: 480 bytes
        ASSERT_EQ(BF_FreeBuffer(slot), BF_OK);
        ASSERT_EQ(BF_Cleanup(slot), BF_OK);
    }
    bfsim_journal_clear();
    int32_t size = 64;
    void *block = &size;
    EXPECT_EQ(BF_AllocBuffer(nullptr, &block, slot), BF_E_ALLOC_FAILED);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(BF_AllocBuffer(&size, nullptr, slot), BF_E_ALLOC_FAILED);
    EXPECT_EQ(s().bufferAllocated, 0);
    EXPECT_TRUE(qortest::journal().empty());
}

TEST_F(SingleDestination, SetupRegistersTheDestinationWithGeometryAndLutState)
{
    std::vector<uint8_t> frame(640 * 480);
    s().lutBank = 0;
    s().lutType = 5;
    s().chainActive = 1;
    ASSERT_EQ(BF_Setup(frame.data(), 640, slot), BF_OK);
    const int64_t h = board(slot);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiBrdInquire", {h, 0x10002, kAny}},
        {"CiBrdInquire", {h, 0x10005, kAny}},
        {"CiAqCleanUp", {h, 0}},  // the chain marked in force is released first
        {"CiAqSetup", {h, addr(frame.data()), 640 * 480, 640, 3, 0, 5, 0, 1, 1, 0}},
        {"CiSignalCreate", {h, 4, addr(&s().signal)}},
        {"CiSignalQueueClear", {h, addr(&s().signal)}},
    }));
    EXPECT_EQ(s().destination, frame.data());
    EXPECT_EQ(s().chainActive, 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 1);

    bfsim_journal_clear();
    ASSERT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiSignalCancel", {h, addr(&s().signal)}},
        {"CiSignalFree", {h, addr(&s().signal)}},
        {"CiAqCleanUp", {h, 0}},
    }));
    EXPECT_EQ(s().destination, nullptr);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);  // the board alone
}

TEST_F(SingleDestination, SetupFailuresAndWhichCheckWins)
{
    std::vector<uint8_t> frame(640 * 480 * 2);
    int previous = 0;
    struct Case {
        const char *name;
        void *dest;
        uint32_t width;
        uint32_t bytesPerPixel;  // 0: the camera's
        const char *fault;
        int32_t status;
        bool setupCalled;
        void *destinationAfter;
    } cases[] = {
        {"null dest", nullptr, 640, 3, nullptr, BF_E_NULL_DESTINATION, false, &previous},
        {"P = 3", frame.data(), 640, 3, nullptr, BF_E_BYTES_PER_PIXEL, false, &previous},
        {"stride wraps", frame.data(), 0x80000000u, 2, nullptr, BF_E_ACQ_SETUP, false, &previous},
        {"size wraps", frame.data(), 0x00900000u, 1, nullptr, BF_E_ACQ_SETUP, false, &previous},
        // The board keeps its earlier destination, and so does the slot.
        {"refused", frame.data(), 640, 0, "CiAqSetup", BF_E_ACQ_SETUP, true, &previous},
    };
    for (const auto &c : cases) {
        SetUp();
        s().destination = &previous;
        if (c.bytesPerPixel != 0) bfsim_set_inquiry(16, 0, 0x10005, c.bytesPerPixel);
        if (c.fault != nullptr) bfsim_fault(c.fault, 1, 0, 9);
        EXPECT_EQ(BF_Setup(c.dest, c.width, slot), c.status) << c.name;
        EXPECT_EQ(qortest::journalOf({"CiAqSetup"}).size(), c.setupCalled ? 1u : 0u) << c.name;
        EXPECT_EQ(qortest::journalOf({"CiSignalCreate"}).size(), 0u) << c.name;
        EXPECT_EQ(s().destination, c.destinationAfter) << c.name;
        s().destination = nullptr;
    }
}

TEST_F(SingleDestination, CleanupRefusesWithoutADestinationOrWithAChain)
{
    int marker = 0;
    struct Case {
        bool destination;
        int32_t chainActive;
        int32_t status;
    } cases[] = {{false, 0, BF_E_NO_ACQUISITION}, {false, 1, BF_E_NO_ACQUISITION},
                 {true, 1, BF_E_CHAIN_ACTIVE}};
    for (const Case &c : cases) {
        s().destination = c.destination ? &marker : nullptr;
        s().chainActive = c.chainActive;
        EXPECT_EQ(BF_Cleanup(slot), c.status);
        EXPECT_EQ(s().destination, c.destination ? &marker : nullptr);
    }
    EXPECT_TRUE(qortest::journal().empty());
    s().destination = nullptr;
}

TEST_F(SingleDestination, FreeBufferReleasesOnlyLiveBlocksItHandedOut)
{
    std::vector<uint8_t> own(640 * 480);
    int32_t size = 640 * 480;
    void *block = nullptr;
    // The caller's own buffer registered: nothing is released, capture goes on.
    ASSERT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
    ASSERT_EQ(BF_Setup(own.data(), 640, slot), BF_OK);
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
    EXPECT_EQ(s().bufferAllocated, 1);  // nothing was released
    EXPECT_EQ(s().destinationFreed, 0);
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
    // Its own block registered: released once, and never written to again.
    ASSERT_EQ(BF_Setup(block, 640, slot), BF_OK);
    ASSERT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);  // sets the flag again
    void *second = block;
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
    EXPECT_EQ(s().destinationFreed, 1);
    EXPECT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);  // the freed block is not released twice
    bfsim_journal_clear();
    EXPECT_EQ(BF_GetFrame(slot), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_FastGetFrame(slot), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_Grab(slot, 0), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_Wait4Frame(10, slot, nullptr), BF_E_NO_ACQUISITION);
    EXPECT_TRUE(qortest::journal().empty());
    EXPECT_EQ(BF_Stop(slot), BF_OK);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);  // nothing registered: nothing released
    // A new set-up makes capture possible again.
    ASSERT_EQ(BF_Setup(second, 640, slot), BF_OK);
    EXPECT_EQ(BF_GetFrame(slot), BF_OK);
    ASSERT_EQ(BF_Setup(block, 640, slot), BF_OK);
    s().bufferAllocated = 1;
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
    ASSERT_EQ(BF_Setup(second, 640, slot), BF_OK);
    s().bufferAllocated = 1;
    EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
}

TEST_F(SingleDestination, AReleasedBlockIsRefusedOnEveryBoardThatRegisteredIt)
{
    const int32_t other = open(BF_FAMILY_32);
    int32_t size = 640 * 480;
    void *block = nullptr;
    ASSERT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
    ASSERT_EQ(BF_Setup(block, 640, slot), BF_OK);
    ASSERT_EQ(BF_Setup(block, 640, other), BF_OK);
    ASSERT_EQ(BF_FreeBuffer(slot), BF_OK);
    EXPECT_EQ(BF_GetFrame(other), BF_E_NO_ACQUISITION);
    EXPECT_EQ(BF_Cleanup(other), BF_OK);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
}

TEST_F(SingleDestination, AqFrameSizeChecksTheEngineThenResizes)
{
    struct Case {
        int32_t engine;
        uint32_t width;
        int32_t status;
        bool calls;
    } cases[] = {{2, 320, BF_E_ENGINE, false}, {INT32_MAX, 320, BF_E_ENGINE, false},
                 {0, 320, BF_OK, true},        {1, 320, BF_OK, true},
                 {-1, 320, BF_OK, true},       {0, 4000, BF_E_FRAME_SIZE, true}};
    for (const Case &c : cases) {
        bfsim_journal_clear();
        const int32_t status = BF_AqFrameSize(slot, c.width, 240, c.engine);
        // Engines other than 0 are the simulator's to accept or refuse.
        if (c.engine == 0 || !c.calls) {
            EXPECT_EQ(status, c.status) << c.engine;
        }
        if (!c.calls) {
            EXPECT_TRUE(qortest::journal().empty());
            continue;
        }
        EXPECT_TRUE(qortest::callsMatch(qortest::journal(),
                                        {{"CiAqCleanUp", {board(slot), c.engine}},
                                         {"CiAqFrameSize", {board(slot), c.width, 240, c.engine}}}));
    }
}

}  // namespace
