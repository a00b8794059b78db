// Building, unwinding and releasing buffer chains, and waiting on them.
#include <cstdlib>
#include <set>
#include <vector>

#include "board/allocator.h"
#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

using qortest::addr;
using qortest::Call;
using qortest::kAny;

// Counts the chain arrays alive and can refuse the nth allocation.
struct HeapProbe {
    static inline int live = 0;
    static inline int allocations = 0;
    static inline int failAt = 0;  // 0: never
    static void *allocate(size_t bytes)
    {
        if (++allocations == failAt) return nullptr;
        ++live;
        return std::malloc(bytes);
    }
    static void release(void *block)
    {
        if (block != nullptr) --live;
        std::free(block);
    }
};

class BufferChain : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        HeapProbe::live = HeapProbe::allocations = HeapProbe::failAt = 0;
        qor::allocator = {HeapProbe::allocate, HeapProbe::release, qor::kSystemAllocator.allocatePages,
                          qor::kSystemAllocator.releasePages};
        slot = open();
        frames.assign(4, std::vector<uint8_t>(640 * 480));
        for (int i = 0; i < 4; ++i) list[i] = frames[i].data();
    }
    void TearDown() override
    {
        bfsim_fault_clear();
        BF_Stop(slot);
        BF_BufferCleanup(slot);
        EXPECT_EQ(HeapProbe::live, 0);
        qor::allocator = qor::kSystemAllocator;
        SimTest::TearDown();
    }
    void restart()
    {
        TearDown();
        SetUp();
    }
    qor::BufferSet &set() { return qor::bufferSets[slot]; }
    qor::BoardSlot &s() { return qor::boardSlots[slot]; }
    int64_t record(int i) { return addr(&set().qtabs[i]); }
    // The QTab records named by the journaled relative creations.
    std::vector<int64_t> created()
    {
        std::vector<int64_t> records;
        for (const Call &call : qortest::journalOf({"CiRelQTabCreate"}))
            records.push_back(call.args[5]);
        return records;
    }
    std::vector<Call> releases(const char *function, const std::vector<int64_t> &records,
                               int from, int to)
    {
        std::vector<Call> calls;
        for (int i = from; i < to; ++i) calls.push_back({function, {board(slot), records[i]}});
        return calls;
    }
    int32_t slot = -1;
    std::vector<std::vector<uint8_t>> frames;
    void *list[4] = {};
};

TEST_F(BufferChain, SetupBuildsEngagesAndCleanupReleasesInOrder)
{
    ASSERT_EQ(BF_BufferSetup(list, 640, 3, slot), BF_OK);
    const int64_t h = board(slot);
    const int64_t sig = addr(&s().signal);
    std::vector<Call> expected = {{"CiConAqMode", {h, 3}},
                                  {"CiBrdInquire", {h, 0x10002, kAny}},
                                  {"CiBrdInquire", {h, 0x10005, kAny}},
                                  {"CiBrdCamGetCur", {h, kAny}}};
    for (int i = 0; i < 3; ++i)
        expected.push_back({"CiRelQTabCreate", {h, kAny, addr(list[i]), 640 * 480, 640, record(i),
                                                3, 4, 3, 2, 0}});
    for (int i = 0; i < 3; ++i) expected.push_back({"CiPhysQTabCreate", {h, record(i), 0}});
    expected.insert(expected.end(), {{"CiPhysQTabChainLink", {h, addr(set().qtabPtrs), 3}},
                                     {"CiSignalCreate", {h, 4, sig}},
                                     {"CiSignalQueueClear", {h, sig}},
                                     {"CiPhysQTabChainEngage", {h, addr(set().qtabPtrs), 0}},
                                     {"CiConDMACommand", {h, 10, 1, 0, 0}}});
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), expected));
    EXPECT_EQ(set().count, 3);
    EXPECT_EQ(s().chainActive, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(set().qtabPtrs[i], &set().qtabs[i]);
    }
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_REL_QTABS), 3);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_PHYS_QTABS), 3);

    const std::vector<int64_t> records = {record(0), record(1), record(2)};
    bfsim_journal_clear();
    ASSERT_EQ(BF_BufferCleanup(slot), BF_OK);
    expected = releases("CiPhysQTabFree", records, 0, 3);
    for (const Call &call : releases("CiRelQTabFree", records, 0, 3)) expected.push_back(call);
    expected.insert(expected.end(), {{"CiSignalCancel", {h, sig}}, {"CiSignalFree", {h, sig}},
                                     {"CiAqCleanUp", {h, 0}}});
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), expected));
    EXPECT_EQ(set().count, 0);
    EXPECT_EQ(set().qtabs, nullptr);
    EXPECT_EQ(set().qtabPtrs, nullptr);
    EXPECT_EQ(s().chainActive, 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_E_NO_CHAIN);
}

