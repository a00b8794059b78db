/*
 * The scene's tables, made once per camera: a background of summed octaves
 * of smooth value noise (no period, so no block repeats anywhere in the
 * frame), the vignetting factors, and the normal deviates a frame's noise
 * is drawn from.
 */
#include <algorithm>
#include <cmath>

#include "hash.h"
#include "scene.h"

namespace bfsim {
namespace {

constexpr double kDarkest = 0.02;   // the background's range, as a share of full scale
constexpr double kLightest = 0.55;
constexpr double kRoughness = 0.55; // each octave's amplitude against the last
constexpr double kFinestCell = 3;   // pixels per lattice cell of the finest octave
constexpr size_t kNormalCount = size_t(1) << 16;
constexpr double kNormalClip = 4;     // the 16-bit normals stop at 4 standard deviations
constexpr int kShortMax = 32767;

// The lattice value of an octave at a cell corner, -0.5 .. 0.5.
double latticeValue(uint64_t octaveKey, int64_t ix, int64_t iy)
{
    return unitInterval(mix(octaveKey ^ mix((uint64_t(ix) << 32) ^ uint64_t(iy)))) - 0.5;
}

double smoothstep(double t) { return t * t * (3 - 2 * t); }

// Adds one octave, of `cell` pixels per lattice cell, to the texture.
void addOctave(std::vector<float> &texture, uint32_t width, uint32_t lines, uint64_t key, double cell,
               double amplitude)
{
    std::vector<int64_t> column(width);
    std::vector<double> weight(width);
    for (uint32_t x = 0; x < width; ++x) {
        const double u = x / cell;
        column[x] = int64_t(std::floor(u));
        weight[x] = smoothstep(u - std::floor(u));
    }
    const int64_t cells = column.back() + 2;
    std::vector<double> top(cells), bottom(cells);
    for (uint32_t y = 0; y < lines; ++y) {
        const double v = y / cell;
        const int64_t iy = int64_t(std::floor(v));
        const double wy = smoothstep(v - std::floor(v));
        for (int64_t ix = 0; ix < cells; ++ix) {
            top[ix] = latticeValue(key, ix, iy);
            bottom[ix] = latticeValue(key, ix, iy + 1);
        }
        float *row = texture.data() + size_t(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const int64_t ix = column[x];
            const double a = top[ix] + weight[x] * (top[ix + 1] - top[ix]);
            const double b = bottom[ix] + weight[x] * (bottom[ix + 1] - bottom[ix]);
            row[x] += float(amplitude * (a + wy * (b - a)));
        }
    }
}

// Octaves from half the shorter side down to a few pixels, stretched to
// the background's range. Floats: a large camera's texture is its largest
// table while the others are made.
std::vector<float> texture(uint32_t width, uint32_t lines, uint32_t seed)
{
    std::vector<float> sum(size_t(width) * lines, 0.0f);
    double amplitude = 1;
    uint64_t octave = 0;
    for (double cell = std::max(kFinestCell, std::min(width, lines) / 2.0); cell >= kFinestCell; cell /= 2) {
        addOctave(sum, width, lines, mix((uint64_t(seed) << 8) | octave++), cell, amplitude);
        amplitude *= kRoughness;
    }
    const auto [low, high] = std::minmax_element(sum.begin(), sum.end());
    const double lo = *low, span = std::max(*high - lo, 1e-9);
    for (float &v : sum) v = float(kDarkest + (kLightest - kDarkest) * (v - lo) / span);
    return sum;
}

// Vignetting along one axis of `extent` pixels: 1 at the centre, `edge` at
// both ends, falling with the square of the distance.
std::vector<float> shade(uint32_t extent, double edge)
{
    std::vector<float> factors(extent, 1.0f);
    const double half = (extent - 1) / 2.0;
    if (half <= 0) return factors;
    for (uint32_t i = 0; i < extent; ++i) {
        const double u = (i - half) / half;
        factors[i] = float(1 - (1 - edge) * u * u);
    }
    return factors;
}

// A standard normal deviate from one hash, by Box and Muller.
double normal(uint64_t bits)
{
    constexpr double kTwoPi = 6.283185307179586;
    const double u = (double(bits >> 40) + 0.5) / double(1 << 24);
    const double v = double((bits >> 16) & 0xFFFFFF) / double(1 << 24);
    return std::sqrt(-2 * std::log(u)) * std::cos(kTwoPi * v);
}

std::vector<float> normals(size_t count, uint64_t key)
{
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i) values[i] = float(normal(mix(key ^ i)));
    return values;
}

// The noise's standard deviation, in grey levels, over a signal of `level`.
double deviation(const SceneSensor &sensor, double top, double level)
{
    const double gain = electronsPerLevel(sensor, top);
    return std::sqrt(sensor.readNoise * sensor.readNoise + (gain > 0 ? level / gain : 0));
}

// The fixed pattern of a pixel in grey levels: an offset for its column and
// one for the pixel alone.
double fixedPattern(const SceneTables &t, uint32_t x, const float *pixelOffsets)
{
    return t.sensor.fixedPattern * (t.columnPattern[x] + kPixelPatternShare * pixelOffsets[x]);
}

// The integer tables: each pixel's level and noise at the camera's depth.
void buildShortTables(SceneTables &t)
{
    const double top = double((1u << t.bitDepth) - 1);
    const double scale = top / 65535;
    const double widest = deviation(t.sensor, top, top);
    // As many bits for sigma as fit, but at least 3: normals to 4 deviations
    // then still fit 16 bits at 2^13.
    t.sigmaBits = 15;
    while (t.sigmaBits > 3 && widest * (1 << t.sigmaBits) > kShortMax) --t.sigmaBits;
    // The product's high half is floored; a noisy pixel's level carries the
    // half level that makes it round instead.
    const double half = widest > 0 ? 0.5 : 0;
    t.levelBias = float(half);
    t.level.resize(size_t(t.width) * t.lines);
    for (uint32_t y = 0; y < t.lines; ++y) {
        const float *pixelOffsets = t.normals.data() + patternWindow(t, y);
        for (uint32_t x = 0; x < t.width; ++x) {
            const size_t i = size_t(y) * t.width + x;
            const double level = std::clamp(t.background[i] * scale + fixedPattern(t, x, pixelOffsets) + half, 0.0, top);
            t.level[i] = uint16_t(level) ^ kLevelOffset;
        }
    }
    // The deviation of each block of 2 x 2 pixels, at its mean signal.
    const uint32_t columns = sigmaColumns(t), rows = (t.lines + 1) / 2;
    t.sigma.resize(size_t(columns) * rows);
    for (uint32_t by = 0; by < rows; ++by)
        for (uint32_t bx = 0; bx < columns; ++bx) {
            double sum = 0;
            int n = 0;
            for (uint32_t y = 2 * by; y < std::min(2 * by + 2, t.lines); ++y)
                for (uint32_t x = 2 * bx; x < std::min(2 * bx + 2, t.width); ++x, ++n)
                    sum += t.background[size_t(y) * t.width + x] * scale;
            const double sigma = deviation(t.sensor, top, sum / n) * (1 << t.sigmaBits);
            t.sigma[size_t(by) * columns + bx] = int16_t(std::min<double>(kShortMax, std::lround(sigma)));
        }
    t.shortNormals.resize(t.normals.size());
    const double normalScale = double(1 << (16 - t.sigmaBits));
    for (size_t i = 0; i < t.normals.size(); ++i) {
        const double z = std::clamp<double>(t.normals[i], -kNormalClip, kNormalClip) * normalScale;
        t.shortNormals[i] = int16_t(std::clamp<long>(std::lround(z), -kShortMax, kShortMax));
    }
}

}  // namespace

