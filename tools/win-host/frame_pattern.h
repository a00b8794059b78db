/*
 * Checking a captured frame with the simulator's own frame checker
 * (bfsim_check_frame, found in Cid.dll at run time): the frame number is
 * read from the frame's first four bytes, and every pixel must be what the
 * camera's source makes for that frame, through the LUT when one is in use.
 */
#ifndef QOR_WIN_HOST_FRAME_PATTERN_H
#define QOR_WIN_HOST_FRAME_PATTERN_H

#include <cstdint>
#include <functional>
#include <string>

#include "bfsim.h"

namespace winhost {

struct Geometry {
    uint32_t width;
    uint32_t lines;
    uint32_t bytesPerPixel;
    uint32_t bitDepth;
    uint32_t boardType;  // the simulated board whose camera made the frame (board 0, camera 0)

    uint32_t stride() const { return width * bytesPerPixel; }
    uint32_t frameBytes() const { return stride() * lines; }
};

using Lut = std::function<uint32_t(uint32_t)>;
inline uint32_t noLut(uint32_t value) { return value; }

using FrameChecker = decltype(&::bfsim_check_frame);

// Checks a captured frame; writes the frame number it carries to
// *frameNumber. Returns "" when every pixel is right, else the first wrong one.
std::string checkFrame(FrameChecker check, const uint8_t *frame, const Geometry &geometry, const Lut &lut,
                       uint32_t *frameNumber);

}  // namespace winhost

#endif
