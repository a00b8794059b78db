/*
 * The engine's objects and their bookkeeping: what each set-up refuses,
 * QTab and signal records recognised only when live, live counts that prove
 * what was released, and handles or pointers that must not crash anything.
 */
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

class Objects : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        openBoard(population(R"("framePeriodMs":2,"width":16,"lines":4)"));
    }
    static int live(int kind) { return bfsim_live_count(kind); }
};

TEST_F(Objects, SetUpRefusesDestinationsItCouldNotFillSafely)
{
    Fenced buffer(64);
    struct Case {
        const char *why;
        void *dest;
        uint32_t size;
        int32_t stride;
    } cases[] = {{"null", nullptr, 64, 16}, {"empty", buffer.data(), 0, 16}, {"no stride", buffer.data(), 64, 0},
                 {"negative stride", buffer.data(), 64, -16}, {"lines past size", buffer.data(), 63, 16}};
    for (const Case &c : cases)
        EXPECT_EQ(CiAqSetup(board, c.dest, c.size, c.stride, 3, 4, 0, 0, 1, 1, 0), BFSIM_ERR_ARGUMENT) << c.why;
    EXPECT_EQ(live(BFSIM_OBJ_DESTINATIONS), 0);

    ASSERT_EQ(CiAqSetup(board, buffer.data(), 64, 16, 3, 4, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), 64, 16, 3, 4, 0, 0, 1, 1, 0), 0);
    EXPECT_EQ(live(BFSIM_OBJ_DESTINATIONS), 1) << "a second set-up replaces the first";
    EXPECT_EQ(CiAqCleanUp(board, 1), 0);
    EXPECT_EQ(live(BFSIM_OBJ_DESTINATIONS), 1) << "engine 1 holds nothing";
    EXPECT_EQ(CiAqCleanUp(board, 2), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiAqCleanUp(board, -1), 0);
    EXPECT_EQ(live(BFSIM_OBJ_DESTINATIONS), 0);
    // The lines past the size: a real board would write past the buffer.
    EXPECT_EQ(qortest::takeMisuses(), std::vector<std::string>{"CiAqSetup"});
}

TEST_F(Objects, FrameSizeAcceptsOnlyWindowsInsideTheCamera)
{
    struct Case {
        uint32_t x, y;
        int32_t engine;
        bool ok;
    } cases[] = {{16, 4, 0, true}, {1, 1, 1, true},   {8, 2, -1, true},  {0, 4, 0, false},
                 {16, 0, 0, false}, {17, 4, 0, false}, {16, 5, 0, false}, {8, 2, 2, false}};
    for (const Case &c : cases)
        EXPECT_EQ(CiAqFrameSize(board, c.x, c.y, c.engine) == 0, c.ok) << c.x << "x" << c.y << " engine " << c.engine;
}

TEST_F(Objects, CommandsNeedSomethingSetUp)
{
    EXPECT_EQ(CiAqCommand(board, 2, 2, 0, 0), BFSIM_ERR_NOT_SET_UP);
    EXPECT_EQ(CiConAqCommand(board, 3, 0), BFSIM_ERR_NOT_SET_UP);
    EXPECT_EQ(CiConCTabReset(board), BFSIM_ERR_NOT_SET_UP);
    EXPECT_EQ(CiAqWaitDone(board, 0), 0) << "nothing pending is done";
    Fenced buffer(64);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), 64, 16, 3, 4, 0, 0, 1, 1, 0), 0);
    EXPECT_EQ(CiAqCommand(board, 4, 2, 0, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiAqCommand(board, 2, 2, 1, 0), BFSIM_ERR_NOT_SET_UP) << "engine 1 has no destination";
    EXPECT_EQ(CiConAqCommand(board, 2, 0), BFSIM_ERR_NOT_SET_UP) << "a destination is no chain";
}

