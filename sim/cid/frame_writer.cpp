/*
 * Writing a frame into the host's buffer: the source's values through the
 * LUT, coded little-endian in the camera's bytes per pixel, with the frame
 * number stamped over the first bytes so a host can tell which frame landed
 * in which buffer.
 */
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine_state.h"
#include "frame_layout.h"

namespace bfsim {
namespace {

#if defined(__BYTE_ORDER__)
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#else
constexpr bool kLittleEndian = true;  // Windows runs little-endian only
#endif

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

// Frames larger than this go to the host's memory with streaming stores:
// no cache line of the buffer is read before it is written, and the cache
// keeps the scene's tables instead of frames the host has yet to look at.
constexpr uint64_t kStreamingFrameBytes = uint64_t(4) << 20;

void copyLine(uint8_t *out, const uint8_t *in, size_t bytes, bool streaming)
{
#if defined(__SSE2__)
    if (streaming) {
        constexpr size_t kVector = sizeof(__m128i);
        const size_t head = std::min(bytes, (kVector - reinterpret_cast<uintptr_t>(out) % kVector) % kVector);
        std::memcpy(out, in, head);
        size_t i = head;
        for (; i + kVector <= bytes; i += kVector)
            _mm_stream_si128(reinterpret_cast<__m128i *>(out + i), _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i)));
        std::memcpy(out + i, in + i, bytes - i);
        return;
    }
#endif
    std::memcpy(out, in, bytes);
}

// Streamed stores are ordered with the writes that follow (the frame's
// completion) only after a fence.
void finishStreaming(bool streaming)
{
#if defined(__SSE2__)
    if (streaming) _mm_sfence();
#else
    (void)streaming;
#endif
}

// A scene of one or two bytes a pixel with no LUT is rendered straight in
// its stored width, whose native bytes are the little-endian coding, one
// line at a time into a buffer the cache holds, then copied out.
template <class Narrow>
bool writeNarrow(const FrameJob &job, uint64_t lineBytes, const std::atomic<bool> &discard)
{
    std::vector<Narrow> values(job.width);
    const bool streaming = lineBytes * job.lines >= kStreamingFrameBytes;
    const bool whole = forEachLine(job, lineBytes, discard, [&](uint32_t y, size_t bytes, uint8_t *out) {
        renderNarrowLine(*job.rendered, y, job.width, values.data());
        copyLine(out, reinterpret_cast<const uint8_t *>(values.data()), bytes, streaming);
    });
    finishStreaming(streaming);
    return whole;
}

// Whether writeNarrow gives this job's bytes.
bool narrowable(const FrameJob &job, uint32_t p)
{
    return kLittleEndian && job.lut.kind == PixelLut::Kind::None && rendersNarrow(*job.rendered, p);
}

bool writeRendered(const FrameJob &job, uint32_t p, uint64_t lineBytes, const std::atomic<bool> &discard)
{
    if (narrowable(job, p))
        return p == 1 ? writeNarrow<uint8_t>(job, lineBytes, discard) : writeNarrow<uint16_t>(job, lineBytes, discard);
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
