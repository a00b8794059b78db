// Opening, describing, selecting and closing boards against the simulator.
#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

using qortest::addr;
using qortest::Call;
using qortest::kAny;

class OpenClose : public qortest::SimTest {};

struct Geometry {
    uint32_t depth = 0, bpp = 0, width = 0, lines = 0;
};

int32_t openBoard(int32_t family, uint32_t number, int32_t *slot, Geometry *g = nullptr)
{
    Geometry scratch;
    if (g == nullptr) g = &scratch;
    return BF_Open(nullptr, &g->depth, &g->bpp, &g->width, &g->lines, number, family, slot);
}

TEST_F(OpenClose, OpenMakesTheDocumentedCallsInOrder)
{
    Geometry g;
    int32_t slot = -5;
    ASSERT_EQ(openBoard(BF_FAMILY_16, 0, &slot, &g), BF_OK);
    ASSERT_EQ(slot, 0);
    const qor::BoardSlot &s = qor::boardSlots[0];
    const int64_t h = board(0);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiSysBrdEnum", {16, kAny}},
        {"CiSysBrdEnum", {32, kAny}},
        {"CiSysBrdEnum", {64, kAny}},
        {"CiSysBrdEnum", {208, kAny}},
        {"CiSysBrdFind", {16, 0, addr(&s.boardEntry)}},
        {"CiBrdOpen", {addr(&s.boardEntry), kAny, 65}},
        {"BFQTabModeRequest", {h, 1, kAny}},
        {"CiConInt", {h, 2, 1}},
        {"CiBrdInquire", {h, 0x10007, addr(&s.inq10007)}},
        {"CiBrdInquire", {h, 0x10004, addr(&g.depth)}},
        {"CiBrdInquire", {h, 0x10005, addr(&g.bpp)}},
        {"CiBrdInquire", {h, 0x10001, addr(&g.width)}},
        {"CiBrdInquire", {h, 0x10002, addr(&g.lines)}},
        {"CiBrdInquire", {h, 0x10003, kAny}},
        {"CiConVTrigModeGet", {h, addr(&s.vtrigMode), addr(&s.vtrigParams[0]),
                               addr(&s.vtrigParams[1]), addr(&s.vtrigParams[2])}},
    }));
    EXPECT_EQ(g.depth, 8u);
    EXPECT_EQ(g.bpp, 1u);
    EXPECT_EQ(g.width, 640u);
    EXPECT_EQ(g.lines, 480u);
    EXPECT_EQ(qor::openCount, 1);
    EXPECT_EQ(s.inq10003, 2u);
    EXPECT_EQ(s.lutBank, qor::kNoLutBank);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 1);
}

TEST_F(OpenClose, FamilySelectsTheBoardTypeOrFails)
{
    struct Case {
        const char *population;  // null: the default, one board of each type
        int32_t family;
        uint32_t number;
        int32_t status;
        int64_t typeFound;  // 0: CiSysBrdFind is not called
    };
    const char *only16 = R"({"boards": [{"type": 16}, {"type": 32}]})";
    const Case cases[] = {
        {nullptr, BF_FAMILY_208, 0, BF_OK, 208}, {nullptr, BF_FAMILY_16, 0, BF_OK, 16},
        {nullptr, BF_FAMILY_32, 0, BF_OK, 32},   {nullptr, BF_FAMILY_64, 0, BF_OK, 64},
        {nullptr, 4, 0, BF_E_NO_BOARD, 0},       {nullptr, -1, 0, BF_E_NO_BOARD, 0},
        {nullptr, BF_FAMILY_16, 1, BF_E_NO_BOARD, 16},
        {only16, BF_FAMILY_208, 0, BF_E_NO_BOARD, 0},
        {only16, BF_FAMILY_64, 0, BF_E_NO_BOARD, 0},
    };
    for (const Case &c : cases) {
        SetUp();
        if (c.population != nullptr) loadConfig(c.population);
        int32_t slot = 77;
        EXPECT_EQ(openBoard(c.family, c.number, &slot), c.status) << c.family;
        EXPECT_EQ(slot, c.status == BF_OK ? 0 : -1);
        EXPECT_EQ(qor::openCount, c.status == BF_OK ? 1 : 0);
        const auto finds = qortest::journalOf({"CiSysBrdFind"});
        ASSERT_EQ(finds.size(), c.typeFound != 0 ? 1u : 0u) << c.family;
        if (c.typeFound != 0) {
            EXPECT_EQ(finds[0].args[0], c.typeFound);
        }
        if (c.status != BF_OK) {
            EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 0);
        }
    }
}