TEST_F(Objects, QTabRecordsAreLiveOnlyWhileTheRegistrySaysSo)
{
    Fenced buffer(64);
    CiQTab qtab, never, copy;
    std::memset(&never, 0xAB, sizeof never);
    CiQTab *ring[1] = {&qtab};
    EXPECT_EQ(CiRelQTabCreate(board, nullptr, nullptr, 64, 16, &qtab, 3, 4, 3, 2, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiRelQTabCreate(board, nullptr, buffer.data(), 0, 16, &qtab, 3, 4, 3, 2, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiRelQTabCreate(board, nullptr, buffer.data(), 64, 65, &qtab, 3, 4, 3, 2, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiPhysQTabChainEngage(board, ring, 0), BFSIM_ERR_NOT_SET_UP);
    EXPECT_EQ(CiConDMACommand(board, 10, 1, 0, 0), BFSIM_ERR_NOT_SET_UP);
    ASSERT_EQ(CiRelQTabCreate(board, nullptr, buffer.data(), 64, 16, &qtab, 3, 4, 3, 2, 0), 0);
    std::memcpy(&copy, &qtab, sizeof copy);

    const std::vector<std::pair<const char *, std::function<int32_t()>>> steps{
        {"link before physical", [&] { return CiPhysQTabChainLink(board, ring, 1); }},
        {"physical of garbage", [&] { return CiPhysQTabCreate(board, &never, 0); }},
        {"physical of a copy", [&] { return CiPhysQTabCreate(board, &copy, 0); }},
        {"physical", [&] { return CiPhysQTabCreate(board, &qtab, 0); }},
        {"physical twice", [&] { return CiPhysQTabCreate(board, &qtab, 0); }},
        {"relative free while physical", [&] { return CiRelQTabFree(board, &qtab); }},
        {"link none", [&] { return CiPhysQTabChainLink(board, ring, 0); }},
        {"link", [&] { return CiPhysQTabChainLink(board, ring, 1); }},
        {"engage", [&] { return CiPhysQTabChainEngage(board, ring, 0); }},
        {"command before DMA", [&] { return CiConAqCommand(board, 2, 0); }},
        {"physical free", [&] { return CiPhysQTabFree(board, &qtab); }},
        {"physical free twice", [&] { return CiPhysQTabFree(board, &qtab); }},
        {"relative free of garbage", [&] { return CiRelQTabFree(board, &never); }},
        {"relative free of a copy", [&] { return CiRelQTabFree(board, &copy); }},
        {"relative free", [&] { return CiRelQTabFree(board, &qtab); }},
        {"relative free twice", [&] { return CiRelQTabFree(board, &qtab); }},
    };
    const int32_t expected[] = {BFSIM_ERR_NOT_LIVE, BFSIM_ERR_NOT_LIVE, BFSIM_ERR_NOT_LIVE, 0,
                                BFSIM_ERR_BUSY,     BFSIM_ERR_BUSY,     BFSIM_ERR_ARGUMENT, 0,
                                0,                  BFSIM_ERR_NOT_SET_UP, 0,                BFSIM_ERR_NOT_LIVE,
                                BFSIM_ERR_NOT_LIVE, BFSIM_ERR_NOT_LIVE, 0,                  BFSIM_ERR_NOT_LIVE};
    for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i].second(), expected[i]) << steps[i].first;
    EXPECT_EQ(live(BFSIM_OBJ_ALL), 1) << "only the board is left";
    EXPECT_EQ(qortest::takeMisuses(),
              (std::vector<std::string>{"CiPhysQTabChainEngage", "CiConDMACommand",
                                        "CiPhysQTabChainLink", "CiPhysQTabCreate",
                                        "CiPhysQTabCreate", "CiPhysQTabCreate", "CiRelQTabFree",
                                        "CiPhysQTabFree", "CiRelQTabFree", "CiRelQTabFree",
                                        "CiRelQTabFree"}));
}

TEST_F(Objects, SignalRecordsAreLiveOnlyBetweenCreateAndFree)
{
    CiSignal signal, never;
    std::memset(&never, 0x5A, sizeof never);
    EXPECT_EQ(CiSignalCreate(board, 3, &signal), BFSIM_ERR_ARGUMENT) << "only end of frame";
    EXPECT_EQ(CiSignalCreate(board, 4, nullptr), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiSignalWait(board, &never, 0, nullptr), BFSIM_ERR_NOT_LIVE);
    EXPECT_EQ(CiSignalFree(board, &never), BFSIM_ERR_NOT_LIVE);
    ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);
    ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);  // the first one leaks
    EXPECT_EQ(live(BFSIM_OBJ_SIGNALS), 2);
    EXPECT_EQ(CiSignalFree(board, &signal), 0);
    EXPECT_EQ(CiSignalFree(board, &signal), BFSIM_ERR_NOT_LIVE);
    EXPECT_EQ(CiSignalCancel(board, &signal), BFSIM_ERR_NOT_LIVE);
    EXPECT_EQ(live(BFSIM_OBJ_SIGNALS), 1);
    EXPECT_EQ(qortest::takeMisuses(),
              (std::vector<std::string>{"CiSignalWait", "CiSignalFree", "CiSignalCreate",
                                        "CiSignalFree", "CiSignalCancel"}));
}

