// The simulated lookup tables: what CiLutWrite stores, the masks of
// CiLutSetMask, and what a pixel becomes through them.
#include <numeric>

#include "sim_core_support.h"

namespace simtest {
namespace {

using LutTest = SimCoreTest;

uint32_t mapped(CiBoardHandle board, uint32_t bank, uint32_t type, uint32_t value)
{
    uint32_t out = 0xDEADBEEF;
    EXPECT_EQ(bfsim_probe_lut(board, bank, type, value, &out), 0);
    return out;
}

std::vector<uint8_t> inverting8()
{
    std::vector<uint8_t> table(256);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(255 - i);
    return table;
}

TEST_F(LutTest, WritesThatCannotBeStoredAreRefused)
{
    const std::vector<uint8_t> table = inverting8();
    const struct {
        const char *why;
        uint32_t type, bank;
        uint8_t lanes;
        uint32_t offset;
        int32_t length;
        const void *entries;
        int32_t result;
    } cases[] = {
        {"zero length", 0, 0, 1, 0, 0, table.data(), BFSIM_ERR_ARGUMENT},
        {"negative length", 0, 0, 1, 0, -256, table.data(), BFSIM_ERR_ARGUMENT},
        {"null entries", 0, 0, 1, 0, 256, nullptr, BFSIM_ERR_ARGUMENT},
        {"LUT type 3", 3, 0, 1, 0, 256, table.data(), BFSIM_ERR_ARGUMENT},
        {"bank 4", 0, 4, 1, 0, 256, table.data(), BFSIM_ERR_ARGUMENT},
        {"no lane", 0, 0, 0, 0, 256, table.data(), BFSIM_ERR_ARGUMENT},
        {"fifth lane", 0, 0, 0x10, 0, 256, table.data(), BFSIM_ERR_ARGUMENT},
        {"offset past the table", 0, 0, 1, 256, 1, table.data(), BFSIM_ERR_ARGUMENT},
        {"all lanes", 0, 0, 0xF, 0, 256, table.data(), 0},
        {"tail at an offset", 0, 0, 1, 255, 1, table.data(), 0},
    };
    CiBoardHandle board = openBoard(kType16);
    for (const auto &c : cases)
        EXPECT_EQ(CiLutWrite(board, c.type, c.bank, c.lanes, c.offset, c.length, c.entries),
                  c.result)
            << c.why;
}

TEST_F(LutTest, ABoardWithoutLutsRefusesTablesAndMasks)
{
    bfsim_set_inquiry(kType16, 0, CI_INQ_BOARD_MODEL, CI_MODEL_NO_LUT);
    CiBoardHandle board = openBoard(kType16);
    const std::vector<uint8_t> table = inverting8();
    uint8_t mask = 0x77;
    EXPECT_EQ(CiLutWrite(board, 0, 0, 1, 0, 256, table.data()), BFSIM_ERR_UNSUPPORTED);
    EXPECT_EQ(CiLutSetMask(board, 10, &mask), BFSIM_ERR_UNSUPPORTED);
    EXPECT_EQ(mask, 0x77);
}

TEST_F(LutTest, AnInvertingTableInvertsPixelsOfItsBankOnly)
{
    CiBoardHandle board = openBoard(kType16);
    const std::vector<uint8_t> table = inverting8();
    EXPECT_EQ(mapped(board, 0, 0, 10), 10u) << "an unwritten table passes values through";
    ASSERT_EQ(CiLutWrite(board, 0, 0, 0xF, 0, 256, table.data()), 0);
    EXPECT_EQ(mapped(board, 0, 0, 0), 255u);
    EXPECT_EQ(mapped(board, 0, 0, 200), 55u);
    EXPECT_EQ(mapped(board, 0, 0, 256 + 1), 254u) << "indexed by the low 8 bits";
    EXPECT_EQ(mapped(board, 4, 0, 200), 200u) << "bank 4 is no LUT";
    EXPECT_EQ(mapped(board, 1, 0, 200), 200u) << "other banks keep their own tables";
    EXPECT_EQ(mapped(board, 0, 1, 200), 200u) << "other types keep their own tables";

    ASSERT_EQ(CiBrdClose(board), 0);
    board = openBoard(kType16);
    EXPECT_EQ(mapped(board, 0, 0, 200), 200u) << "tables do not outlive the open";
}

TEST_F(LutTest, SixteenBitTablesHoldWordsAndLongerTablesFillTheWholeLut)
{
    CiBoardHandle board = openBoard(kType16);
    struct Case {
        uint32_t type, entries;
    } const cases[] = {{1, 4096}, {2, 32768}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<uint16_t> table(c.entries + 100);  // longer than the LUT
        for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint16_t>(0xFFFF - i);
        ASSERT_EQ(CiLutWrite(board, c.type, 0, 3, 0, static_cast<int32_t>(table.size()),
                             table.data()),
                  0);
        EXPECT_EQ(mapped(board, 0, c.type, 0), 0xFFFFu);
        EXPECT_EQ(mapped(board, 0, c.type, c.entries - 1), 0xFFFFu - (c.entries - 1));
        EXPECT_EQ(mapped(board, 0, c.type, c.entries), 0xFFFFu) << "wraps, never reads past";
    }
}

TEST_F(LutTest, MaskTypesFollowTheBitDepthAndKeepItsLowBits)
{
    CiBoardHandle board = openBoard(kType16);
    const struct {
        uint32_t depth;
        int32_t result;
        uint8_t type;
        uint32_t kept;  // what the mask leaves of 0xFFFFFF
    } cases[] = {
        {8, 0, BFSIM_MASK_NONE, 0xFFFFFF}, {10, 0, BFSIM_MASK_10_BITS, 0x3FF},
        {12, 0, BFSIM_MASK_12_BITS, 0xFFF}, {14, 0, BFSIM_MASK_14_BITS, 0x3FFF},
        {16, 0, BFSIM_MASK_16_BITS, 0xFFFF}, {9, BFSIM_ERR_ARGUMENT, 0xEE, 0},
        {0, BFSIM_ERR_ARGUMENT, 0xEE, 0},   {32, BFSIM_ERR_ARGUMENT, 0xEE, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.depth);
        uint8_t type = 0xEE;
        EXPECT_EQ(CiLutSetMask(board, c.depth, &type), c.result);
        EXPECT_EQ(type, c.type);
        if (c.result == 0) {
            EXPECT_EQ(mapped(board, 0, type, 0xFFFFFF), c.kept);
            EXPECT_EQ(mapped(board, 4, type, 0xFFFFFF), 0xFFFFFFu) << "not without bank 0";
        }
    }
    EXPECT_EQ(CiLutSetMask(board, 10, nullptr), BFSIM_ERR_ARGUMENT);
}

}  // namespace
}  // namespace simtest