TEST_F(BufferChain, ArgumentAndGeometryChecksComeFirst)
{
    struct Case {
        const char *name;
        bool list;
        int32_t count;
        uint32_t width;
        uint32_t bytesPerPixel;  // 0: the camera's
        int32_t status;
        int32_t countAfter;
        bool aqModeSet;
    } cases[] = {
        {"null list wins", false, 0, 640, 0, BF_E_NULL_BUFFER_LIST, 7, false},
        {"no buffers", true, 0, 640, 0, BF_E_BUFFER_COUNT, 7, false},
        {"negative count", true, -1, 640, 0, BF_E_BUFFER_COUNT, 7, false},
        // Refused on its arguments, a set-up leaves the chain record alone.
        {"P = 3", true, 2, 640, 3, BF_E_BYTES_PER_PIXEL, 7, true},
        {"size wraps", true, 2, 0x00900000u, 0, BF_E_REL_QTAB, 7, true},
        {"stride wraps", true, 2, 0x80000000u, 2, BF_E_REL_QTAB, 7, true},
    };
    for (const Case &c : cases) {
        restart();
        set().count = 7;
        if (c.bytesPerPixel != 0) bfsim_set_inquiry(16, 0, 0x10005, c.bytesPerPixel);
        EXPECT_EQ(BF_BufferSetup(c.list ? list : nullptr, c.width, c.count, slot), c.status)
            << c.name;
        EXPECT_EQ(set().count, c.countAfter) << c.name;
        EXPECT_EQ(HeapProbe::allocations, 0) << c.name;
        std::vector<std::string> expected;
        if (c.aqModeSet) expected = {"CiConAqMode", "CiBrdInquire", "CiBrdInquire"};
        EXPECT_EQ(qortest::journalNames(), expected) << c.name;
        EXPECT_TRUE(qortest::debugOutput().empty());
    }
}

