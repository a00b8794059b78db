// One thread per board: threads that each own a slot run every kind of
// acquisition and every control while other threads open and close boards.
// Each status must be what a single-threaded host gets, no open may hand
// out a slot another thread holds, and nothing may be left alive.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "board/blocks.h"
#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

constexpr int kOpenCloseThreads = 2;
constexpr int kOwnerCycles = 25;
constexpr int kOpenCloseCycles = 80;
constexpr uint32_t kWidth = 640;
constexpr int32_t kFrameBytes = 640 * 480;
constexpr uint32_t kWaitMs = 1000;

// Eight boards of one type, fast frames: owners take the first ones,
// open/close threads the last ones.
std::string population()
{
    std::string json = R"({"boards": [)";
    for (int i = 0; i < 8; ++i)
        json += std::string(i ? "," : "") + R"({"type": 16, "cameras": [{"framePeriodMs": 1}]})";
    return json + "]}";
}

std::atomic<long> gCalls{0};
std::atomic<int> gHolder[qor::kSlotTableSize];

// One call, counted, which must succeed.
#define EXPECT_OK_COUNTED(call)          \
    do {                              \
        ++gCalls;                     \
        EXPECT_EQ((call), BF_OK) << #call; \
    } while (0)

int32_t openBoard(uint32_t number, int who)
{
    int32_t slot = -1;
    uint32_t depth, bpp, width, lines;
    ++gCalls;
    EXPECT_EQ(BF_Open(nullptr, &depth, &bpp, &width, &lines, number, BF_FAMILY_16, &slot), BF_OK);
    if (slot < 0) return slot;
    int free = -1;
    EXPECT_TRUE(gHolder[slot].compare_exchange_strong(free, who))
        << "slot " << slot << " handed to " << who << " while " << free << " holds it";
    return slot;
}

void closeBoard(int32_t slot)
{
    gHolder[slot] = -1;  // before the close: once closed, an open may take it
    EXPECT_OK_COUNTED(BF_Close(slot));
}

void singleDestination(int32_t s)
{
    int32_t size = kFrameBytes;
    void *block = nullptr;
    uint32_t count = 0;
    EXPECT_OK_COUNTED(BF_AllocBuffer(&size, &block, s));
    EXPECT_OK_COUNTED(BF_Setup(block, kWidth, s));
    EXPECT_OK_COUNTED(BF_GetFrame(s));
    EXPECT_OK_COUNTED(BF_FastGetFrame(s));
    EXPECT_OK_COUNTED(BF_Wait4Frame(kWaitMs, s, &count));
    EXPECT_OK_COUNTED(BF_Grab(s, 0));
    EXPECT_OK_COUNTED(BF_Wait4Frame(kWaitMs, s, &count));
    EXPECT_OK_COUNTED(BF_Stop(s));
    uint32_t resets, status, frames;
    int32_t zero;
    EXPECT_OK_COUNTED(BF_Status(&resets, &status, &zero, &frames, s));
    EXPECT_OK_COUNTED(BF_ResetAcquisition(s));
    EXPECT_OK_COUNTED(BF_FreeBuffer(s));
    EXPECT_OK_COUNTED(BF_Cleanup(s));
}

void chain(int32_t s, std::vector<uint8_t> (&frames)[3])
{
    void *list[3] = {frames[0].data(), frames[1].data(), frames[2].data()};
    uint32_t count = 0;
    EXPECT_OK_COUNTED(BF_BufferSetup(list, kWidth, 3, s));
    EXPECT_OK_COUNTED(BF_Grab(s, 1));
    EXPECT_OK_COUNTED(BF_Wait(kWaitMs, s, 1, &count));
    EXPECT_OK_COUNTED(BF_Stop(s));
    EXPECT_OK_COUNTED(BF_GetFrame(s));
    EXPECT_OK_COUNTED(BF_BufferCleanup(s));
}

void controls(int32_t s)
{
    static const uint16_t lut[0x100] = {};
    int32_t on = 1;
    int32_t off = 0;
    uint32_t value = 0;
    char name[64];
    void *dest = nullptr;
    EXPECT_OK_COUNTED(BF_TriggerMode(&on, s));
    EXPECT_OK_COUNTED(BF_SetSWtrigger(1, 0, s));
    EXPECT_OK_COUNTED(BF_TriggerMode(&off, s));
    EXPECT_OK_COUNTED(BF_LoadLUT(2, const_cast<uint16_t *>(lut), 0x100, s));
    EXPECT_OK_COUNTED(BF_MaskBits(s));
    EXPECT_OK_COUNTED(BF_NTGSetup(s, 10.0, 2.0, 1.0, 1, 1));
    EXPECT_OK_COUNTED(BF_NTGEncDiv(s, 2, 0, 0));
    EXPECT_OK_COUNTED(BF_GetGPOUT(s, &value));
    EXPECT_OK_COUNTED(BF_SetGPOUT(s, 1, 1));
    EXPECT_OK_COUNTED(BF_RegPeek(s, BFSIM_REG_GAIN, &value));
    EXPECT_OK_COUNTED(BF_RegPoke(s, BFSIM_REG_SCRATCH, value));
    value = BFSIM_REG_GAIN;
    EXPECT_OK_COUNTED(BF_RegNametoId(s, &value, name, sizeof name, 1));
    EXPECT_OK_COUNTED(BF_ImageInfo(&value, &value, &value, &value, &value, &dest, s));
    EXPECT_OK_COUNTED(BF_SelectCamera(0, s));
    EXPECT_OK_COUNTED(BF_AqFrameSize(s, kWidth, 480, 0));
}

