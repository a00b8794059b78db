// Binary PGM (P5) encoding of frames as the board delivers them.
#ifndef QOR_GRAB_PGM_WRITER_H
#define QOR_GRAB_PGM_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "frame_samples.h"

namespace qorgrab {

// The PGM file for a frame: 8-bit samples for 1 byte per pixel, 16-bit
// big-endian samples otherwise; maxval 2^depth-1. Throws ToolFailure for a
// pixel size or depth PGM cannot carry.
std::vector<uint8_t> encodePgm(const FrameView &frame);

// Writes encodePgm(frame) to `path`; throws ToolFailure when it cannot.
void writePgm(const std::string &path, const FrameView &frame);

}  // namespace qorgrab

#endif
