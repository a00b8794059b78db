#include "frame_copy.h"

#include <cstring>

namespace qorgst {

namespace {

constexpr uint32_t kWideBits = 16;

void shiftLine(const uint8_t *source, uint8_t *dest, uint32_t width, uint32_t shift)
{
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t value = uint32_t(source[2 * x]) | uint32_t(source[2 * x + 1]) << 8;
        const uint32_t scaled = value << shift;
        dest[2 * x] = uint8_t(scaled);
        dest[2 * x + 1] = uint8_t(scaled >> 8);
    }
}

}  // namespace

uint32_t scaleShift(const Geometry &geometry)
{
    if (geometry.bytesPerPixel != 2 || geometry.bitDepth >= kWideBits || geometry.bitDepth == 0) return 0;
    return kWideBits - geometry.bitDepth;
}

void copyFrame(const uint8_t *source, const Geometry &geometry, uint8_t *dest, size_t destStride,
               uint32_t shift)
{
    const size_t lineBytes = geometry.lineBytes();
    if (shift == 0 && destStride == lineBytes) {
        std::memcpy(dest, source, geometry.frameBytes());
        return;
    }
    for (uint32_t y = 0; y < geometry.lines; ++y) {
        const uint8_t *from = source + y * lineBytes;
        uint8_t *to = dest + y * destStride;
        if (shift == 0)
            std::memcpy(to, from, lineBytes);
        else
            shiftLine(from, to, geometry.width, shift);
    }
}

}  // namespace qorgst
