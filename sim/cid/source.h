/*
 * What a simulated camera sees: the ramp test pattern, a lifelike scene, or
 * recorded images replayed in a loop. Each is a pure function of the frame
 * number, so a host's frame can be checked, and a run reproduced, from its
 * number alone.
 */
#ifndef QOR_SIM_CID_SOURCE_H
#define QOR_SIM_CID_SOURCE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "model.h"
#include "scene.h"

namespace bfsim {

// One frame of a camera's source, with the camera geometry it is made for.
struct SourceFrame {
    SourceKind kind = SourceKind::Ramp;
    uint32_t seed = 0;
    std::shared_ptr<const std::vector<ReplayImage>> images;
    std::shared_ptr<const SceneTables> scene;
    uint32_t width = 0;      // the camera's, whatever window is acquired
    uint32_t lines = 0;
    uint32_t bitDepth = 8;
    uint32_t frame = 0;      // the frame's number
    uint32_t firstFrame = 0; // the camera's first frame number: replay starts there
};

// Frame `frame` of the current camera of a board.
SourceFrame sourceFrame(const CameraConfig &camera, uint32_t frame);

// The values of pixels (0, y) .. (count - 1, y), before any LUT.
void renderLine(const SourceFrame &source, uint32_t y, uint32_t count, uint32_t *out);

// Whether the source renders straight to `bytesPerPixel` (1 or 2) bytes a
// pixel: the scene, when its depth fits them.
bool rendersNarrow(const SourceFrame &source, uint32_t bytesPerPixel);

// renderLine's values, for a source that rendersNarrow() to that width.
void renderNarrowLine(const SourceFrame &source, uint32_t y, uint32_t count, uint8_t *out);
void renderNarrowLine(const SourceFrame &source, uint32_t y, uint32_t count, uint16_t *out);

// The ramp value of a pixel before any LUT.
uint32_t rampValue(uint32_t x, uint32_t y, uint64_t frame, uint32_t bitDepth);

// The largest value of a bit depth.
inline uint32_t depthMask(uint32_t bitDepth)
{
    return bitDepth >= 32 ? 0xFFFFFFFFu : (1u << bitDepth) - 1u;
}

}  // namespace bfsim

#endif
