/*
 * The camera sources. The scene is a textured background with a few bright
 * shapes drifting across it and seeded sensor noise; everything in it is
 * computed from the pixel position, the frame number and the seed, so no
 * state carries from one frame to the next.
 */
#include "source.h"

#include <algorithm>
#include <cmath>

#include "hash.h"

namespace bfsim {
namespace {

// A standard normal deviate from one hash: the sum of four uniforms,
// centred and scaled to unit variance, is close enough for sensor noise
// and much cheaper than an exact transform.
double gaussian(uint64_t bits)
{
    constexpr double kScale = 1.7320508075688772;  // sqrt(12 / 4)
    double sum = 0;
    for (int i = 0; i < 4; ++i) sum += double((bits >> (16 * i)) & 0xFFFF) / 65536.0;
    return (sum - 2.0) * kScale;
}

// Brightness of the scene, 0..1, before noise.
constexpr double kBackground = 0.18;   // mean level of the background
constexpr double kWaves = 0.10;        // its slow undulation
constexpr double kTexture = 0.12;      // its fine, blocky texture
constexpr uint32_t kTextureCell = 8;   // pixels per texture block

struct Shape {
    double x0, y0;     // starting centre, as a fraction of the frame
    double vx, vy;     // pixels per frame
    double radius;     // as a fraction of the shorter side
    double level;      // brightness
    bool square;
};

constexpr Shape kShapes[] = {
    {0.25, 0.30, 3.0, 1.0, 0.12, 0.95, false},
    {0.65, 0.60, -2.0, 1.5, 0.10, 0.80, true},
    {0.45, 0.75, 1.0, -2.5, 0.07, 0.65, false},
};

// Wraps a coordinate into [0, extent).
double wrap(double v, double extent)
{
    const double r = std::fmod(v, extent);
    return r < 0 ? r + extent : r;
}

double backgroundLevel(uint32_t x, uint32_t y, uint32_t seed)
{
    const double waves = std::sin(x * 0.031) * std::cos(y * 0.023);
    const uint64_t cell = mix((uint64_t(seed) << 40) ^ (uint64_t(x / kTextureCell) << 20) ^ (y / kTextureCell));
    return kBackground + kWaves * waves + kTexture * (unitInterval(cell) - 0.5);
}

// The shapes' places in a frame, and how far each reaches.
struct PlacedShape {
    double cx, cy, r;
    const Shape *shape;
};

// Renders one line of the scene: the background, the shapes over it (the
// last one drawn wins), then the noise.
void sceneLine(const SourceFrame &s, uint32_t y, uint32_t count, uint32_t *out)
{
    const double w = s.width, h = s.lines, side = std::min(w, h);
    const double top = double(depthMask(s.bitDepth));
    std::vector<double> level(count);
    const float *background = s.background->data() + size_t(y) * s.width;
    for (uint32_t x = 0; x < count; ++x) level[x] = background[x];
    for (const Shape &shape : kShapes) {
        const double cx = wrap(shape.x0 * w + shape.vx * s.frame, w);
        const double cy = wrap(shape.y0 * h + shape.vy * s.frame, h);
        const double r = shape.radius * side;
        // Distances across the wrap, so a shape leaving one edge enters at the other.
        double dy = std::fabs(y - cy);
        dy = std::min(dy, h - dy);
        if (dy > r) continue;
        const double halfChord = shape.square ? r : std::sqrt(r * r - dy * dy);
        for (uint32_t x = 0; x < count; ++x) {
            double dx = std::fabs(x - cx);
            dx = std::min(dx, w - dx);
            if (dx <= halfChord) level[x] = shape.level;
        }
    }
    const uint64_t lineKey = mix(mix((uint64_t(s.seed) << 32) | s.frame) ^ (uint64_t(y) << 32));
    for (uint32_t x = 0; x < count; ++x) {
        double v = level[x] * top;
        if (s.noise > 0) v += s.noise * gaussian(mix(lineKey ^ x));
        // Rounded to the nearest level, clamped first so the cast is defined.
        out[x] = static_cast<uint32_t>(std::clamp(v, 0.0, top) + 0.5);
    }
}

}  // namespace

uint32_t rampValue(uint32_t x, uint32_t y, uint64_t frame, uint32_t bitDepth)
{
    return static_cast<uint32_t>(uint64_t(x) + y + frame) & depthMask(bitDepth);
}

std::shared_ptr<const std::vector<float>> sceneBackground(uint32_t width, uint32_t lines, uint32_t seed)
{
    auto background = std::make_shared<std::vector<float>>(size_t(width) * lines);
    for (uint32_t y = 0; y < lines; ++y)
        for (uint32_t x = 0; x < width; ++x)
            (*background)[size_t(y) * width + x] = static_cast<float>(backgroundLevel(x, y, seed));
    return background;
}

SourceFrame sourceFrame(const CameraConfig &camera, uint32_t frame)
{
    SourceFrame s;
    s.kind = camera.source.kind;
    s.noise = camera.source.noise;
    s.seed = camera.source.seed;
    s.images = camera.source.images;
    s.background = camera.source.background;
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
        if (!s.background || y >= s.lines || count > s.width) {
            std::fill(out, out + count, 0u);
            return;
        }
        sceneLine(s, y, count, out);
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

}  // namespace bfsim
