/*
 * The test pattern every simulated frame carries: a diagonal ramp that moves
 * with the frame number, with the frame number itself stamped over the first
 * bytes so a host can tell which frame landed in which buffer.
 */
#include <algorithm>
#include <vector>

#include "engine_state.h"

namespace bfsim {
namespace {

constexpr uint32_t kStampBytes = 4;
constexpr uint32_t kWidestPixel = 8;

uint32_t depthMask(uint32_t bitDepth)
{
    return bitDepth >= 32 ? 0xFFFFFFFFu : (1u << bitDepth) - 1u;
}

void storeLittleEndian(uint8_t *out, uint32_t value, uint32_t bytes)
{
    for (uint32_t i = 0; i < bytes; ++i) out[i] = i < 4 ? static_cast<uint8_t>(value >> (8 * i)) : 0;
}

// Line y of a frame is the ramp shifted by y pixels, so the ramp, coded
// once per frame, yields every line.
std::vector<uint8_t> codedRamp(const FrameJob &job, uint32_t p)
{
    std::vector<uint8_t> coded(job.ramp.size() * p);
    for (size_t k = 0; k < job.ramp.size(); ++k) storeLittleEndian(&coded[k * p], job.ramp[k], p);
    return coded;
}

}  // namespace

uint32_t rampValue(uint32_t x, uint32_t y, uint64_t frame, uint32_t bitDepth)
{
    return static_cast<uint32_t>(uint64_t(x) + y + frame) & depthMask(bitDepth);
}

bool writeFrame(const FrameJob &job, const std::atomic<bool> &discard)
{
    const uint32_t p = std::clamp<uint32_t>(job.bytesPerPixel, 1, kWidestPixel);
    // A line is cut to the stride so it never spills into the next one.
    const uint64_t lineBytes = std::min<uint64_t>(uint64_t(job.width) * p, job.dest.stride);
    if (lineBytes == 0 || job.ramp.size() < uint64_t(job.width) + job.lines) return true;
    const std::vector<uint8_t> ramp = codedRamp(job, p);
    for (uint32_t y = 0; y < job.lines; ++y) {
        if (discard.load(std::memory_order_relaxed)) return false;
        const uint64_t offset = uint64_t(y) * job.dest.stride;
        if (offset >= job.dest.size) break;
        const uint64_t bytes = std::min<uint64_t>(lineBytes, job.dest.size - offset);
        std::memcpy(job.dest.base + offset, &ramp[size_t(y) * p], size_t(bytes));
    }
    // The frame number goes over the first bytes, after any LUT, so hosts
    // read it whatever table the pixels went through.
    const uint64_t firstLine = std::min<uint64_t>(lineBytes, job.dest.size);
    if (job.lines > 0) storeLittleEndian(job.dest.base, job.frame, uint32_t(std::min<uint64_t>(kStampBytes, firstLine)));
    return true;
}

}  // namespace bfsim

extern "C" BFSIM_API uint32_t bfsim_pattern_value(uint32_t x, uint32_t y, uint32_t frame, uint32_t bitDepth)
{
    return bfsim::rampValue(x, y, frame, bitDepth);
}
