// The simulated register file behind BFRegSupported, BFRegPeek, BFRegPoke
// and BFRegName.
#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "sim_core_support.h"

namespace simtest {
namespace {

using RegisterTest = SimCoreTest;

const uint32_t kGn2Registers[] = {BFSIM_REG_GN2_ACQ_CONTROL, BFSIM_REG_GN2_SYNC_SOURCE,
                                  BFSIM_REG_GN2_SYNC_ENABLE, BFSIM_REG_GN2_CONTINUOUS};
const uint32_t kEveryBoardsGrabRegisters[] = {BFSIM_REG_ENGINE_MODE, BFSIM_REG_CTAB_CONTROL};

TEST_F(RegisterTest, GrabRegistersExistOnGn2BoardsAndHoldWhatWasWritten)
{
    for (uint32_t type : {kType16, kType32, kType64, kType208}) {
        SCOPED_TRACE(type);
        CiBoardHandle board = openBoard(type);
        for (uint32_t id : kGn2Registers) {
            EXPECT_EQ(BFRegSupported(board, id), type == kType208 ? 1 : 0) << id;
            EXPECT_EQ(BFRegPoke(board, id, id * 3), type == kType208 ? 0 : BFSIM_ERR_NOT_FOUND);
            EXPECT_EQ(BFRegPeek(board, id), type == kType208 ? id * 3 : 0u);
        }
        for (uint32_t id : kEveryBoardsGrabRegisters) {
            ASSERT_EQ(BFRegPoke(board, id, 0xABC0 + id), 0) << id;
            EXPECT_EQ(BFRegPeek(board, id), 0xABC0 + id);
        }
    }
}

TEST_F(RegisterTest, RegistersStartAtTheirDefaultsOnEveryOpen)
{
    CiBoardHandle board = openBoard(kType32);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_SCRATCH), BFSIM_SCRATCH_VALUE);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_GAIN), BFSIM_GAIN_VALUE);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_FPGA_VERSION), BFSIM_FPGA_VERSION_VALUE);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_BOARD_ID), 32u << 16);
    ASSERT_EQ(BFRegPoke(board, BFSIM_REG_SCRATCH, 7), 0);
    ASSERT_EQ(CiBrdClose(board), 0);
    board = openBoard(kType32);
    EXPECT_EQ(BFRegPeek(board, BFSIM_REG_SCRATCH), BFSIM_SCRATCH_VALUE);
}

TEST_F(RegisterTest, ReadOnlyAndMissingRegistersRefuseWritesAndKeepTheirValues)
{
    CiBoardHandle board = openBoard(kType16);
    const struct {
        uint32_t id;
        int32_t result;
    } cases[] = {
        {BFSIM_REG_BOARD_ID, BFSIM_ERR_READ_ONLY},
        {BFSIM_REG_FPGA_VERSION, BFSIM_ERR_READ_ONLY},
        {BFSIM_REG_EXTENDED_STATUS, BFSIM_ERR_READ_ONLY},
        {BFSIM_REG_UNSUPPORTED, BFSIM_ERR_NOT_FOUND},
        {4001, BFSIM_ERR_NOT_FOUND},
        {BFSIM_REG_EXTENDED_SCRATCH, 0},
    };
    for (const auto &c : cases) {
        const uint32_t before = BFRegPeek(board, c.id);
        EXPECT_EQ(BFRegPoke(board, c.id, before + 1), c.result) << c.id;
        EXPECT_EQ(BFRegPeek(board, c.id), c.result == 0 ? before + 1 : before) << c.id;
    }
}

TEST_F(RegisterTest, NamesAreWrittenOnlyWhenTheyFitWithTheirZeroByte)
{
    CiBoardHandle board = openBoard(kType16);
    const struct {
        uint32_t id;
        const char *name;
    } cases[] = {
        {BFSIM_REG_GAIN, BFSIM_REG_GAIN_NAME},
        {BFSIM_REG_PULSE_WIDTH, BFSIM_REG_PULSE_WIDTH_NAME},
        {BFSIM_REG_BAUD_DIVIDER, BFSIM_REG_BAUD_DIVIDER_NAME},
        {BFSIM_REG_CLOCK_DETECT, BFSIM_REG_CLOCK_DETECT_NAME},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t fits = static_cast<uint32_t>(std::strlen(c.name) + 1);
        char text[64];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(BFRegName(board, c.id, text, fits - 1), BFSIM_ERR_ARGUMENT);
        EXPECT_EQ(text[0], '#') << "nothing written when it does not fit";
        EXPECT_EQ(BFRegName(board, c.id, text, fits), 0);
        EXPECT_STREQ(text, c.name);
        EXPECT_EQ(text[fits], '#') << "nothing written past the name";
    }
    char text[64];
    EXPECT_EQ(BFRegName(board, BFSIM_REG_UNSUPPORTED, text, sizeof text), BFSIM_ERR_NOT_FOUND);
    EXPECT_EQ(BFRegName(board, BFSIM_REG_GAIN, nullptr, 64), BFSIM_ERR_ARGUMENT);
}

// The register map a name search depends on: sparse, readable names, the
// case-twins, long names in and beyond the searched ids.
TEST_F(RegisterTest, RegisterMapHasTheShapeNameSearchesNeed)
{
    CiBoardHandle board = openBoard(kType208);
    std::map<std::string, std::vector<uint32_t>> idsByUpperName;
    uint32_t supported = 0, highest = 0;
    size_t longestSearched = 0;
    for (uint32_t id = 0; id <= 5000; ++id) {
        if (!BFRegSupported(board, id)) continue;
        ++supported;
        highest = id;
        char name[64] = {};
        ASSERT_EQ(BFRegName(board, id, name, sizeof name), 0) << id;
        std::string upper(name);
        for (char &ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        idsByUpperName[upper].push_back(id);
        if (id < 3445) longestSearched = std::max(longestSearched, std::strlen(name));
    }
    EXPECT_GT(supported, 20u);
    EXPECT_LT(supported, 100u) << "sparse";
    EXPECT_EQ(highest, 4000u);
    EXPECT_GE(longestSearched, 32u) << "a name that does not fit 32 bytes, below 3445";
    EXPECT_EQ(idsByUpperName["GAIN"], (std::vector<uint32_t>{BFSIM_REG_GAIN, BFSIM_REG_GAIN_FINE}));
    EXPECT_EQ(idsByUpperName["SCRATCH"],
              (std::vector<uint32_t>{BFSIM_REG_SCRATCH, BFSIM_REG_SCRATCH_ALT}));
    for (const auto &[name, ids] : idsByUpperName) {
        const bool caseTwins = name == "GAIN" || name == "SCRATCH";
        EXPECT_EQ(ids.size(), caseTwins ? 2u : 1u) << name;
    }
    EXPECT_TRUE(BFRegSupported(board, BFSIM_REG_DEBUG_COUNTER));
    EXPECT_TRUE(BFRegSupported(board, BFSIM_REG_EXTENDED_CONTROL));
}

}  // namespace
}  // namespace simtest
