#include "frame_samples.h"

#include <algorithm>
#include <string>

#include "bf_check.h"

namespace qorgrab {
namespace {

constexpr uint32_t kMaxPixelBytes = 4;

}  // namespace

SampleFormat sampleFormat(const FrameView &frame, uint32_t maxBits, const char *fileKind)
{
    const uint32_t p = frame.bytesPerPixel;
    if (p != 1 && p != 2 && p != kMaxPixelBytes)
        throw ToolFailure(std::string("cannot write ") + fileKind + " for " + std::to_string(p) +
                          " bytes per pixel");
    if (frame.bitDepth == 0)
        throw ToolFailure(std::string("cannot write ") + fileKind + " for a bit depth of 0");
    const uint32_t sourceBits = std::min(frame.bitDepth, 8 * p);
    return SampleFormat{sourceBits, std::min(sourceBits, maxBits)};
}

uint32_t sampleAt(const FrameView &frame, const SampleFormat &format, uint32_t x, uint32_t y)
{
    const uint8_t *pixel = frame.data + size_t{y} * frame.stride + size_t{x} * frame.bytesPerPixel;
    uint32_t value = 0;
    for (uint32_t b = 0; b < frame.bytesPerPixel; ++b) value |= uint32_t{pixel[b]} << (8 * b);
    const uint64_t mask = (uint64_t{1} << format.sourceBits) - 1;
    return static_cast<uint32_t>((value & mask) >> (format.sourceBits - format.outputBits));
}

uint8_t displaySampleAt(const FrameView &frame, const SampleFormat &format, uint32_t x, uint32_t y)
{
    constexpr uint64_t kWhite = 255;
    const uint64_t full = (uint64_t{1} << format.outputBits) - 1;
    const uint64_t value = sampleAt(frame, format, x, y);
    return static_cast<uint8_t>((value * kWhite + full / 2) / full);
}

}  // namespace qorgrab