TEST_F(Objects, ObjectsTheHostNeverReleasedStayCountedAfterCloseUntilReset)
{
    Fenced buffer(64);
    CiQTab qtab;
    CiSignal signal;
    ASSERT_EQ(CiAqSetup(board, buffer.data(), 64, 16, 3, 4, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiRelQTabCreate(board, nullptr, buffer.data(), 64, 16, &qtab, 3, 4, 3, 2, 0), 0);
    ASSERT_EQ(CiPhysQTabCreate(board, &qtab, 0), 0);
    ASSERT_EQ(CiSignalCreate(board, 4, &signal), 0);
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    ASSERT_EQ(CiBrdClose(board), 0);
    for (int kind : {BFSIM_OBJ_DESTINATIONS, BFSIM_OBJ_REL_QTABS, BFSIM_OBJ_PHYS_QTABS, BFSIM_OBJ_SIGNALS})
        EXPECT_EQ(live(kind), 1) << kind;
    EXPECT_EQ(CiRelQTabFree(board, &qtab), BFSIM_ERR_HANDLE) << "the handle died with the board";
    bfsim_reset();
    EXPECT_EQ(live(BFSIM_OBJ_ALL), 0);
}

TEST_F(Objects, UnknownHandlesAndNullOutputsFailWithoutCrashing)
{
    CiBoardHandle stale = reinterpret_cast<CiBoardHandle>(0x1234);
    CiSignal signal;
    CiQTab qtab;
    CiQTab *ring[1] = {&qtab};
    uint32_t out;
    const std::vector<std::function<int32_t(CiBoardHandle)>> calls{
        [&](CiBoardHandle b) { return CiAqSetup(b, &out, 4, 4, 3, 4, 0, 0, 1, 1, 0); },
        [](CiBoardHandle b) { return CiAqCleanUp(b, 0); },
        [](CiBoardHandle b) { return CiAqFrameSize(b, 1, 1, 0); },
        [](CiBoardHandle b) { return CiAqCommand(b, 2, 2, 0, 0); },
        [](CiBoardHandle b) { return CiConAqCommand(b, 2, 0); },
        [](CiBoardHandle b) { return CiAqWaitDone(b, 0); },
        [&](CiBoardHandle b) { return CiAqOverflowCheck(b, &out); },
        [&](CiBoardHandle b) { return CiConAqStatus(b, &out, 0); },
        [&](CiBoardHandle b) { return CiConGetFrameCount(b, &out, 0); },
        [](CiBoardHandle b) { return CiConCTabReset(b); },
        [](CiBoardHandle b) { return CiConSwTrig(b, 1, 17); },
        [](CiBoardHandle b) { return CiConAqMode(b, 3); },
        [](CiBoardHandle b) { return CiConDMACommand(b, 10, 1, 0, 0); },
        [&](CiBoardHandle b) { return CiSignalCreate(b, 4, &signal); },
        [&](CiBoardHandle b) { return CiSignalWait(b, &signal, 0, &out); },
        [&](CiBoardHandle b) { return CiRelQTabCreate(b, nullptr, &out, 4, 4, &qtab, 3, 4, 3, 2, 0); },
        [&](CiBoardHandle b) { return CiPhysQTabChainLink(b, ring, 1); },
        [&](CiBoardHandle b) { return CiRelQTabFree(b, &qtab); },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i](stale), BFSIM_ERR_HANDLE) << "call " << i;
        EXPECT_EQ(calls[i](nullptr), BFSIM_ERR_HANDLE) << "call " << i;
    }
    // Each of them a misuse a real SDK would not survive.
    EXPECT_EQ(qortest::takeMisuses().size(), 2 * calls.size());
    EXPECT_EQ(CiAqOverflowCheck(board, nullptr), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiConAqStatus(board, nullptr, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiConGetFrameCount(board, nullptr, 0), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiPhysQTabChainLink(board, nullptr, 1), BFSIM_ERR_ARGUMENT);
    EXPECT_EQ(CiConAqMode(board, 4), BFSIM_ERR_ARGUMENT);
}

}  // namespace
}  // namespace enginetest
