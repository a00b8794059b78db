/*
 * The camera's schedule and faults: frames at microsecond periods arrive in
 * order, every Nth or a seeded share of them is lost with the counter
 * showing the gap, and the counter can start anywhere and wraps at 2^32.
 * Counts and order only: timing is the benchmarks' business.
 */
#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

class Camera : public EngineTest {
protected:
    static constexpr uint32_t kWidth = 8, kLines = 4;
    Fenced buffer{kWidth * kLines};

    // One-shot snaps start at once, so a test runs as fast as frames can be written.
    void setUp(const std::string &camera)
    {
        openBoard(population(R"("width":8,"lines":4,"trigMode":1,)" + camera));
        ASSERT_EQ(CiAqSetup(board, buffer.data(), kWidth * kLines, kWidth, 3, 4, 0, 0, 1, 1, 0), 0);
    }
    // The stamp of the frame a snap delivers.
    uint32_t snap()
    {
        EXPECT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
        EXPECT_EQ(CiAqWaitDone(board, 0), 0);
        return frameStamp(buffer.data());
    }
    std::vector<uint32_t> snaps(int n)
    {
        std::vector<uint32_t> stamps;
        for (int i = 0; i < n; ++i) stamps.push_back(snap());
        return stamps;
    }
    uint32_t frameCounter()
    {
        uint32_t count = 0;
        EXPECT_EQ(CiConGetFrameCount(board, &count, 0), 0);
        return count;
    }
    bfsim_engine_info info()
    {
        bfsim_engine_info i{};
        EXPECT_EQ(bfsim_engine_info_get(kType, 0, &i), 0);
        return i;
    }
    // Polls the engine's counts until `reached` holds of them, for at most
    // a bound only a hung engine reaches.
    template <class Reached> bool awaitCounts(Reached reached)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!reached(info())) {
            if (std::chrono::steady_clock::now() > until) return false;
            pause(1);
        }
        return true;
    }
    ::testing::AssertionResult holds(uint32_t frame)
    {
        const bfsim_frame_format format{kWidth, kLines, kWidth, 0, 0, nullptr, 0};
        char why[128] = "";
        if (bfsim_check_frame(kType, 0, 0, buffer.data(), &format, frame, why, sizeof why) == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << why;
    }
};

TEST_F(Camera, MicrosecondGrabFillsTheChainInOrderWithNoNumberSkipped)
{
    openBoard(population(R"("width":8,"lines":2,"framePeriodUs":100)"));
    std::vector<Fenced> buffers(3, Fenced(16));
    CiQTab qtabs[3];
    CiQTab *ring[3] = {&qtabs[0], &qtabs[1], &qtabs[2]};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(CiRelQTabCreate(board, nullptr, buffers[i].data(), 16, 8, ring[i], 3, 4, 3, 2, 0), 0);
        ASSERT_EQ(CiPhysQTabCreate(board, ring[i], 0), 0);
    }
    ASSERT_EQ(CiPhysQTabChainLink(board, ring, 3), 0);
    ASSERT_EQ(CiPhysQTabChainEngage(board, ring, 0), 0);
    ASSERT_EQ(CiConDMACommand(board, 10, 1, 0, 0), 0);
    ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    ASSERT_TRUE(waitFrames(30));
    ASSERT_EQ(CiConAqCommand(board, 0, 0), 0);
    uint32_t counter = 0;
    ASSERT_EQ(CiConGetFrameCount(board, &counter, 0), 0);
    // A stall of the machine longer than the board's memory loses frames
    // honestly; none is lost otherwise, and none numbered twice.
    EXPECT_EQ(info().framesLost, 0u);
    EXPECT_EQ(counter, frames() + info().framesLate);
    // The last three frames written, one per buffer in ring order, the
    // newest in the buffer written last.
    const size_t newest = (frames() - 1) % 3;
    for (size_t back = 1; back < 3; ++back) {
        const uint32_t later = frameStamp(buffers[(newest + 3 - back + 1) % 3].data());
        EXPECT_LT(frameStamp(buffers[(newest + 3 - back) % 3].data()), later);
    }
    EXPECT_LT(frameStamp(buffers[newest].data()), counter);
}