double electronsPerLevel(const SceneSensor &sensor, double top)
{
    return sensor.autoGain ? kFullWellElectrons / top : sensor.gain;
}

size_t noiseWindow(const SceneTables &t, uint32_t frame, uint32_t y)
{
    return size_t(mix(mix((uint64_t(t.seed) << 32) | frame) ^ y) % (t.normals.size() - t.width));
}

size_t patternWindow(const SceneTables &t, uint32_t y)
{
    return size_t(mix(mix(~uint64_t(t.seed)) ^ y) % (t.normals.size() - t.width));
}

std::shared_ptr<const SceneTables> buildScene(uint32_t width, uint32_t lines, uint32_t bitDepth, uint32_t seed,
                                              const SceneSensor &sensor)
{
    auto scene = std::make_shared<SceneTables>();
    scene->width = width;
    scene->lines = lines;
    scene->seed = seed;
    scene->bitDepth = bitDepth;
    scene->sensor = sensor;
    // Per axis, so that the corners, the product of two edges, reach 1 - vignetting.
    const double edge = std::sqrt(1 - std::clamp(sensor.vignetting, 0.0, 1.0));
    scene->columnShade = shade(width, edge);
    scene->lineShade = shade(lines, edge);
    const std::vector<float> still = texture(width, lines, seed);
    scene->background.resize(still.size());
    for (uint32_t y = 0; y < lines; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = size_t(y) * width + x;
            const double lit = still[i] * scene->columnShade[x] * scene->lineShade[y];
            scene->background[i] = uint16_t(std::lround(std::clamp(lit, 0.0, 1.0) * 65535));
        }
    const uint64_t key = mix(uint64_t(seed) ^ 0x5CE4E000000000ull);
    scene->normals = normals(kNormalCount + width, key);
    scene->columnPattern = normals(width, mix(key));
    for (float &v : scene->columnPattern) v *= kColumnPatternShare;
    if (bitDepth <= kShortDepth) buildShortTables(*scene);
    return scene;
}

}  // namespace bfsim
