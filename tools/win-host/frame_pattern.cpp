#include "frame_pattern.h"

#include <sstream>

namespace winhost {
namespace {

constexpr uint32_t kStampBytes = 4;
constexpr uint32_t kBitsPerByte = 8;

uint32_t readLittleEndian(const uint8_t *bytes, uint32_t count)
{
    uint32_t value = 0;
    for (uint32_t i = count; i-- > 0;) value = (value << kBitsPerByte) | bytes[i];
    return value;
}

uint32_t depthMask(uint32_t bitDepth)
{
    return bitDepth >= 32 ? 0xFFFFFFFFu : (1u << bitDepth) - 1;
}

}  // namespace

std::string checkFrame(const uint8_t *frame, const Geometry &geometry, const Lut &lut,
                       uint32_t *frameNumber)
{
    const uint32_t f = readLittleEndian(frame, kStampBytes);
    *frameNumber = f;
    const uint32_t mask = depthMask(geometry.bitDepth);
    for (uint32_t y = 0; y < geometry.lines; ++y) {
        const uint8_t *line = frame + static_cast<size_t>(y) * geometry.stride();
        for (uint32_t x = 0; x < geometry.width; ++x) {
            const uint32_t offset = x * geometry.bytesPerPixel;
            if (y == 0 && offset < kStampBytes) continue;
            const uint32_t expected = lut((x + y + f) & mask);
            const uint32_t actual = readLittleEndian(line + offset, geometry.bytesPerPixel);
            if (actual != expected) {
                std::ostringstream out;
                out << "frame " << f << " pixel (" << x << ", " << y << ") holds " << actual
                    << ", expected " << expected;
                return out.str();
            }
        }
    }
    return "";
}

}  // namespace winhost
