/*
 * What lands in the host's memory: the pattern pixel for pixel, in every
 * geometry, through a LUT, into a chain in ring order, never past the
 * registered size and never after the host was told capture has stopped.
 */
#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

constexpr uint32_t kNoLut = 4;

struct SnapCase {
    const char *name;
    uint32_t width, lines, bytesPerPixel, bitDepth;
    uint32_t stride;                    // host's bytes per line
    uint32_t windowWidth, windowLines;  // 0: no CiAqFrameSize
};

class SnapPattern : public EngineTest, public ::testing::WithParamInterface<SnapCase> {};

TEST_P(SnapPattern, TwoSnapsLandPixelExactWithTheirFrameNumbers)
{
    const SnapCase &c = GetParam();
    openBoard(population(R"("framePeriodMs":2,"width":)" + std::to_string(c.width) + R"(,"lines":)" +
                         std::to_string(c.lines) + R"(,"bytesPerPixel":)" + std::to_string(c.bytesPerPixel) +
                         R"(,"bitDepth":)" + std::to_string(c.bitDepth)));
    if (c.windowWidth) {
        ASSERT_EQ(CiAqFrameSize(board, c.windowWidth, c.windowLines, 0), 0);
    }
    const uint32_t lines = c.windowLines ? c.windowLines : c.lines;
    Fenced buffer(size_t(c.stride) * c.lines);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), uint32_t(buffer.size), int32_t(c.stride), 3, kNoLut, 0, 0, 1, 1, 0), 0);
    const Geometry acquired{c.windowWidth ? c.windowWidth : c.width, lines, c.bytesPerPixel, c.bitDepth, c.stride};

    for (uint32_t f = 0; f < 2; ++f) {
        ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
        ASSERT_EQ(CiAqWaitDone(board, 0), 0);
        EXPECT_TRUE(frameIs(buffer.data(), acquired, f));
    }
    // Lines below the window are never written.
    for (size_t b = size_t(c.stride) * lines; b < buffer.size; ++b) ASSERT_EQ(buffer.data()[b], kPoison) << b;
    EXPECT_TRUE(buffer.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, SnapPattern,
    ::testing::Values(SnapCase{"P1_8bit_wraps", 300, 4, 1, 8, 300, 0, 0},
                      SnapCase{"P2_12bit", 16, 5, 2, 12, 32, 0, 0},
                      SnapCase{"P2_stride_past_width", 16, 5, 2, 10, 40, 0, 0},
                      SnapCase{"P4_stamp_is_pixel_0", 8, 3, 4, 32, 32, 0, 0},
                      SnapCase{"P1_window", 16, 6, 1, 8, 16, 10, 4},
                      SnapCase{"P2_window_and_wide_stride", 16, 6, 2, 16, 48, 5, 2}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, CameraWiderThanTheHostsLinesIsCutToTheStride)
{
    openBoard(population(R"("framePeriodMs":2,"width":16,"lines":4)"));
    // Room past the last line, which the last line must not spill into.
    Fenced buffer(8 * 4 + 16);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), uint32_t(buffer.size), 8, 3, kNoLut, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
    ASSERT_EQ(CiAqWaitDone(board, 0), 0);
    EXPECT_TRUE(frameIs(buffer.data(), Geometry{8, 4, 1, 8, 8}, 0));
    for (size_t b = 32; b < buffer.size; ++b) EXPECT_EQ(buffer.data()[b], kPoison) << b;
    EXPECT_TRUE(buffer.guardsIntact());
}

TEST_F(EngineTest, WindowGrownAfterSetUpStopsAtTheRegisteredSize)
{
    openBoard(population(R"("framePeriodMs":2,"width":16,"lines":6)"));
    ASSERT_EQ(CiAqFrameSize(board, 16, 3, 0), 0);
    const uint32_t size = 16 * 3 + 5;  // three lines and a piece of the fourth
    Fenced buffer(size);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), size, 16, 3, kNoLut, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqFrameSize(board, 16, 6, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
    ASSERT_EQ(CiAqWaitDone(board, 0), 0);
    EXPECT_TRUE(frameIs(buffer.data(), Geometry{16, 3, 1, 8, 16}, 0));
    for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(buffer.data()[48 + x], (x + 3) & 0xFF);
    EXPECT_TRUE(buffer.guardsIntact());
}

TEST_F(EngineTest, LutBankZeroMapsEveryPixelButNotTheStamp)
{
    openBoard(population(R"("framePeriodMs":2,"width":32,"lines":4)"));
    std::vector<uint8_t> invert(256);
    std::vector<uint32_t> expected(256);
    for (uint32_t i = 0; i < 256; ++i) expected[i] = invert[i] = uint8_t(255 - i);
    ASSERT_EQ(CiLutWrite(board, 0, 0, 0xF, 0, 256, invert.data()), 0);
    Fenced buffer(32 * 4);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), 128, 32, 3, 0, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
    ASSERT_EQ(CiAqWaitDone(board, 0), 0);
    EXPECT_TRUE(frameIs(buffer.data(), Geometry{32, 4, 1, 8, 32}, 0, &expected));
}

