/*
 * The camera sources: the ramp, the scene (scene.cpp) and replayed files.
 * Everything in a frame is computed from the pixel position, the frame
 * number and the seed, so no state carries from one frame to the next.
 */
#include "source.h"

#include <algorithm>

namespace bfsim {

uint32_t rampValue(uint32_t x, uint32_t y, uint64_t frame, uint32_t bitDepth)
{
    return static_cast<uint32_t>(uint64_t(x) + y + frame) & depthMask(bitDepth);
}

SourceFrame sourceFrame(const CameraConfig &camera, uint32_t frame)
{
    SourceFrame s;
    s.kind = camera.source.kind;
    s.seed = camera.source.seed;
    s.images = camera.source.images;
    s.scene = camera.source.scene;
    s.width = camera.width;
    s.lines = camera.lines;
    s.bitDepth = camera.bitDepth;
    s.frame = frame;
    s.firstFrame = camera.faults.firstFrameNumber;
    return s;
}

void renderLine(const SourceFrame &s, uint32_t y, uint32_t count, uint32_t *out)
{
    switch (s.kind) {
    case SourceKind::Ramp:
        for (uint32_t x = 0; x < count; ++x) out[x] = rampValue(x, y, s.frame, s.bitDepth);
        return;
    case SourceKind::Scene:
        if (!s.scene) {
            std::fill(out, out + count, 0u);
            return;
        }
        sceneLine(*s.scene, s.frame, s.bitDepth, y, count, out);
        return;
    case SourceKind::Files: {
        if (!s.images || s.images->empty() || y >= s.lines) {
            std::fill(out, out + count, 0u);
            return;
        }
        const uint32_t replayed = s.frame - s.firstFrame;  // wraps with the counter
        const ReplayImage &image = (*s.images)[replayed % s.images->size()];
        const uint32_t *line = image.data() + size_t(y) * s.width;
        std::copy(line, line + std::min(count, s.width), out);
        return;
    }
    }
}

bool rendersNarrow(const SourceFrame &s, uint32_t bytesPerPixel)
{
    return s.kind == SourceKind::Scene && s.scene && (bytesPerPixel == 1 || bytesPerPixel == 2) &&
           s.bitDepth <= 8 * bytesPerPixel;
}

void renderNarrowLine(const SourceFrame &s, uint32_t y, uint32_t count, uint8_t *out)
{
    sceneLine(*s.scene, s.frame, s.bitDepth, y, count, out);
}

void renderNarrowLine(const SourceFrame &s, uint32_t y, uint32_t count, uint16_t *out)
{
    sceneLine(*s.scene, s.frame, s.bitDepth, y, count, out);
}

}  // namespace bfsim