TEST_F(OpenClose, RefusedFindOrOpenLeavesNothingOpen)
{
    struct Case {
        const char *function;
        int32_t status;
    } cases[] = {{"CiSysBrdFind", BF_E_NO_BOARD}, {"CiBrdOpen", BF_E_OPEN_FAILED}};
    for (const Case &c : cases) {
        SetUp();
        bfsim_fault(c.function, 1, 0, 9);
        int32_t slot = 3;
        EXPECT_EQ(openBoard(BF_FAMILY_32, 0, &slot), c.status) << c.function;
        EXPECT_EQ(slot, -1);
        EXPECT_EQ(qor::openCount, 0);
        EXPECT_EQ(qor::boardSlots[0].board, nullptr);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 0);
        EXPECT_EQ(qortest::journalOf({"BFQTabModeRequest", "CiBrdInquire"}).size(), 0u);
    }
}

TEST_F(OpenClose, UntestedFailuresStillOpenTheBoard)
{
    for (const char *function : {"BFQTabModeRequest", "CiConInt", "CiBrdInquire",
                                 "CiConVTrigModeGet"}) {
        SetUp();
        bfsim_fault(function, 1, 1, 9);
        int32_t slot = -1;
        EXPECT_EQ(openBoard(BF_FAMILY_16, 0, &slot), BF_OK) << function;
        EXPECT_EQ(slot, 0);
    }
}

TEST_F(OpenClose, CameraModeIsKeptOnlyWhenTwo)
{
    for (uint32_t answer : {2u, 0u, 1u, 3u, 0xFFFFFFFFu}) {
        SetUp();
        qor::boardSlots[0].inq10003 = 2;  // a stale value must not survive
        bfsim_set_inquiry(16, 0, 0x10003, answer);
        open();
        EXPECT_EQ(qor::boardSlots[0].inq10003, answer == 2 ? 2u : 0u) << answer;
    }
}

TEST_F(OpenClose, FirstOpenResetsFlagsButNotRecords)
{
    qor::slotCount = 3;
    for (qor::BoardSlot &s : qor::boardSlots) {
        s.destination = &s;
        s.board = &s;
        s.overflowResets = s.extTrigger = s.bufferAllocated = s.grabActive = 7;
        s.chainActive = 1;
        s.lutType = 5;
        s.lutBank = 0;
        s.vtrigParams[0] = 9;
        s.boardEntry.opaque[7] = 11;
    }
    qor::bufferSets[1].count = 4;
    int32_t slot = -1;
    ASSERT_EQ(openBoard(BF_FAMILY_16, 0, &slot), BF_OK);
    EXPECT_EQ(slot, 0);
    for (int i = 0; i < qor::kSlotTableSize; ++i) {
        const qor::BoardSlot &s = qor::boardSlots[i];
        const bool reset = i < 3;
        EXPECT_EQ(s.destination == nullptr, reset) << i;
        EXPECT_EQ(s.board == nullptr, i == 1 || i == 2) << i;
        EXPECT_EQ(s.overflowResets, reset ? 0u : 7u) << i;
        EXPECT_EQ(s.extTrigger + s.bufferAllocated + s.grabActive + s.chainActive,
                  reset ? 0 : 22) << i;
        EXPECT_EQ(s.lutBank, reset ? qor::kNoLutBank : 0) << i;
        EXPECT_EQ(s.lutType, reset ? 0 : 5) << i;
        EXPECT_EQ(s.vtrigParams[0], i == 0 ? 0u : 9u) << i;  // slot 0 was read afresh
        if (i != 0) {
            EXPECT_EQ(s.boardEntry.opaque[7], 11u) << i;
        }
    }
    EXPECT_EQ(qor::bufferSets[1].count, 4);
    for (qor::BoardSlot &s : qor::boardSlots) if (&s != &qor::boardSlots[0]) s.board = nullptr;
}