// Builds a started chain over `buffers` the way a host does.
void buildChain(CiBoardHandle board, std::vector<Fenced> &buffers, uint32_t stride, std::vector<CiQTab> &qtabs,
                std::vector<CiQTab *> &ring)
{
    qtabs.resize(buffers.size());
    ring.clear();
    for (size_t i = 0; i < buffers.size(); ++i) {
        ring.push_back(&qtabs[i]);
        ASSERT_EQ(CiRelQTabCreate(board, nullptr, buffers[i].data(), uint32_t(buffers[i].size), stride, ring[i], 3, kNoLut,
                                  3, 2, 0), 0);
        ASSERT_EQ(CiPhysQTabCreate(board, ring[i], 0), 0);
    }
    ASSERT_EQ(CiPhysQTabChainLink(board, ring.data(), uint32_t(ring.size())), 0);
    ASSERT_EQ(CiPhysQTabChainEngage(board, ring.data(), 0), 0);
    ASSERT_EQ(CiConDMACommand(board, 10, 1, 0, 0), 0);
}

TEST_F(EngineTest, GrabFillsTheChainRoundAndRoundInRingOrder)
{
    openBoard(population(R"("framePeriodMs":2,"width":8,"lines":3,"bytesPerPixel":2,"bitDepth":16)"));
    std::vector<Fenced> buffers(3, Fenced(16 * 3));
    std::vector<CiQTab> qtabs;
    std::vector<CiQTab *> ring;
    buildChain(board, buffers, 16, qtabs, ring);
    ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    ASSERT_TRUE(waitFrames(7));
    ASSERT_EQ(CiConAqCommand(board, 1, 0), 0);
    uint32_t completed = 0;
    ASSERT_EQ(CiConGetFrameCount(board, &completed, 0), 0);
    ASSERT_GE(completed, 7u);
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t f = frameStamp(buffers[i].data());
        EXPECT_EQ(f % 3, i);
        EXPECT_GE(f + 3, completed);
        EXPECT_TRUE(frameIs(buffers[i].data(), Geometry{8, 3, 2, 16, 16}, f));
        EXPECT_TRUE(buffers[i].guardsIntact());
    }
}

TEST_F(EngineTest, TableResetSendsTheNextFrameToBufferZero)
{
    openBoard(population(R"("framePeriodMs":2,"width":8,"lines":2,"trigMode":2)"));
    std::vector<Fenced> buffers(3, Fenced(16));
    std::vector<CiQTab> qtabs;
    std::vector<CiQTab *> ring;
    buildChain(board, buffers, 8, qtabs, ring);
    ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);
    ASSERT_TRUE(waitFrames(1));
    ASSERT_EQ(CiConCTabReset(board), 0);
    ASSERT_EQ(CiConSwTrig(board, 1, 17), 0);
    ASSERT_TRUE(waitFrames(2));
    EXPECT_EQ(frameStamp(buffers[0].data()), 1u);
    EXPECT_TRUE(buffers[1].untouched());
}

// After each of these returns, the engine must not touch the host's memory.
struct StopCase {
    const char *name;
    void (*stop)(CiBoardHandle board, std::vector<CiQTab *> &ring);
};

class NothingWrittenAfter : public EngineTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(NothingWrittenAfter, StoppingAChainGrab)
{
    // Frames big enough that the engine is nearly always in mid-write.
    openBoard(population(R"("framePeriodMs":1,"width":512,"lines":512)"));
    std::vector<Fenced> buffers(2, Fenced(512 * 512));
    std::vector<CiQTab> qtabs;
    std::vector<CiQTab *> ring;
    buildChain(board, buffers, 512, qtabs, ring);
    ASSERT_EQ(CiConAqCommand(board, 3, 0), 0);
    ASSERT_TRUE(waitFrames(3));
    GetParam().stop(board, ring);
    for (Fenced &b : buffers) b.poison();
    pause(10);
    for (Fenced &b : buffers) EXPECT_TRUE(b.untouched());
}

INSTANTIATE_TEST_SUITE_P(
    Engine, NothingWrittenAfter,
    ::testing::Values(StopCase{"Stop", [](CiBoardHandle b, auto &) { ASSERT_EQ(CiConAqCommand(b, 0, 0), 0); }},
                      StopCase{"Abort", [](CiBoardHandle b, auto &) { ASSERT_EQ(CiConAqCommand(b, 1, 0), 0); }},
                      StopCase{"Reset", [](CiBoardHandle b, auto &) { ASSERT_EQ(CiConAqCommand(b, 5, 0), 0); }},
                      StopCase{"CleanUp", [](CiBoardHandle b, auto &) { ASSERT_EQ(CiAqCleanUp(b, 0), 0); }},
                      StopCase{"PhysFree", [](CiBoardHandle b, auto &r) { ASSERT_EQ(CiPhysQTabFree(b, r[1]), 0); }},
                      StopCase{"Close", [](CiBoardHandle b, auto &) { ASSERT_EQ(CiBrdClose(b), 0); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, NothingWrittenAfterTheDestinationIsCleanedUp)
{
    openBoard(population(R"("framePeriodMs":1,"width":512,"lines":512)"));
    Fenced buffer(512 * 512);
    ASSERT_EQ(CiAqSetup(board, buffer.data(), 512 * 512, 512, 3, kNoLut, 0, 0, 1, 1, 0), 0);
    ASSERT_EQ(CiAqCommand(board, 3, 2, 0, 0), 0);
    ASSERT_TRUE(waitFrames(3));
    ASSERT_EQ(CiAqCleanUp(board, 0), 0);
    buffer.poison();
    pause(10);
    EXPECT_TRUE(buffer.untouched());
    EXPECT_NE(CiAqCommand(board, 2, 2, 0, 0), 0);
}

}  // namespace
}  // namespace enginetest