TEST_F(BufferChain, EveryFailureReleasesWhatTheSetupMade)
{
    struct Case {
        const char *name;
        int heapFailAt;
        const char *fault;
        int nth;
        int32_t status;
        std::vector<std::string> debug;
        int physicalFreed, relativeFreed;  // leading records released, in this order
        bool teardown;                     // signal cancelled and freed, clean-up done
    };
    const std::vector<Case> cases = {
        {"qtabs memory", 1, nullptr, 0, BF_E_QTAB_MEMORY, {}, 0, 0, false},
        {"pointer memory", 2, nullptr, 0, BF_E_QTAB_MEMORY, {}, 0, 0, false},
        {"relative 0", 0, "CiRelQTabCreate", 1, BF_E_REL_QTAB, {"Error creating Relative Qtab"}, 0, 0, false},
        {"relative 2", 0, "CiRelQTabCreate", 3, BF_E_REL_QTAB, {"Error creating Relative Qtab"}, 0, 2, false},
        {"physical 0", 0, "CiPhysQTabCreate", 1, BF_E_PHYS_QTAB, {"Error creating Physical Qtab\n"}, 0, 4, false},
        {"physical 2", 0, "CiPhysQTabCreate", 3, BF_E_PHYS_QTAB, {"Error creating Physical Qtab\n"}, 2, 4, false},
        {"link", 0, "CiPhysQTabChainLink", 1, BF_E_CHAIN_LINK, {}, 4, 4, false},
        {"engage", 0, "CiPhysQTabChainEngage", 1, BF_E_CHAIN_ENGAGE, {}, 4, 4, true},
        {"dma", 0, "CiConDMACommand", 1, BF_E_DMA_COMMAND, {}, 4, 4, true},
    };
    for (const Case &c : cases) {
        restart();
        s().chainActive = 0;
        HeapProbe::failAt = c.heapFailAt;
        if (c.fault != nullptr) bfsim_fault(c.fault, c.nth, 0, 9);
        EXPECT_EQ(BF_BufferSetup(list, 640, 4, slot), c.status) << c.name;
        const std::vector<int64_t> records = created();
        std::vector<Call> expected = releases("CiPhysQTabFree", records, 0, c.physicalFreed);
        for (const Call &call : releases("CiRelQTabFree", records, 0, c.relativeFreed))
            expected.push_back(call);
        if (c.teardown)
            expected.insert(expected.end(), {{"CiSignalCancel", {board(slot), addr(&s().signal)}},
                                             {"CiSignalFree", {board(slot), addr(&s().signal)}},
                                             {"CiAqCleanUp", {board(slot), 0}}});
        EXPECT_TRUE(qortest::callsMatch(
            qortest::journalOf({"CiPhysQTabFree", "CiRelQTabFree", "CiSignalCancel",
                                "CiSignalFree", "CiAqCleanUp"}), expected)) << c.name;
        EXPECT_EQ(qortest::debugOutput(), c.debug) << c.name;
        EXPECT_EQ(qortest::journalOf({"CiSignalCreate"}).size(), c.teardown ? 1u : 0u) << c.name;
        EXPECT_EQ(HeapProbe::live, 0) << c.name;
        EXPECT_EQ(set().qtabs, nullptr) << c.name;
        EXPECT_EQ(set().qtabPtrs, nullptr) << c.name;
        EXPECT_EQ(set().count, 0) << c.name;
        EXPECT_EQ(s().chainActive, 0) << c.name;
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1) << c.name;  // the board alone
    }
}

TEST_F(BufferChain, ReleaseFailingInTheTeardownLeavesTheChainForALaterCleanup)
{
    bfsim_fault("CiPhysQTabChainEngage", 1, 0, 9);
    bfsim_fault("CiRelQTabFree", 2, 0, 9);
    EXPECT_EQ(BF_BufferSetup(list, 640, 3, slot), BF_E_CHAIN_ENGAGE);
    EXPECT_EQ(s().chainActive, 1);
    EXPECT_EQ(set().count, 3);
    ASSERT_NE(set().qtabs, nullptr);
    EXPECT_EQ(HeapProbe::live, 2);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_PHYS_QTABS), 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_REL_QTABS), 2);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_SIGNALS), 1);
    EXPECT_EQ(qortest::journalOf({"CiSignalCancel", "CiAqCleanUp"}).size(), 0u);

    // The next clean-up resumes at the record whose release failed.
    const std::vector<int64_t> records = {record(0), record(1), record(2)};
    bfsim_journal_clear();
    ASSERT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(
        qortest::journalOf({"CiPhysQTabFree", "CiRelQTabFree"}),
        releases("CiRelQTabFree", records, 1, 3)));
    EXPECT_EQ(s().chainActive, 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
}

TEST_F(BufferChain, CleanupStoppedByAPhysicalReleaseResumesThere)
{
    ASSERT_EQ(BF_BufferSetup(list, 640, 3, slot), BF_OK);
    const std::vector<int64_t> records = {record(0), record(1), record(2)};
    bfsim_fault("CiPhysQTabFree", 2, 0, 9);
    bfsim_journal_clear();
    EXPECT_EQ(BF_BufferCleanup(slot), BF_E_QTAB_FREE);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), releases("CiPhysQTabFree", records, 0, 2)));
    EXPECT_EQ(s().chainActive, 1);
    EXPECT_EQ(set().count, 3);
    bfsim_journal_clear();
    ASSERT_EQ(BF_BufferCleanup(slot), BF_OK);
    std::vector<Call> expected = releases("CiPhysQTabFree", records, 1, 3);
    for (const Call &call : releases("CiRelQTabFree", records, 0, 3)) expected.push_back(call);
    EXPECT_TRUE(qortest::callsMatch(qortest::journalOf({"CiPhysQTabFree", "CiRelQTabFree"}),
                                    expected));
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 1);
}

