// Frames really arriving in the caller's memory, and nothing left behind.
#include <cstring>
#include <set>
#include <vector>

#include "board/slots.h"
#include "support/frame_check.h"
#include "support/sim_fixture.h"

namespace {

struct Camera {
    uint32_t width, lines, bytesPerPixel, bitDepth;
};

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
    // Whether `frame` holds frame number `f` of the camera, stamp and pixels.
    ::testing::AssertionResult holdsFrame(const void *frame, uint32_t f) const
    {
        return qortest::holdsFrame(frame, qortest::packedFrame(camera.width, camera.lines, camera.bytesPerPixel), f);
    }
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
            EXPECT_TRUE(holdsFrame(block, f)) << c.bytesPerPixel << " frame " << f;
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
    const uint32_t f = qortest::frameStamp(frame.data());
    EXPECT_GE(f, 4u);
    EXPECT_TRUE(holdsFrame(frame.data(), f));
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
        const uint32_t f = qortest::frameStamp(buffers[i].data());
        seen.insert(f);
        EXPECT_EQ(f % kBuffers, static_cast<uint32_t>(i)) << "buffer " << i;
        EXPECT_TRUE(holdsFrame(buffers[i].data(), f)) << "buffer " << i;
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
            EXPECT_EQ(qortest::frameStamp(buffers[i].data()), numbers[i]) << "buffer " << i;
    }
    EXPECT_TRUE(holdsFrame(buffers[0].data(), 2));
    EXPECT_EQ(BF_BufferCleanup(slot), BF_OK);
    EXPECT_EQ(BF_Close(slot), BF_OK);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
}

}  // namespace
