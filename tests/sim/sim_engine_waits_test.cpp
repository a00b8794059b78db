/*
 * Waiting and triggering: signal wait results and counts, wait-done's
 * bound, status, frames held until a software or external trigger, and the
 * overflow of a chain whose host does not keep up.
 */
#include <future>

#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

using Ms = std::chrono::milliseconds;

class Waits : public EngineTest {
protected:
    Fenced buffer{64};
    CiSignal signal;

    void setUp(const std::string &camera, const std::string &boardMembers = "")
    {
        openBoard(population(R"("width":8,"lines":8,)" + camera, boardMembers));
        ASSERT_EQ(CiAqSetup(board, buffer.data(), 64, 8, 3, 4, 0, 0, 1, 1, 0), 0);
        ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);
    }
    void snap()
    {
        ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
        ASSERT_EQ(CiAqWaitDone(board, 0), 0);
    }
    // Runs a wait on another thread and returns once the simulator has it
    // asleep in CiSignalWait, so whatever the test does next finds it there.
    std::future<int32_t> sleepingWait(uint32_t timeoutMs)
    {
        auto result = std::async(std::launch::async, [=] { return CiSignalWait(board, &signal, timeoutMs, nullptr); });
        EXPECT_EQ(bfsim_wait_signal_waiters(kType, 0, 1, kLongWaitMs), 0) << "the wait never went to sleep";
        return result;
    }
    bfsim_engine_info info()
    {
        bfsim_engine_info i{};
        EXPECT_EQ(bfsim_engine_info_get(kType, 0, &i), 0);
        return i;
    }
};

TEST_F(Waits, ResultAndCountSayHowManyFramesCompletedSinceTheLastWait)
{
    setUp(R"("framePeriodMs":2)");
    struct Step {
        int snaps;
        int32_t result;
        uint32_t count;
    };
    for (const Step &step : {Step{1, 0, 1}, Step{3, 0x10001, 3}, Step{0, BFSIM_WAIT_TIMEOUT, 0}, Step{1, 0, 1}}) {
        for (int i = 0; i < step.snaps; ++i) snap();
        uint32_t count = 99;
        EXPECT_EQ(CiSignalWait(board, &signal, 20, &count), step.result) << step.snaps << " snaps";
        EXPECT_EQ(count, step.count) << step.snaps << " snaps";
    }
    snap();
    ASSERT_EQ(CiSignalQueueClear(board, &signal), 0);
    EXPECT_EQ(CiSignalWait(board, &signal, 5, nullptr), BFSIM_WAIT_TIMEOUT);
}

TEST_F(Waits, TimeOutHonoursTheTimeGiven)
{
    setUp(R"("framePeriodMs":2)");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CiSignalWait(board, &signal, 30, nullptr), BFSIM_WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Ms(30));
}

TEST_F(Waits, SleepingWaitIsCancelledByCancelFreeAndClose)
{
    setUp(R"("framePeriodMs":2)");
    bool signalLive = true;  // the set-up made it
    const std::vector<std::pair<const char *, std::function<void()>>> wakers{
        {"cancel", [&] { EXPECT_EQ(CiSignalCancel(board, &signal), 0); }},
        {"free",
         [&] {
             EXPECT_EQ(CiSignalFree(board, &signal), 0);
             signalLive = false;
         }},
        {"close", [&] { EXPECT_EQ(CiBrdClose(board), 0); }},
    };
    for (const auto &waker : wakers) {
        if (!signalLive) {
            ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);
            signalLive = true;
        }
        auto result = sleepingWait(kLongWaitMs);
        waker.second();
        ASSERT_EQ(result.wait_for(Ms(kLongWaitMs)), std::future_status::ready) << waker.first;
        EXPECT_EQ(result.get(), BFSIM_WAIT_CANCELLED) << waker.first;
    }
}