TEST_F(BufferChain, WaitMakesOneWaitPerBufferForAWholeChain)
{
    struct Case {
        int32_t buffers;
        int32_t wholeChain;
        int failingWait;  // 0: none
        int32_t status;
        size_t waits;
    } cases[] = {{4, 1, 0, BF_OK, 4}, {1, 1, 0, BF_OK, 1}, {4, 0, 0, BF_OK, 1},
                 {4, 1, 3, BF_E_SIGNAL_WAIT, 3}, {4, 1, 1, BF_E_SIGNAL_WAIT, 1}};
    for (const Case &c : cases) {
        restart();
        ASSERT_EQ(BF_BufferSetup(list, 640, c.buffers, slot), BF_OK);
        ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
        // One wait ends with frames missed, which is still a frame.
        bfsim_fault("CiSignalWait", 2, 0, 0x10001);
        if (c.failingWait != 0) bfsim_fault("CiSignalWait", c.failingWait, 0, BFSIM_WAIT_TIMEOUT);
        bfsim_journal_clear();
        uint32_t count = 0;
        EXPECT_EQ(BF_Wait(1000, slot, c.wholeChain, &count), c.status);
        const auto waits = qortest::journalOf({"CiSignalWait"});
        EXPECT_EQ(waits.size(), c.waits) << c.buffers << c.failingWait;
        for (const Call &wait : waits)
            EXPECT_TRUE(qortest::callsMatch({wait}, {{"CiSignalWait",
                {board(slot), addr(&s().signal), 1000, addr(&count)}}}));
    }
}

TEST_F(BufferChain, WaitRefusesWithoutAChainOrALiveSignal)
{
    EXPECT_EQ(BF_Wait(10, slot, 0, nullptr), BF_E_NO_ACQUISITION);  // never created
    ASSERT_EQ(BF_Setup(frames[0].data(), 640, slot), BF_OK);
    bfsim_journal_clear();
    EXPECT_EQ(BF_Wait(10, slot, 1, nullptr), BF_E_CHAIN_REQUIRED);
    EXPECT_TRUE(qortest::journal().empty());
    ASSERT_EQ(BF_FastGetFrame(slot), BF_OK);
    EXPECT_EQ(BF_Wait(1000, slot, 0, nullptr), BF_OK);  // the single destination's signal
    ASSERT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(BF_Wait(10, slot, 0, nullptr), BF_E_NO_ACQUISITION);
    ASSERT_EQ(BF_BufferSetup(list, 640, 2, slot), BF_OK);
    ASSERT_EQ(BF_BufferCleanup(slot), BF_OK);
    bfsim_journal_clear();
    EXPECT_EQ(BF_Wait(10, slot, 0, nullptr), BF_E_NO_ACQUISITION);  // freed by the clean-up
    EXPECT_TRUE(qortest::journal().empty());
}

}  // namespace

namespace {

// A destination registered before a chain outlives the chain's clean-up, but
// the signal both shared does not: waiting on it must not reach the board.
TEST_F(BufferChain, Wait4FrameRefusesTheSignalAChainCleanupFreed)
{
    ASSERT_EQ(BF_Setup(frames[0].data(), 640, slot), BF_OK);
    ASSERT_EQ(BF_BufferSetup(list, 640, 2, slot), BF_OK);
    ASSERT_EQ(BF_BufferCleanup(slot), BF_OK);
    bfsim_journal_clear();
    EXPECT_EQ(BF_Wait4Frame(10, slot, nullptr), BF_E_NO_ACQUISITION);
    EXPECT_TRUE(qortest::journal().empty());
    ASSERT_EQ(BF_Setup(frames[0].data(), 640, slot), BF_OK);
    ASSERT_EQ(BF_FastGetFrame(slot), BF_OK);
    EXPECT_EQ(BF_Wait4Frame(1000, slot, nullptr), BF_OK);
    ASSERT_EQ(BF_Cleanup(slot), BF_OK);
}

}  // namespace
