// PNG encoding of frames through libpng: grey, 8-bit for 1 byte per pixel,
// 16-bit (big-endian, as PNG stores it) otherwise, with an sBIT chunk giving
// the meaningful bits when the depth is less than the sample size; or, for
// viewing, 8-bit scaled from the depth's full range.
#ifndef QOR_GRAB_PNG_WRITER_H
#define QOR_GRAB_PNG_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "frame_samples.h"

namespace qorgrab {

// The PNG file for a frame; throws ToolFailure when it cannot be made.
std::vector<uint8_t> encodePng(const FrameView &frame, Samples samples = Samples::Exact);

// Writes encodePng(frame, samples) to `path`; throws ToolFailure when it cannot.
void writePng(const std::string &path, const FrameView &frame, Samples samples = Samples::Exact);

}  // namespace qorgrab

#endif
