// A frame in memory as the board delivers it, and how its pixels become the
// samples an image file holds.
#ifndef QOR_GRAB_FRAME_SAMPLES_H
#define QOR_GRAB_FRAME_SAMPLES_H

#include <cstdint>

namespace qorgrab {

// `lines` rows of `width` pixels, `stride` bytes apart, each pixel
// `bytesPerPixel` bytes little-endian carrying `bitDepth` bits.
struct FrameView {
    const uint8_t *data = nullptr;
    uint32_t width = 0;
    uint32_t lines = 0;
    uint32_t stride = 0;
    uint32_t bytesPerPixel = 1;
    uint32_t bitDepth = 8;
};

// How an image file holds a frame's pixels: exactly as the camera gave
// them, or for viewing, scaled from the depth's full range to 8 bits (a
// 12-bit frame written exactly looks black in viewers that ignore sBIT).
enum class Samples { Exact, Display };

// Bits above the depth are not image data, so they are dropped; a depth
// beyond what the file can hold keeps its top `outputBits`.
struct SampleFormat {
    uint32_t sourceBits;  // meaningful bits of the pixel
    uint32_t outputBits;  // bits of the written sample
};

// The samples a file of at most `maxBits` bits a sample holds for `frame`.
// Throws ToolFailure (naming `fileKind`) for pixels of 3 bytes or depth 0.
SampleFormat sampleFormat(const FrameView &frame, uint32_t maxBits, const char *fileKind);

// Pixel (x, y) as a sample of `format`.
uint32_t sampleAt(const FrameView &frame, const SampleFormat &format, uint32_t x, uint32_t y);

// Pixel (x, y) scaled from 0 .. 2^depth - 1 to 0 .. 255, rounded.
uint8_t displaySampleAt(const FrameView &frame, const SampleFormat &format, uint32_t x, uint32_t y);

}  // namespace qorgrab

#endif