void owner(int32_t slot)
{
    std::vector<uint8_t> frames[3];
    for (auto &frame : frames) frame.resize(kFrameBytes);
    for (int cycle = 0; cycle < kOwnerCycles; ++cycle) {
        singleDestination(slot);
        chain(slot, frames);
        controls(slot);
    }
}

void openerCloser(uint32_t number, int who)
{
    std::vector<uint8_t> frame(kFrameBytes);
    for (int cycle = 0; cycle < kOpenCloseCycles; ++cycle) {
        const int32_t slot = openBoard(number, who);
        if (slot < 0) return;
        EXPECT_OK_COUNTED(BF_Setup(frame.data(), kWidth, slot));
        EXPECT_OK_COUNTED(BF_GetFrame(slot));
        if (cycle % 2 == 0) {
            EXPECT_OK_COUNTED(BF_Cleanup(slot));  // otherwise the close releases it
        }
        closeBoard(slot);
    }
}

class Concurrency : public qortest::SimTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        bfsim_journal_enable(0);  // a journal of every thread's calls is of no use here
        loadConfig(population());
        gCalls = 0;
        for (auto &holder : gHolder) holder = -1;
    }
    void expectNothingLeft()
    {
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
        EXPECT_EQ(qor::blocks::count(), 0u);
    }
};

TEST_P(Concurrency, SlotOwnersAndOpenersRunSideBySide)
{
    const int owners = GetParam();
    std::vector<int32_t> slots;
    for (int i = 0; i < owners; ++i) slots.push_back(openBoard(i, i));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int32_t slot : slots) threads.emplace_back(owner, slot);
    for (int i = 0; i < kOpenCloseThreads; ++i)
        threads.emplace_back(openerCloser, 8 - kOpenCloseThreads + i, owners + i);
    for (std::thread &thread : threads) thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int32_t slot : slots) closeBoard(slot);
    expectNothingLeft();
    std::printf("%d slot owners + %d open/close threads: %ld calls in %.2f s\n", owners,
                kOpenCloseThreads, gCalls.load(), seconds);
}

INSTANTIATE_TEST_SUITE_P(Threads, Concurrency, ::testing::Values(2, 4));

// A block registered on two slots and freed through one while the other's
// owner keeps capturing into it: that owner sees its captures refused (or
// cut short) from the release on, and nothing is written into the block
// once the release has returned.
TEST_F(Concurrency, AFreeOnOneSlotStopsCaptureOnAnother)
{
    const int32_t freer = openBoard(0, 0);
    const int32_t capturer = openBoard(1, 1);
    int32_t size = kFrameBytes;
    void *block = nullptr;
    ASSERT_EQ(BF_AllocBuffer(&size, &block, freer), BF_OK);
    ASSERT_EQ(BF_Setup(block, kWidth, freer), BF_OK);
    ASSERT_EQ(BF_Setup(block, kWidth, capturer), BF_OK);
    std::atomic<bool> freed{false};
    std::thread capture([&] {
        bool refused = false;
        for (int i = 0; i < 200 && !refused; ++i) {
            const bool after = freed;
            const int32_t grab = BF_Grab(capturer, 0);
            const int32_t snap = BF_GetFrame(capturer);
            EXPECT_TRUE(grab == BF_OK || grab == BF_E_NO_ACQUISITION) << grab;
            EXPECT_TRUE(snap == BF_OK || snap == BF_E_NO_ACQUISITION || snap == BF_E_FRAME_WAIT)
                << snap;
            if (after) {
                EXPECT_EQ(grab, BF_E_NO_ACQUISITION);
            }
            refused = grab == BF_E_NO_ACQUISITION;
        }
        EXPECT_TRUE(refused);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(BF_FreeBuffer(freer), BF_OK);
    freed = true;
    capture.join();
    EXPECT_EQ(BF_Cleanup(freer), BF_OK);
    EXPECT_EQ(BF_Cleanup(capturer), BF_OK);
    closeBoard(capturer);
    closeBoard(freer);
    expectNothingLeft();
}

}  // namespace