TEST_F(OpenClose, ReopeningWhileAnotherBoardIsOpenKeepsTheSlotsState)
{
    open(BF_FAMILY_16);
    open(BF_FAMILY_32);
    qor::boardSlots[1].overflowResets = 3;
    qor::boardSlots[4].extTrigger = 1;
    ASSERT_EQ(BF_Close(1), BF_OK);
    EXPECT_EQ(open(BF_FAMILY_32), 1);
    EXPECT_EQ(qor::boardSlots[1].overflowResets, 3u);
    EXPECT_EQ(qor::boardSlots[4].extTrigger, 1);
    ASSERT_EQ(BF_Close(1), BF_OK);
    ASSERT_EQ(BF_Close(0), BF_OK);
    EXPECT_EQ(open(BF_FAMILY_32), 0);  // none open: the first-open reset runs
    EXPECT_EQ(qor::boardSlots[1].overflowResets, 0u);
    EXPECT_EQ(qor::boardSlots[4].extTrigger, 0);
}

TEST_F(OpenClose, SlotsAreNumberedByOpensAndNeverReused)
{
    loadConfig(R"({"boards": [{"type":16},{"type":16},{"type":16},{"type":16},{"type":16},
        {"type":16},{"type":16},{"type":16},{"type":16},{"type":16},{"type":16}]})");
    for (uint32_t n = 0; n < 3; ++n) {
        EXPECT_EQ(open(BF_FAMILY_16, n), static_cast<int32_t>(n));
    }
    ASSERT_EQ(BF_Close(2), BF_OK);
    EXPECT_EQ(open(BF_FAMILY_16, 2), 2);  // reverse order: the slot named by the count
    ASSERT_EQ(BF_Close(0), BF_OK);        // out of order: the lowest free slot
    EXPECT_EQ(qor::openCount, 2);
    EXPECT_EQ(open(BF_FAMILY_16, 0), 0);
    for (uint32_t n = 3; n < 10; ++n) {
        EXPECT_EQ(open(BF_FAMILY_16, n), static_cast<int32_t>(n));
    }

    int32_t slot = 5;
    EXPECT_EQ(openBoard(BF_FAMILY_16, 10, &slot), BF_E_OPEN_FAILED);
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(qortest::journalOf({"CiSysBrdFind", "CiBrdOpen"}).size(), 0u);
    EXPECT_EQ(qor::openCount, 10);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 10);
}

TEST_F(OpenClose, NullOutputsAreNotWrittenAndNeverReachTheSdk)
{
    ASSERT_EQ(BF_Open(nullptr, nullptr, nullptr, nullptr, nullptr, 0, BF_FAMILY_16, nullptr),
              BF_OK);
    EXPECT_EQ(BF_Open(nullptr, nullptr, nullptr, nullptr, nullptr, 0, 9, nullptr),
              BF_E_NO_BOARD);
    EXPECT_EQ(BF_ImageInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0), BF_OK);
    for (const Call &call : qortest::journalOf({"CiBrdInquire"})) {
        EXPECT_NE(call.args[2], 0);
    }
}

