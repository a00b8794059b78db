// Frames really arriving in the caller's memory, and nothing left behind.
#include <cstring>
#include <set>
#include <vector>

#include "board/slots.h"
#include "support/sim_fixture.h"

namespace {

struct Camera {
    uint32_t width, lines, bytesPerPixel, bitDepth;
};

uint32_t readPixel(const uint8_t *at, uint32_t bytesPerPixel)
{
    uint32_t value = 0;
    for (uint32_t b = 0; b < bytesPerPixel; ++b) value |= uint32_t{at[b]} << (8 * b);
    return value;
}

// The frame number the capture engine writes over the first line's start.
uint32_t frameNumber(const uint8_t *frame, const Camera &c)
{
    if (c.bytesPerPixel == 2) return readPixel(frame, 2) | readPixel(frame + 2, 2) << 16;
    return readPixel(frame, 4);
}

// Pixels that differ from the ramp (x + y + f) mod 2^depth of frame f.
size_t patternErrors(const uint8_t *frame, const Camera &c, uint32_t f)
{
    const uint32_t headerPixels = 4 / c.bytesPerPixel;
    const uint64_t modulus = uint64_t{1} << c.bitDepth;
    size_t errors = 0;
    for (uint32_t y = 0; y < c.lines; ++y)
        for (uint32_t x = (y == 0 ? headerPixels : 0); x < c.width; ++x) {
            const uint8_t *at = frame + (uint64_t{y} * c.width + x) * c.bytesPerPixel;
            if (readPixel(at, c.bytesPerPixel) != (x + y + f) % modulus) ++errors;
        }
    return errors;
}

class EndToEnd : public qortest::SimTest {
protected:
    void useCamera(const Camera &c)
    {
        camera = c;
        loadConfig(R"({"boards": [{"type": 16, "cameras": [{"width": )" + std::to_string(c.width) +
                   R"(, "lines": )" + std::to_string(c.lines) + R"(, "bytesPerPixel": )" +
                   std::to_string(c.bytesPerPixel) + R"(, "bitDepth": )" +
                   std::to_string(c.bitDepth) + "}]}]}");
    }
    size_t frameBytes() const { return size_t{camera.width} * camera.lines * camera.bytesPerPixel; }
    Camera camera{640, 480, 1, 8};
};

TEST_F(EndToEnd, SnapsLandInTheAllocatedDestinationWithTheirNumbers)
{
    for (const Camera &c : {Camera{640, 480, 1, 8}, Camera{96, 40, 2, 12}}) {
        SetUp();
        useCamera(c);
        const int32_t slot = open();
        int32_t size = static_cast<int32_t>(frameBytes());
        void *block = nullptr;
        ASSERT_EQ(BF_AllocBuffer(&size, &block, slot), BF_OK);
        std::memset(block, 0xEE, frameBytes());
        ASSERT_EQ(BF_Setup(block, c.width, slot), BF_OK);
        for (uint32_t f = 0; f < 3; ++f) {
            ASSERT_EQ(BF_GetFrame(slot), BF_OK);
            const auto *frame = static_cast<const uint8_t *>(block);
            EXPECT_EQ(frameNumber(frame, c), f) << c.bytesPerPixel;
            EXPECT_EQ(patternErrors(frame, c, f), 0u) << c.bytesPerPixel << " frame " << f;
        }
        EXPECT_EQ(BF_FreeBuffer(slot), BF_OK);
        EXPECT_EQ(BF_Cleanup(slot), BF_OK);
        EXPECT_EQ(BF_Close(slot), BF_OK);
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    }
}

TEST_F(EndToEnd, GrabWithWaitsFillsTheDestinationUntilStopped)
{
    const int32_t slot = open();
    std::vector<uint8_t> frame(frameBytes());
    ASSERT_EQ(BF_Setup(frame.data(), camera.width, slot), BF_OK);
    ASSERT_EQ(BF_Grab(slot, 0), BF_OK);
    uint32_t count = 0;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(BF_Wait4Frame(1000, slot, &count), BF_OK);
    }
    ASSERT_EQ(BF_Stop(slot), BF_OK);
    const uint32_t f = frameNumber(frame.data(), camera);
    EXPECT_GE(f, 4u);
    EXPECT_EQ(patternErrors(frame.data(), camera, f), 0u);
    uint32_t frames = 0;
    ASSERT_EQ(BF_Status(nullptr, nullptr, nullptr, &frames, slot), BF_OK);
    EXPECT_GE(frames, 5u);
    EXPECT_EQ(BF_Cleanup(slot), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
}

TEST_F(EndToEnd, AChainIsFilledInOrderRoundAndRound)
{
    constexpr int32_t kBuffers = 4;
    const int32_t slot = open();
    std::vector<std::vector<uint8_t>> buffers(kBuffers, std::vector<uint8_t>(frameBytes()));
    void *list[kBuffers];
    for (int32_t i = 0; i < kBuffers; ++i) list[i] = buffers[i].data();
    ASSERT_EQ(BF_BufferSetup(list, camera.width, kBuffers, slot), BF_OK);

    ASSERT_EQ(BF_Grab(slot, 1), BF_OK);
    uint32_t count = 0;
    ASSERT_EQ(BF_Wait(1000, slot, 1, &count), BF_OK);
    ASSERT_EQ(BF_Wait(1000, slot, 1, &count), BF_OK);
    ASSERT_EQ(BF_Stop(slot), BF_OK);
    std::set<uint32_t> seen;
    for (int32_t i = 0; i < kBuffers; ++i) {
        const uint32_t f = frameNumber(buffers[i].data(), camera);
        seen.insert(f);
        EXPECT_EQ(f % kBuffers, static_cast<uint32_t>(i)) << "buffer " << i;
        EXPECT_EQ(patternErrors(buffers[i].data(), camera, f), 0u) << "buffer " << i;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kBuffers));

    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
}

TEST_F(EndToEnd, SnapsIntoAChainTakeTheBuffersInTurn)
{
    const int32_t slot = open();
    std::vector<std::vector<uint8_t>> buffers(2, std::vector<uint8_t>(frameBytes(), 0xEE));
    void *list[2] = {buffers[0].data(), buffers[1].data()};
    ASSERT_EQ(BF_BufferSetup(list, camera.width, 2, slot), BF_OK);
    const uint32_t expected[3][2] = {{0, 0xEEEEEEEE}, {0, 1}, {2, 1}};
    for (const auto &numbers : expected) {
        ASSERT_EQ(BF_GetFrame(slot), BF_OK);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(frameNumber(buffers[i].data(), camera), numbers[i]) << "buffer " << i;
    }
    EXPECT_EQ(patternErrors(buffers[0].data(), camera, 2), 0u);
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
}

}  // namespace
