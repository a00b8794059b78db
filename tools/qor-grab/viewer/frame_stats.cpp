#include "viewer/frame_stats.h"

#include <algorithm>
#include <limits>

namespace qorgrab {
namespace {

constexpr uint32_t kSampleBits = 32;  // every pixel size the board delivers fits
constexpr uint8_t kMarked = 255;

SampleFormat exactFormat(const FrameView &frame)
{
    return sampleFormat(frame, kSampleBits, "frame statistics");
}

uint32_t depthMax(const SampleFormat &format)
{
    return static_cast<uint32_t>((uint64_t{1} << format.sourceBits) - 1);
}

}  // namespace

uint32_t fullScale(const FrameView &frame)
{
    return depthMax(exactFormat(frame));
}

uint32_t pixelValue(const FrameView &frame, uint32_t x, uint32_t y)
{
    return sampleAt(frame, exactFormat(frame), x, y);
}

FrameStats frameStats(const FrameView &frame)
{
    const SampleFormat format = exactFormat(frame);
    FrameStats stats;
    stats.fullScale = depthMax(format);
    stats.min = std::numeric_limits<uint32_t>::max();
    stats.bins.assign(kHistogramBins, 0);
    const uint64_t values = uint64_t{stats.fullScale} + 1;
    uint64_t sum = 0;  // 2^32 pixels of 32 bits would pass it; no board delivers that
    for (uint32_t y = 0; y < frame.lines; ++y)
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint32_t value = sampleAt(frame, format, x, y);
            stats.min = std::min(stats.min, value);
            stats.max = std::max(stats.max, value);
            sum += value;
            stats.saturated += value == stats.fullScale;
            ++stats.bins[uint64_t{value} * kHistogramBins / values];
        }
    const uint64_t pixels = uint64_t{frame.width} * frame.lines;
    if (pixels == 0) stats.min = 0;
    stats.mean = pixels == 0 ? 0 : static_cast<double>(sum) / static_cast<double>(pixels);
    return stats;
}

std::vector<uint8_t> saturationMask(const FrameView &frame)
{
    const SampleFormat format = exactFormat(frame);
    const uint32_t top = depthMax(format);
    std::vector<uint8_t> mask(size_t{frame.width} * frame.lines, 0);
    for (uint32_t y = 0; y < frame.lines; ++y)
        for (uint32_t x = 0; x < frame.width; ++x)
            if (sampleAt(frame, format, x, y) == top) mask[size_t{y} * frame.width + x] = kMarked;
    return mask;
}

}  // namespace qorgrab
