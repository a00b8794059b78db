#include "viewer/display_frame.h"

#include <algorithm>

namespace qorgrab {
namespace {

constexpr uint32_t kDisplayBits = 8;
constexpr uint32_t kSampleBits = 32;  // every pixel size the board delivers fits

}  // namespace

DisplayImage displayImage(const FrameView &frame)
{
    const SampleFormat format = sampleFormat(frame, kSampleBits, "a display image");
    DisplayImage image;
    image.width = frame.width;
    image.lines = frame.lines;
    image.pixels.resize(size_t{frame.width} * frame.lines);
    if (format.sourceBits <= kDisplayBits) {
        const uint32_t shift = kDisplayBits - format.sourceBits;
        image.high = (1u << format.sourceBits) - 1;
        for (uint32_t y = 0; y < frame.lines; ++y)
            for (uint32_t x = 0; x < frame.width; ++x)
                image.pixels[size_t{y} * frame.width + x] =
                    static_cast<uint8_t>(sampleAt(frame, format, x, y) << shift);
        return image;
    }
    std::vector<uint32_t> samples(image.pixels.size());
    for (uint32_t y = 0; y < frame.lines; ++y)
        for (uint32_t x = 0; x < frame.width; ++x)
            samples[size_t{y} * frame.width + x] = sampleAt(frame, format, x, y);
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    image.low = samples.empty() ? 0 : *low;
    image.high = samples.empty() ? 0 : *high;
    const uint64_t span = std::max<uint64_t>(uint64_t{image.high} - image.low, 1);
    for (size_t i = 0; i < samples.size(); ++i)
        image.pixels[i] = static_cast<uint8_t>((uint64_t{samples[i] - image.low} * 255) / span);
    return image;
}

}  // namespace qorgrab
