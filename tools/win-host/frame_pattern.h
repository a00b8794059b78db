/*
 * The simulated camera's test pattern: pixel (x, y) of frame f holds
 * (x + y + f) mod 2^bitDepth, little-endian in P bytes, passed through the
 * board's LUT when one is in use; the first four bytes of the frame carry f.
 */
#ifndef QOR_WIN_HOST_FRAME_PATTERN_H
#define QOR_WIN_HOST_FRAME_PATTERN_H

#include <cstdint>
#include <functional>
#include <string>

namespace winhost {

struct Geometry {
    uint32_t width;
    uint32_t lines;
    uint32_t bytesPerPixel;
    uint32_t bitDepth;

    uint32_t stride() const { return width * bytesPerPixel; }
    uint32_t frameBytes() const { return stride() * lines; }
};

using Lut = std::function<uint32_t(uint32_t)>;
inline uint32_t noLut(uint32_t value) { return value; }

// Checks a captured frame; writes the frame number it carries to
// *frameNumber. Returns "" when every pixel is right, else the first wrong one.
std::string checkFrame(const uint8_t *frame, const Geometry &geometry, const Lut &lut,
                       uint32_t *frameNumber);

}  // namespace winhost

#endif
