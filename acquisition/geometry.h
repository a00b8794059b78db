/*
 * The byte geometry of one frame buffer, as both kinds of acquisition
 * describe it to the board: size width x P x L and stride width x P, with P
 * bytes per pixel and L lines read from the board at each set-up.
 */
#ifndef QOR_ACQUISITION_GEOMETRY_H
#define QOR_ACQUISITION_GEOMETRY_H

#include <cstdint>
#include <limits>
#include <optional>

namespace qor {

// Packed 24-bit pixels cannot be described to the board.
constexpr uint32_t kUnsupportedBytesPerPixel = 3;

struct FrameGeometry {
    uint32_t size;
    uint32_t stride;
};

// Nothing when either product does not fit the SDK's 32-bit arguments: a
// wrapped size would let the board write past the end of the buffer.
inline std::optional<FrameGeometry> frameGeometry(uint32_t width, uint32_t bytesPerPixel,
                                                  uint32_t lines)
{
    constexpr uint64_t kLimit = std::numeric_limits<uint32_t>::max();
    const uint64_t stride = uint64_t{width} * bytesPerPixel;
    if (stride > kLimit) return std::nullopt;
    const uint64_t size = stride * lines;
    if (size > kLimit) return std::nullopt;
    return FrameGeometry{static_cast<uint32_t>(size), static_cast<uint32_t>(stride)};
}

}  // namespace qor

#endif