// A camera far faster than its frames can be written keeps its rate: the
// frames the engine cannot write in time are lost by the camera, numbered
// and counted, never written nor signalled.
TEST_F(Camera, FramesThatCannotBeWrittenInTheirSlotAreLostAndCounted)
{
    constexpr uint32_t kSide = 2048, kStride = 2 * kSide;
    openBoard(population(R"("width":2048,"lines":2048,"bitDepth":16,"bytesPerPixel":2,"framePeriodUs":10,"dropEvery":5)"));
    Fenced large(size_t{kStride} * kSide);
    CiSignal signal{};
    ASSERT_EQ(CiSignalCreate(board, CI_SIGNAL_END_OF_FRAME, &signal), 0);
    ASSERT_EQ(CiAqSetup(board, large.data(), kStride * kSide, kStride, 3, 4, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    // Until writing has fallen further behind than the board's memory holds,
    // however fast or slow this machine writes a frame; the camera is
    // stopped before anything is asserted, so no frame lands after the test.
    const bool behind = awaitCounts([](const bfsim_engine_info &i) {
        return i.framesCompleted >= 3 && i.framesLost > 0 && i.framesLate > 2 * i.framesCompleted;
    });
    ASSERT_EQ(CiAqCommand(board, 0, 2, 0, 0), 0);
    ASSERT_TRUE(behind) << "the camera never fell behind";
    uint32_t signalled = 0;
    CiSignalWait(board, &signal, 0, &signalled);
    const bfsim_engine_info counts = info();
    const uint32_t counter = frameCounter();
    EXPECT_GT(counts.framesLate, counts.framesCompleted) << "most slots pass while one frame is written";
    EXPECT_GT(counts.framesLost, 0u) << "dropEvery keeps losing its frames among the late ones";
    EXPECT_EQ(counts.framesCompleted + counts.framesLate + counts.framesLost, uint64_t{counter})
        << "every frame number is written, late or lost";
    EXPECT_EQ(uint64_t{signalled}, counts.framesCompleted) << "late frames are never signalled";
    const uint32_t last = frameStamp(large.data());
    EXPECT_LT(last, counter);
    const Geometry geometry{kSide, kSide, 2, 16, kStride};
    EXPECT_TRUE(frameIs(large.data(), geometry, last)) << "the buffer holds a whole frame";
    ASSERT_EQ(CiSignalFree(board, &signal), 0);
}

// A host that waits on every frame has each written in its own thread as it
// falls due; once it stops waiting, the camera goes on without it.
TEST_F(Camera, AHostWaitingOnEveryFrameGetsThemInOrderAndTheCameraGoesOnWithoutIt)
{
    openBoard(population(R"("width":8,"lines":4,"framePeriodUs":100)"));
    ASSERT_EQ(CiAqSetup(board, buffer.data(), kWidth * kLines, kWidth, 3, 4, 0, 0, 1, 1, 0), 0);
    CiSignal signal{};
    ASSERT_EQ(CiSignalCreate(board, CI_SIGNAL_END_OF_FRAME, &signal), 0);
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    uint64_t reported = 0;
    int64_t previous = -1;
    for (int i = 0; i < 50; ++i) {
        uint32_t count = 0;
        const int32_t status = CiSignalWait(board, &signal, kLongWaitMs, &count);
        ASSERT_TRUE(status == 0 || status == CI_WAIT_FRAMES_MISSED) << status;
        ASSERT_GE(count, 1u);
        reported += count;
        // The camera goes on writing the one buffer meanwhile, so the host
        // reads the counts, not the pixels: every frame signalled has been
        // numbered, and numbers never go back.
        const uint32_t counter = frameCounter();
        EXPECT_GE(uint64_t{counter}, reported);
        EXPECT_GE(int64_t{counter}, previous);
        previous = counter;
    }
    ASSERT_TRUE(waitFrames(frames() + 20)) << "the frame thread takes the frames over";
    ASSERT_EQ(CiAqCommand(board, 0, 2, 0, 0), 0);
    uint32_t rest = 0;
    CiSignalWait(board, &signal, 0, &rest);
    EXPECT_EQ(reported + rest, frames()) << "every frame written is signalled once";
    EXPECT_EQ(uint64_t{frameCounter()}, frames() + info().framesLate);
    ASSERT_EQ(CiSignalFree(board, &signal), 0);
}

TEST_F(Camera, EveryNthFrameIsLostAndTheCounterShowsTheGap)
{
    setUp(R"("framePeriodUs":50,"dropEvery":3)");
    EXPECT_EQ(snaps(6), (std::vector<uint32_t>{0, 1, 3, 4, 6, 7}));
    EXPECT_TRUE(holds(7));
    EXPECT_EQ(frameCounter(), 8u);
    EXPECT_EQ(info().framesCompleted, 6u);
    EXPECT_EQ(info().framesLost, 2u);
}

TEST_F(Camera, RandomLossesAreTheSameForASeedAndDifferForAnother)
{
    const auto lossesWith = [&](uint32_t seed) {
        EngineTest::TearDown();
        EngineTest::SetUp();
        setUp(R"("framePeriodUs":50,"dropProbability":0.3,"seed":)" + std::to_string(seed));
        return snaps(60);
    };
    const std::vector<uint32_t> first = lossesWith(11);
    const uint64_t lost = info().framesLost;
    EXPECT_EQ(lost, first.back() + 1 - first.size()) << "every gap in the numbers is a lost frame";
    EXPECT_GT(lost, 5u);
    EXPECT_LT(lost, 60u);
    EXPECT_EQ(lossesWith(11), first);
    EXPECT_NE(lossesWith(12), first);
}

TEST_F(Camera, CounterStartsWhereConfiguredAndWrapsAt32Bits)
{
    setUp(R"("framePeriodUs":50,"bitDepth":8,"firstFrameNumber":4294967294)");
    const uint32_t expected[] = {4294967294u, 4294967295u, 0u, 1u};
    for (uint32_t f : expected) {
        EXPECT_EQ(snap(), f);
        EXPECT_TRUE(holds(f));
    }
    EXPECT_EQ(frameCounter(), 2u);
    // A new set-up starts the counter again.
    ASSERT_EQ(CiAqSetup(board, buffer.data(), kWidth * kLines, kWidth, 3, 4, 0, 0, 1, 1, 0), 0);
    EXPECT_EQ(snap(), 4294967294u);
}

}  // namespace
}  // namespace enginetest
