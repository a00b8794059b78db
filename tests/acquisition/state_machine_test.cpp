// Every exported function of the board and acquisition families, in every
// state a slot can be in: the status each one decides for itself.
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "board/blocks.h"
#include "board/allocator.h"
#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

// In flight: a grab running into a block from BF_AllocBuffer. Freed: that
// block released by BF_FreeBuffer mid-grab. Refused: a re-set-up refused
// mid-grab. Closed with a chain: closed while a chain was in force, and
// opened again while another board kept the count up.
enum State {
    kUnopened, kNothingSetUp, kSingle, kChain, kCleanedUp,
    kInFlight, kFreed, kRefused, kClosedWithChain, kStateCount
};
constexpr int32_t kSdkDecides = -1;  // the outcome is the simulator's, not checked here

struct Row {
    const char *name;
    std::function<int32_t(int32_t)> call;
    int32_t expected[kStateCount];
};

uint8_t gFrames[2][640 * 480];
void *gList[2] = {gFrames[0], gFrames[1]};

const std::vector<Row> &rows()
{
    constexpr int32_t K = kSdkDecides;
    static const std::vector<Row> table = {
        {"AllocBuffer(0)", [](int32_t s) { int32_t n = 0; void *b; return BF_AllocBuffer(&n, &b, s); },
         {5002, 5003, 5003, 5003, 5003, 5003, 5003, 5003, 5003}},
        {"FreeBuffer", [](int32_t s) { return BF_FreeBuffer(s); },
         {5002, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"Setup(null)", [](int32_t s) { return BF_Setup(nullptr, 640, s); },
         {5002, 5012, 5012, 5012, 5012, 5012, 5012, 5012, 5012}},
        {"Cleanup", [](int32_t s) { return BF_Cleanup(s); },
         {5002, 5015, 0, 5015, 5015, 0, 0, 0, 5015}},
        {"AqFrameSize(engine 2)", [](int32_t s) { return BF_AqFrameSize(s, 64, 64, 2); },
         {5002, 5041, 5041, 5041, 5041, 5041, 5041, 5041, 5041}},
        {"GetFrame", [](int32_t s) { return BF_GetFrame(s); },
         {5002, 5015, 0, 0, 5015, 0, 5015, 0, 5015}},
        {"FastGetFrame", [](int32_t s) { return BF_FastGetFrame(s); },
         {5002, 5015, 0, 0, 5015, 0, 5015, 0, 5015}},
        {"Grab(chained)", [](int32_t s) { return BF_Grab(s, 1); },
         {5002, 5015, 5037, 0, 5015, 5037, 5015, 5037, 5015}},
        {"Grab", [](int32_t s) { return BF_Grab(s, 0); },
         {5002, 5015, 0, 0, 5015, 0, 5015, 0, 5015}},
        {"Stop", [](int32_t s) { return BF_Stop(s); },
         {5002, 5015, 0, 0, 5015, 0, 0, 0, 5015}},
        {"Wait4Frame", [](int32_t s) { return BF_Wait4Frame(1, s, nullptr); },
         {5002, 5015, K, K, 5015, K, 5015, K, 5015}},
        {"Status", [](int32_t s) { return BF_Status(nullptr, nullptr, nullptr, nullptr, s); },
         {5002, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"ResetAcquisition", [](int32_t s) { return BF_ResetAcquisition(s); },
         {5002, K, 0, 0, K, 0, K, 0, K}},
        {"BufferSetup(null)", [](int32_t s) { return BF_BufferSetup(nullptr, 640, 2, s); },
         {5002, 5027, 5027, 5027, 5027, 5027, 5027, 5027, 5027}},
        {"BufferSetup(0 buffers)", [](int32_t s) { return BF_BufferSetup(gList, 640, 0, s); },
         {5002, 5026, 5026, 5026, 5026, 5026, 5026, 5026, 5026}},
        {"BufferCleanup", [](int32_t s) { return BF_BufferCleanup(s); },
         {5002, 5036, 5036, 0, 5036, 5036, 5036, 5036, 5036}},
        {"Wait(whole chain)", [](int32_t s) { return BF_Wait(1, s, 1, nullptr); },
         {5002, 5037, 5037, K, 5037, 5037, 5037, 5037, 5037}},
        {"Wait", [](int32_t s) { return BF_Wait(1, s, 0, nullptr); },
         {5002, 5015, K, K, 5015, K, K, K, 5015}},
        {"SelectCamera", [](int32_t s) { return BF_SelectCamera(0, s); },
         {5002, 0, 5005, 0, 0, 5005, 5005, 5005, 0}},
        {"ImageInfo", [](int32_t s) { void *d; return BF_ImageInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &d, s); },
         {5002, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"Close", [](int32_t s) { return BF_Close(s); },
         {5002, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    return table;
}

class StateMachine : public qortest::SimTest {
protected:
    // A fresh simulator and library with slot 0 in `state`; returns the slot.
    int32_t enter(State state)
    {
        SetUp();
        if (state == kUnopened) return 0;
        const int32_t slot = open();
        if (state == kSingle || state == kCleanedUp) {
            EXPECT_EQ(BF_Setup(gFrames[0], 640, slot), 0);
        }
        if (state == kCleanedUp) {
            EXPECT_EQ(BF_Cleanup(slot), 0);
        }
        if (state == kChain || state == kCleanedUp) {
            EXPECT_EQ(BF_BufferSetup(gList, 640, 2, slot), 0);
        }
        if (state == kCleanedUp) {
            EXPECT_EQ(BF_BufferCleanup(slot), 0);
        }
        if (state == kInFlight || state == kFreed || state == kRefused) {
            int32_t size = sizeof gFrames[0];
            EXPECT_EQ(BF_AllocBuffer(&size, &block, slot), 0);
            EXPECT_EQ(BF_Setup(block, 640, slot), 0);
            EXPECT_EQ(BF_Grab(slot, 0), 0);
        }
        if (state == kFreed) {
            EXPECT_EQ(BF_FreeBuffer(slot), 0);
        }
        if (state == kRefused) {
            EXPECT_EQ(BF_Setup(gFrames[1], 0, slot), BF_E_ACQ_SETUP);
        }
        if (state == kClosedWithChain) {
            const int32_t kept = open(BF_FAMILY_32);
            EXPECT_EQ(BF_BufferSetup(gList, 640, 2, slot), 0);
            EXPECT_EQ(BF_Grab(slot, 1), 0);
            EXPECT_EQ(BF_Close(slot), 0);
            EXPECT_EQ(open(), slot);
            EXPECT_EQ(BF_Close(kept), 0);
        }
        bfsim_journal_clear();
        return slot;
    }
    // Releases what is left, also after a close took the board away.
    void leave(int32_t slot)
    {
        BF_Stop(slot);
        BF_FreeBuffer(slot);
        // A block the slot no longer registers (closed, or replaced by a
        // chain) is released here, as its owner would have to.
        if (qor::blocks::Block *live = qor::blocks::find(block)) {
            qor::blocks::forget(live);
            qor::allocator.releasePages(block);
        }
        block = nullptr;
        BF_Cleanup(slot);
        if (BF_BufferCleanup(slot) == BF_E_SLOT_NOT_OPEN) {
            qor::allocator.release(qor::bufferSets[slot].qtabs);
            qor::allocator.release(qor::bufferSets[slot].qtabPtrs);
        }
    }
    void *block = nullptr;  // from BF_AllocBuffer
};

TEST_F(StateMachine, EveryFunctionInEveryState)
{
    const char *stateNames[] = {"unopened", "nothing set up", "single destination", "chain",
                                "after clean-up", "capture in flight", "destination freed",
                                "refused re-set-up", "closed with a chain"};
    for (int state = kUnopened; state < kStateCount; ++state) {
        for (const Row &row : rows()) {
            const int32_t slot = enter(static_cast<State>(state));
            const int32_t status = row.call(slot);
            if (row.expected[state] != kSdkDecides) {
                EXPECT_EQ(status, row.expected[state]) << row.name << " / " << stateNames[state];
            }
            if (state == kUnopened) {
                EXPECT_TRUE(qortest::journal().empty()) << row.name;
            }
            leave(slot);
        }
    }
}

TEST_F(StateMachine, IndexesOutsideTheTableAreRefusedByEveryFunction)
{
    open();
    for (int32_t slot : {-1, 10, -2147483647 - 1, 2147483647})
        for (const Row &row : rows()) {
            EXPECT_EQ(row.call(slot), BF_E_SLOT_NOT_OPEN) << row.name << slot;
        }
    EXPECT_TRUE(qortest::journal().empty());
}

}  // namespace
