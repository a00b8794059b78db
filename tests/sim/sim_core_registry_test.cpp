// The simulated board registry: enumeration, opening and closing, handles
// it did not issue, camera switching, live counts and ticks.
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "sim_core_support.h"

namespace simtest {
namespace {

using RegistryTest = SimCoreTest;

TEST_F(RegistryTest, FindFailsPastTheLastBoardOfAType)
{
    CiBoardEntry entry{};
    EXPECT_EQ(CiSysBrdFind(kType16, 0, &entry), 0);
    EXPECT_NE(CiSysBrdFind(kType16, 1, &entry), 0);
    EXPECT_NE(CiSysBrdFind(17, 0, &entry), 0);
    EXPECT_NE(CiSysBrdFind(kType16, 0, nullptr), 0);
    EXPECT_NE(CiSysBrdEnum(kType16, nullptr), 0);
}

TEST_F(RegistryTest, ABoardOpensOnceAndEveryOpenIssuesAFreshHandle)
{
    CiBoardEntry entry{};
    ASSERT_EQ(CiSysBrdFind(kType16, 0, &entry), 0);
    CiBoardHandle first = nullptr, again = reinterpret_cast<CiBoardHandle>(0x1);
    ASSERT_EQ(CiBrdOpen(&entry, &first, 65), 0);
    EXPECT_EQ(CiBrdOpen(&entry, &again, 65), BFSIM_ERR_BUSY);
    EXPECT_EQ(again, reinterpret_cast<CiBoardHandle>(0x1)) << "a refused open writes no handle";

    ASSERT_EQ(CiBrdClose(first), 0);
    EXPECT_NE(CiBrdClose(first), 0) << "closed handle";
    CiBoardHandle second = nullptr;
    ASSERT_EQ(CiBrdOpen(&entry, &second, 65), 0);
    EXPECT_NE(second, first);
    uint32_t width = 0;
    EXPECT_NE(CiBrdInquire(first, CI_INQ_WIDTH, &width), 0) << "stale handle of the same board";
    EXPECT_EQ(qortest::takeMisuses(), (std::vector<std::string>{"CiBrdClose", "CiBrdInquire"}));
    EXPECT_EQ(CiBrdClose(second), 0);
}

TEST_F(RegistryTest, EntryRecordsNotFilledByFindAreRefused)
{
    CiBoardEntry garbage{};
    garbage.opaque[0] = 0x1234;
    CiBoardHandle handle = nullptr;
    EXPECT_NE(CiBrdOpen(&garbage, &handle, 65), 0);
    EXPECT_NE(CiBrdOpen(nullptr, &handle, 65), 0);
    CiBoardEntry entry{};
    ASSERT_EQ(CiSysBrdFind(kType16, 0, &entry), 0);
    EXPECT_NE(CiBrdOpen(&entry, nullptr, 65), 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 0) << "no board opened without a handle out";
}

// Every function of the registry and the controls, given a handle that the
// simulator never issued (or issued and took back), fails without writing.
TEST_F(RegistryTest, HandlesNotIssuedFailEverywhere)
{
    CiBoardHandle closed = openBoard(kType208);
    ASSERT_EQ(CiBrdClose(closed), 0);
    uint32_t canary = 0xC0FFEE;
    uint8_t mask = 0x5A;
    CiCameraConfig config = nullptr;
    const uint8_t table[256] = {};
    char name[64] = "untouched";
    const std::pair<const char *, std::function<int64_t(CiBoardHandle)>> calls[] = {
        {"CiBrdClose", [](CiBoardHandle h) { return CiBrdClose(h); }},
        {"CiBrdInquire", [&](CiBoardHandle h) { return CiBrdInquire(h, CI_INQ_WIDTH, &canary); }},
        {"CiBrdCamSel", [](CiBoardHandle h) { return CiBrdCamSel(h, 0, 1); }},
        {"CiBrdCamGetCur", [&](CiBoardHandle h) { return CiBrdCamGetCur(h, &config); }},
        {"CiConInt", [](CiBoardHandle h) { return CiConInt(h, 2, 1); }},
        {"CiConVTrigModeGet",
         [&](CiBoardHandle h) { return CiConVTrigModeGet(h, &canary, &canary, &canary, &canary); }},
        {"CiConVTrigModeSet", [](CiBoardHandle h) { return CiConVTrigModeSet(h, 0, 0, 0, 0); }},
        {"CiConExTrigConnect", [](CiBoardHandle h) { return CiConExTrigConnect(h, 1, 19); }},
        {"CiLutWrite", [&](CiBoardHandle h) { return CiLutWrite(h, 0, 0, 1, 0, 256, table); }},
        {"CiLutSetMask", [&](CiBoardHandle h) { return CiLutSetMask(h, 8, &mask); }},
        {"CiConExposureControlSet",
         [](CiBoardHandle h) { return CiConExposureControlSet(h, 10, 1, 0, 0, 1); }},
        {"CiEncoderDividerSet", [](CiBoardHandle h) { return CiEncoderDividerSet(h, 2, 0, 0, 0); }},
        {"CiRegGPOutGet", [&](CiBoardHandle h) { return CiRegGPOutGet(h, &canary); }},
        {"CiRegGPOutSet", [](CiBoardHandle h) { return CiRegGPOutSet(h, 1, 1); }},
        {"BFQTabModeRequest", [&](CiBoardHandle h) { return BFQTabModeRequest(h, 1, &canary); }},
        {"BFIsR64", [](CiBoardHandle h) { return BFIsR64(h); }},
        {"BFIsGn2", [](CiBoardHandle h) { return BFIsGn2(h); }},
        {"BFRegSupported", [](CiBoardHandle h) { return BFRegSupported(h, BFSIM_REG_GAIN); }},
        {"BFRegPeek", [](CiBoardHandle h) { return BFRegPeek(h, BFSIM_REG_SCRATCH); }},
        {"BFRegPoke", [](CiBoardHandle h) { return BFRegPoke(h, BFSIM_REG_GAIN, 1); }},
        {"BFRegName", [&](CiBoardHandle h) { return BFRegName(h, BFSIM_REG_GAIN, name, 64); }},
    };
    const CiBoardHandle notIssued[] = {nullptr, closed, reinterpret_cast<CiBoardHandle>(&canary)};
    for (CiBoardHandle handle : notIssued)
        for (const auto &[function, call] : calls) {
            SCOPED_TRACE(function);
            const bool answersValue = std::string(function).rfind("BFIs", 0) == 0 ||
                                      std::string(function) == "BFRegSupported" ||
                                      std::string(function) == "BFRegPeek";
            if (answersValue)
                EXPECT_EQ(call(handle), 0);
            else
                EXPECT_NE(call(handle), 0);
        }
    // Every call on a handle not issued is a misuse, recorded as such.
    const std::vector<std::string> misused = qortest::takeMisuses();
    EXPECT_EQ(misused.size(), std::size(notIssued) * std::size(calls));
    EXPECT_EQ(canary, 0xC0FFEEu);
    EXPECT_EQ(mask, 0x5A);
    EXPECT_EQ(config, nullptr);
    EXPECT_STREQ(name, "untouched");
}

TEST_F(RegistryTest, SwitchingCamerasChangesTheInquiriesUntilReopen)
{
    CiBoardHandle board = openBoard(kType32);
    CiCameraConfig first = nullptr, second = nullptr;
    ASSERT_EQ(CiBrdCamGetCur(board, &first), 0);
    ASSERT_EQ(CiBrdCamSel(board, 1, 1), 0);
    EXPECT_EQ(inquiry(board, CI_INQ_WIDTH), 1024u);
    EXPECT_EQ(inquiry(board, CI_INQ_LINES), 768u);
    EXPECT_EQ(inquiry(board, CI_INQ_BIT_DEPTH), 12u);
    EXPECT_EQ(inquiry(board, CI_INQ_BYTES_PER_PIXEL), 2u);
    ASSERT_EQ(CiBrdCamGetCur(board, &second), 0);
    EXPECT_NE(first, second);

    EXPECT_EQ(CiBrdCamSel(board, 2, 1), BFSIM_ERR_NOT_FOUND);
    EXPECT_EQ(inquiry(board, CI_INQ_WIDTH), 1024u) << "a refused switch keeps the camera";

    ASSERT_EQ(CiBrdClose(board), 0);
    board = openBoard(kType32);
    EXPECT_EQ(inquiry(board, CI_INQ_WIDTH), 640u) << "every open starts on camera 0";
}

TEST_F(RegistryTest, UnknownInquiriesAndNullOutputsFail)
{
    CiBoardHandle board = openBoard(kType16);
    uint32_t value = 77;
    EXPECT_EQ(CiBrdInquire(board, 0x10099, &value), BFSIM_ERR_NOT_FOUND);
    EXPECT_EQ(value, 77u);
    EXPECT_NE(CiBrdInquire(board, CI_INQ_WIDTH, nullptr), 0);
    EXPECT_NE(CiBrdCamGetCur(board, nullptr), 0);
    // Outputs a caller does not want may be left out.
    uint32_t mode = 99;
    EXPECT_EQ(CiConVTrigModeGet(board, &mode, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(mode, 0u);
    EXPECT_EQ(BFQTabModeRequest(board, 1, nullptr), 0);
}

TEST_F(RegistryTest, LiveCountFollowsOpensClosesAndReset)
{
    CiBoardHandle a = openBoard(kType16);
    openBoard(kType64);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 2);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 2);
    ASSERT_EQ(CiBrdClose(a), 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 1);
    bfsim_reset();
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    CiBoardEntry entry{};
    CiBoardHandle again = nullptr;
    ASSERT_EQ(CiSysBrdFind(kType64, 0, &entry), 0);
    EXPECT_EQ(CiBrdOpen(&entry, &again, 65), 0) << "reset closed the board";
}

TEST_F(RegistryTest, TicksMeasureMillisecondsOfTheMonotonicClock)
{
    BFTickStamp start{}, end{};
    EXPECT_EQ(BFTick(&start), &start);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    BFTick(&end);
    const uint32_t elapsed = BFTickDelta(&start, &end);
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(BFTickDelta(&end, &start), 0u) << "stamps in the wrong order";
    EXPECT_EQ(BFTickDelta(nullptr, &end), 0u);
    EXPECT_EQ(BFTick(nullptr), nullptr);
}

}  // namespace
}  // namespace simtest
