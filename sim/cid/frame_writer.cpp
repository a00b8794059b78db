/*
 * Writing a frame into the host's buffer: the source's values through the
 * LUT, coded little-endian in the camera's bytes per pixel, with the frame
 * number stamped over the first bytes so a host can tell which frame landed
 * in which buffer.
 */
#include <algorithm>
#include <vector>

#include "engine_state.h"
#include "frame_layout.h"

namespace bfsim {
namespace {

// Line y of a ramp frame is the ramp shifted by y pixels, so the ramp,
// coded once per frame, yields every line.
std::vector<uint8_t> codedRamp(const FrameJob &job, uint32_t p)
{
    std::vector<uint8_t> coded(job.ramp.size() * p);
    for (size_t k = 0; k < job.ramp.size(); ++k) storeLittleEndian(&coded[k * p], job.ramp[k], p);
    return coded;
}

// Calls `line(y, bytes, destination)` for every line that fits the buffer.
template <class Line> bool forEachLine(const FrameJob &job, uint64_t lineBytes, const std::atomic<bool> &discard, Line line)
{
    for (uint32_t y = 0; y < job.lines; ++y) {
        if (discard.load(std::memory_order_relaxed)) return false;
        const uint64_t offset = uint64_t(y) * job.dest.stride;
        if (offset >= job.dest.size) break;
        line(y, size_t(std::min<uint64_t>(lineBytes, job.dest.size - offset)), job.dest.base + offset);
    }
    return true;
}

bool writeRamp(const FrameJob &job, uint32_t p, uint64_t lineBytes, const std::atomic<bool> &discard)
{
    if (job.ramp.size() < uint64_t(job.width) + job.lines) return true;
    const std::vector<uint8_t> ramp = codedRamp(job, p);
    return forEachLine(job, lineBytes, discard, [&](uint32_t y, size_t bytes, uint8_t *out) {
        std::memcpy(out, &ramp[size_t(y) * p], bytes);
    });
}

bool writeRendered(const FrameJob &job, uint32_t p, uint64_t lineBytes, const std::atomic<bool> &discard)
{
    std::vector<uint32_t> values(job.width);
    std::vector<uint8_t> coded(size_t(job.width) * p);
    return forEachLine(job, lineBytes, discard, [&](uint32_t y, size_t bytes, uint8_t *out) {
        renderLine(*job.rendered, y, job.width, values.data());
        for (uint32_t x = 0; x < job.width; ++x) storeLittleEndian(&coded[size_t(x) * p], job.lut.apply(values[x]), p);
        std::memcpy(out, coded.data(), bytes);
    });
}

}  // namespace

bool writeFrame(const FrameJob &job, const std::atomic<bool> &discard)
{
    const uint32_t p = std::clamp<uint32_t>(job.bytesPerPixel, 1, kWidestPixel);
    // A line is cut to the stride so it never spills into the next one.
    const uint64_t lineBytes = std::min<uint64_t>(uint64_t(job.width) * p, job.dest.stride);
    if (lineBytes == 0) return true;
    const bool whole = job.rendered ? writeRendered(job, p, lineBytes, discard) : writeRamp(job, p, lineBytes, discard);
    if (!whole) return false;
    // The frame number goes over the first bytes, after any LUT, so hosts
    // read it whatever table the pixels went through.
    const uint64_t firstLine = std::min<uint64_t>(lineBytes, job.dest.size);
    if (job.stamp && job.lines > 0) storeLittleEndian(job.dest.base, job.frame, uint32_t(std::min<uint64_t>(kStampBytes, firstLine)));
    return true;
}

}  // namespace bfsim
