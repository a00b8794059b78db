/*
 * How a frame lies in the host's memory: pixels little-endian in the
 * camera's bytes per pixel, the frame number over the first four bytes.
 * The writer and the checker share it.
 */
#ifndef QOR_SIM_CID_FRAME_LAYOUT_H
#define QOR_SIM_CID_FRAME_LAYOUT_H

#include <cstdint>

namespace bfsim {

constexpr uint32_t kStampBytes = 4;
constexpr uint32_t kWidestPixel = 8;
constexpr uint32_t kBitsPerByte = 8;

inline void storeLittleEndian(uint8_t *out, uint32_t value, uint32_t bytes)
{
    for (uint32_t i = 0; i < bytes; ++i) out[i] = i < 4 ? static_cast<uint8_t>(value >> (kBitsPerByte * i)) : 0;
}

// The values `bytes` bytes of a stamp can hold.
inline uint32_t depthMaskBytes(uint32_t bytes)
{
    return bytes >= 4 ? 0xFFFFFFFFu : (1u << (kBitsPerByte * bytes)) - 1u;
}

inline uint32_t loadLittleEndian(const uint8_t *in, uint32_t bytes)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes && i < 4; ++i) value |= uint32_t(in[i]) << (kBitsPerByte * i);
    return value;
}

}  // namespace bfsim

#endif
