// What the viewer shows of a frame: an 8-bit picture.
#ifndef QOR_GRAB_DISPLAY_FRAME_H
#define QOR_GRAB_DISPLAY_FRAME_H

#include <cstdint>
#include <vector>

#include "frame_samples.h"

namespace qorgrab {

// The frame as 8-bit grey, `width` x `lines`, tightly packed. Frames deeper
// than 8 bits are stretched from their darkest to their brightest pixel
// (auto contrast); shallower ones are scaled up to the full 8 bits.
struct DisplayImage {
    std::vector<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t lines = 0;
    uint32_t low = 0, high = 0;  // the sample values shown as black and white

    FrameView view() const { return FrameView{pixels.data(), width, lines, width, 1, 8}; }
};
DisplayImage displayImage(const FrameView &frame);

}  // namespace qorgrab

#endif