TEST_F(Waits, WaitDoneIsBoundedByTheCameraWaitTimeWhileNoTriggerComes)
{
    setUp(R"("framePeriodMs":2,"trigMode":2,"waitTimeMs":40)");
    ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
    uint32_t status = 0;
    ASSERT_EQ(CiConAqStatus(board, &status, 0), 0);
    EXPECT_NE(status, 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CiAqWaitDone(board, 0), BFSIM_WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Ms(40));
    ASSERT_EQ(CiConSwTrig(board, 2, 17), 0);
    EXPECT_EQ(CiAqWaitDone(board, 0), 0);
    ASSERT_EQ(CiConAqStatus(board, &status, 0), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(frameStamp(buffer.data()), 0u);
}

TEST_F(Waits, TriggeredGrabMakesOneFramePerTriggerAndDropsTheRest)
{
    // A minute-long exposure: the trigger that comes during it certainly
    // finds it still exposing.
    setUp(R"("framePeriodMs":60000,"trigMode":2)");
    ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);  // nothing waiting yet: dropped
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    EXPECT_EQ(info().phase, BFSIM_PHASE_AWAITING_TRIGGER) << "a trigger from before the grab was kept";
    ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);
    EXPECT_EQ(info().phase, BFSIM_PHASE_EXPOSING);
    ASSERT_EQ(CiConSwTrig(board, 2, 17), 0);  // the frame is exposing already: dropped
    EXPECT_EQ(info().triggersDropped, 2u);
    ASSERT_EQ(CiAqCommand(board, 0, 2, 0, 0), 0);
    EXPECT_EQ(frames(), 0u) << "stop drops a frame still exposing";

    // Now 2 ms frames: each trigger makes one, and nothing is left queued.
    ASSERT_EQ(CiConExposureControlSet(board, 2.0, 1.0, 0.0, 0, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    for (uint64_t n = 1; n <= 3; ++n) {
        ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);
        ASSERT_TRUE(waitFrames(n));
        EXPECT_EQ(info().phase, BFSIM_PHASE_AWAITING_TRIGGER) << "after frame " << n;
        EXPECT_EQ(frames(), n);
    }
    EXPECT_EQ(info().triggersDropped, 2u);
    EXPECT_NE(CiConSwTrig(board, 3, 17), 0);
}

TEST_F(Waits, ExternalTriggerCountsOnlyWhileTheLineIsConnected)
{
    setUp(R"("framePeriodMs":2,"trigMode":3)");
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    bfsim_fire_external_trigger(kType, 0);
    EXPECT_EQ(info().phase, BFSIM_PHASE_AWAITING_TRIGGER) << "an unconnected line started a frame";
    EXPECT_EQ(info().triggersDropped, 1u);
    ASSERT_EQ(CiConExTrigConnect(board, 1, 19), 0);
    bfsim_fire_external_trigger(kType, 0);
    EXPECT_TRUE(waitFrames(1));
    EXPECT_EQ(info().triggersDropped, 1u);
}

TEST_F(Waits, PeriodicExternalTriggerDrivesATriggeredGrab)
{
    setUp(R"("framePeriodMs":1,"trigMode":2)", R"("externalTriggerPeriodMs":3)");
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    pause(15);
    EXPECT_EQ(frames(), 0u) << "line not connected";
    ASSERT_EQ(CiConExTrigConnect(board, 1, 19), 0);
    EXPECT_TRUE(waitFrames(3));
}

class Overflow : public EngineTest {
protected:
    std::vector<Fenced> buffers{2, Fenced(16)};
    CiQTab qtabs[2];
    CiQTab *ring[2] = {&qtabs[0], &qtabs[1]};
    CiSignal signal;

    void SetUp() override
    {
        EngineTest::SetUp();
        openBoard(population(R"("framePeriodMs":1,"width":8,"lines":2,"trigMode":2)"));
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(CiRelQTabCreate(board, nullptr, buffers[i].data(), 16, 8, ring[i], 3, 4, 3, 2, 0), 0);
            ASSERT_EQ(CiPhysQTabCreate(board, ring[i], 0), 0);
        }
        ASSERT_EQ(CiPhysQTabChainLink(board, ring, 2), 0);
        ASSERT_EQ(CiPhysQTabChainEngage(board, ring, 0), 0);
        ASSERT_EQ(CiConDMACommand(board, 10, 1, 0, 0), 0);
        ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);
        ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    }
    // Triggers `n` frames one after the other, waiting on the signal after
    // each when the host keeps up.
    void trigger(int n, bool keepUp)
    {
        for (int i = 0; i < n; ++i) {
            const uint64_t before = frames();
            ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);
            ASSERT_TRUE(waitFrames(before + 1));
            if (keepUp) {
                ASSERT_EQ(CiSignalWait(board, &signal, kLongWaitMs, nullptr), 0);
            }
        }
    }
    uint32_t check()
    {
        uint32_t flag = 99;
        EXPECT_EQ(CiAqOverflowCheck(board, &flag), 0);
        return flag;
    }
};

TEST_F(Overflow, HostThatWaitsForEveryFrameNeverOverflows)
{
    trigger(5, true);
    EXPECT_EQ(check(), 0u);
}

TEST_F(Overflow, OverwritingAFrameNobodyWaitedForIsReportedOnce)
{
    trigger(2, false);
    EXPECT_EQ(check(), 0u) << "every buffer holds a fresh frame, none overwritten yet";
    trigger(1, false);
    EXPECT_EQ(check(), 1u);
    EXPECT_EQ(check(), 0u) << "reading acknowledges";
}

TEST_F(Overflow, ResetClearsTheFlagAndRewindsTheRing)
{
    trigger(3, false);
    ASSERT_EQ(CiConAqCommand(board, 5, 0), 0);
    EXPECT_EQ(check(), 0u);
    ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    trigger(1, false);
    EXPECT_EQ(frameStamp(buffers[0].data()), 3u);
}

}  // namespace
}  // namespace enginetest
