// Copying a frame out of its chain buffer into memory the board never
// writes, line by line to the destination's stride, optionally shifting
// deeper-than-8-bit values up to the full 16 bits.
#ifndef QOR_GST_FRAME_COPY_H
#define QOR_GST_FRAME_COPY_H

#include <cstddef>
#include <cstdint>

#include "board_stream.h"

namespace qorgst {

// The left shift that takes `bitDepth`-bit values to 16 bits for a camera
// of 2 bytes per pixel; 0 otherwise.
uint32_t scaleShift(const Geometry &geometry);

// Copies the packed frame at `source` into `dest`, whose lines are
// `destStride` bytes apart, shifting 16-bit values left by `shift`.
void copyFrame(const uint8_t *source, const Geometry &geometry, uint8_t *dest, size_t destStride,
               uint32_t shift);

}  // namespace qorgst

#endif
