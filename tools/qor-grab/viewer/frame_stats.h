// What the viewer measures of a frame, from its samples as the camera gave
// them (never from the 8-bit picture the browser shows).
#ifndef QOR_GRAB_FRAME_STATS_H
#define QOR_GRAB_FRAME_STATS_H

#include <cstdint>
#include <vector>

#include "frame_samples.h"

namespace qorgrab {

constexpr uint32_t kHistogramBins = 256;

// Measured in one pass over the frame.
struct FrameStats {
    uint32_t min = 0, max = 0;
    double mean = 0;
    uint32_t fullScale = 0;  // the largest value of the frame's depth
    uint64_t saturated = 0;  // pixels at fullScale
    std::vector<uint64_t> bins;  // kHistogramBins equal bins over 0 .. fullScale
};
FrameStats frameStats(const FrameView &frame);

// The largest value a pixel of `frame` can hold (2^depth - 1).
uint32_t fullScale(const FrameView &frame);

// Pixel (x, y) as the camera gave it, bits above the depth dropped.
uint32_t pixelValue(const FrameView &frame, uint32_t x, uint32_t y);

// One byte a pixel, tightly packed: 255 where the pixel is at full scale,
// 0 elsewhere; the page paints the overlay from it.
std::vector<uint8_t> saturationMask(const FrameView &frame);

}  // namespace qorgrab

#endif