TEST_F(OpenClose, ImageInfoAsksTheBoardAfresh)
{
    open();
    int marker = 0;
    qor::boardSlots[0].destination = &marker;
    bfsim_set_inquiry(16, 0, 0x10001, 1234);
    uint32_t info = 1, depth = 1, bpp = 1, width = 1, lines = 1;
    void *dest = nullptr;
    ASSERT_EQ(BF_ImageInfo(&info, &depth, &bpp, &width, &lines, &dest, 0), BF_OK);
    const int64_t h = board(0);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {
        {"CiBrdInquire", {h, 0x10007, addr(&info)}},
        {"CiBrdInquire", {h, 0x10004, addr(&depth)}},
        {"CiBrdInquire", {h, 0x10005, addr(&bpp)}},
        {"CiBrdInquire", {h, 0x10001, addr(&width)}},
        {"CiBrdInquire", {h, 0x10002, addr(&lines)}},
    }));
    EXPECT_EQ(dest, &marker);
    EXPECT_EQ(width, 1234u);
    qor::boardSlots[0].destination = nullptr;
    ASSERT_EQ(BF_ImageInfo(&info, &depth, &bpp, &width, &lines, &dest, 0), BF_OK);
    EXPECT_EQ(dest, nullptr);
}

TEST_F(OpenClose, SelectCameraRefusesOnlyWhileADestinationIsRegistered)
{
    struct Case {
        bool destination;
        int32_t chainActive;
        uint32_t camera;
        int32_t status;
        uint32_t info;  // inq10007 afterwards
    } cases[] = {
        {false, 0, 1, BF_OK, 6},
        {true, 0, 1, BF_E_DESTINATION_ACTIVE, 5},
        {true, 1, 1, BF_OK, 6},
        {false, 1, 1, BF_OK, 6},
        {false, 0, 7, BF_E_CAMERA_SELECT, 5},
    };
    for (const Case &c : cases) {
        SetUp();
        loadConfig(R"({"boards": [{"type": 16, "cameras": [{"cameraInfo": 5},
            {"cameraInfo": 6, "width": 320}]}]})");
        open();
        int marker = 0;
        qor::boardSlots[0].destination = c.destination ? &marker : nullptr;
        qor::boardSlots[0].chainActive = c.chainActive;
        EXPECT_EQ(BF_SelectCamera(c.camera, 0), c.status);
        EXPECT_EQ(qor::boardSlots[0].inq10007, c.info);
        const auto calls = qortest::journal();
        if (c.status == BF_E_DESTINATION_ACTIVE) {
            EXPECT_TRUE(calls.empty());
        }
        if (c.status == BF_OK) {
            EXPECT_TRUE(qortest::callsMatch(calls, {{"CiBrdCamSel", {board(0), 1, 1}},
                                                    {"CiBrdInquire", {board(0), 0x10007, kAny}}}));
            uint32_t width = 0;
            BF_ImageInfo(nullptr, nullptr, nullptr, &width, nullptr, nullptr, 0);
            EXPECT_EQ(width, 320u);
        }
        qor::boardSlots[0].destination = nullptr;
    }
}

TEST_F(OpenClose, CloseReleasesWhatTheSlotHoldsThenTheBoard)
{
    open();
    const int64_t h = board(0);
    qor::boardSlots[0].overflowResets = 4;
    qor::boardSlots[0].chainActive = 1;
    bfsim_fault("CiBrdClose", 1, 0, 9);
    // The chain is stopped and released as BF_Stop and BF_BufferCleanup
    // would, even though the board then refuses to close; no signal was
    // ever created, so none is cancelled or freed.
    EXPECT_EQ(BF_Close(0), BF_E_CLOSE);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(),
                                    {{"CiConAqCommand", {h, 1, 0}},
                                     {"CiAqCleanUp", {h, 0}},
                                     {"CiBrdClose", {h}}}));
    EXPECT_NE(qor::boardSlots[0].board, nullptr);
    EXPECT_EQ(qor::boardSlots[0].chainActive, 0);
    EXPECT_EQ(qor::openCount, 1);
    bfsim_journal_clear();
    EXPECT_EQ(BF_Close(0), BF_OK);
    EXPECT_TRUE(qortest::callsMatch(qortest::journal(), {{"CiBrdClose", {h}}}));
    EXPECT_EQ(qor::boardSlots[0].board, nullptr);
    EXPECT_EQ(qor::boardSlots[0].overflowResets, 4u);
    EXPECT_EQ(qor::openCount, 0);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 0);
    EXPECT_EQ(BF_Close(0), BF_E_SLOT_NOT_OPEN);
}

}  // namespace
