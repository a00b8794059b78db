/*
 * Shared by the capture engine's suites: one board of type 16 opened
 * straight through the SDK, buffers fenced by guard bytes, and an
 * independent reading of the test pattern.
 */
#ifndef QOR_TESTS_SIM_ENGINE_FIXTURE_H
#define QOR_TESTS_SIM_ENGINE_FIXTURE_H

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cid.h"
#include "support/sim_fixture.h"

namespace enginetest {

constexpr uint32_t kType = 16;
constexpr uint8_t kPoison = 0xCD;
constexpr size_t kGuard = 64;
constexpr uint32_t kLongWaitMs = 2000;

// A population of one board of type 16 with one camera; `camera` and
// `board` are extra JSON members ("width": 16, ...), each possibly empty.
inline std::string population(const std::string &camera, const std::string &board = "")
{
    return R"({"boards":[{"type":16,)" + (board.empty() ? "" : board + ",") +
           R"("cameras":[{)" + camera + "}]}]}";
}

// Host memory with `size` usable bytes between two poisoned guards.
struct Fenced {
    std::vector<uint8_t> bytes;
    size_t size;
    explicit Fenced(size_t usable) : bytes(usable + 2 * kGuard, kPoison), size(usable) {}
    uint8_t *data() { return bytes.data() + kGuard; }
    void poison() { std::fill(bytes.begin(), bytes.end(), kPoison); }
    bool guardsIntact() const
    {
        for (size_t i = 0; i < kGuard; ++i)
            if (bytes[i] != kPoison || bytes[kGuard + size + i] != kPoison) return false;
        return true;
    }
    bool untouched() const
    {
        for (uint8_t b : bytes)
            if (b != kPoison) return false;
        return true;
    }
};

inline uint32_t readLittleEndian(const uint8_t *p, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

inline uint32_t frameStamp(const uint8_t *frame) { return readLittleEndian(frame, 4); }

struct Geometry {
    uint32_t width, lines, bytesPerPixel, bitDepth, stride;
};

// Checks a frame of `g.width` x `g.lines` in a buffer of `g.stride` bytes
// per line with the simulator's own checker (the camera of board 16/0,
// through `lut` when given), and that bytes past the acquired width of each
// line are still poison.
inline ::testing::AssertionResult frameIs(const uint8_t *frame, const Geometry &g, uint32_t f,
                                          const std::vector<uint32_t> *lut = nullptr)
{
    const bfsim_frame_format format{g.width, g.lines, g.stride, g.bytesPerPixel, g.bitDepth,
                                     lut ? lut->data() : nullptr, lut ? uint32_t(lut->size()) : 0};
    char why[160] = "";
    if (bfsim_check_frame(kType, 0, 0, frame, &format, f, why, sizeof why) != 0)
        return ::testing::AssertionFailure() << why;
    for (uint32_t y = 0; y < g.lines; ++y) {
        const uint8_t *line = frame + size_t(y) * g.stride;
        for (uint32_t b = g.width * g.bytesPerPixel; b < g.stride; ++b)
            if (line[b] != kPoison) return ::testing::AssertionFailure() << "line " << y << " spills to byte " << b;
    }
    return ::testing::AssertionSuccess();
}

class EngineTest : public qortest::SimTest {
protected:
    void SetUp() override
    {
        qortest::SimTest::SetUp();
        checkNothingLive = false;
    }
    CiBoardHandle board = nullptr;

    // Loads the population (when given) and opens its board straight
    // through the SDK, then clears the journal.
    void openBoard(const std::string &json = "")
    {
        if (!json.empty()) loadConfig(json);
        CiBoardEntry entry;
        ASSERT_EQ(CiSysBrdFind(kType, 0, &entry), 0);
        ASSERT_EQ(CiBrdOpen(&entry, &board, 0), 0);
        bfsim_journal_clear();
    }
    uint64_t frames() const { return bfsim_frames_completed(kType, 0); }
    bool waitFrames(uint64_t n) const { return bfsim_wait_frames(kType, 0, n, kLongWaitMs) == 0; }
    static void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace enginetest

#endif
