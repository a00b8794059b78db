/*
 * A line of the scene. At the camera's own depth (up to 16 bits) the still
 * background, fixed pattern included, and its noise's deviation are tables
 * of 16-bit integers: a line is one pass of a multiply and saturating adds
 * over them and a window of 16-bit normal deviates, eight pixels a step.
 * Only the pixels a shape reaches go through float passes: the background,
 * the shapes blended over it with anti-aliased edges, then the sensor
 * (fixed pattern, shot and read noise, rounding). Any other depth takes the
 * float passes for the whole line.
 *
 * A line's window of deviates starts at a hash of (seed, frame, line), so
 * no frame repeats another's noise and none needs state. The float
 * operations are the same in every width of value written, and this file
 * is built without contracting them into fused multiply-adds, so the
 * writer and the checker compute identical frames.
 */
#include <algorithm>
#include <cmath>
#include <iterator>
#include <type_traits>

#include "scene.h"
#include "source.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define QOR_SCENE_AVX2 1
#endif
// The float passes are inlined into one function built twice, for the
// baseline and for AVX2 (see drawShapes).
#if defined(__GNUC__)
#define QOR_SCENE_INLINE __attribute__((always_inline)) inline
#define QOR_SCENE_LAMBDA __attribute__((always_inline))
#else
#define QOR_SCENE_INLINE inline
#define QOR_SCENE_LAMBDA
#endif

namespace bfsim {
namespace {

enum class Outline { Disc, Square };

struct Shape {
    double x0, y0;   // starting centre, as a fraction of the frame
    double vx, vy;   // pixels per frame: sub-pixel steps, so edges glide
    double radius;   // as a fraction of the shorter side
    float level;     // brightness at the centre, share of full scale
    Outline outline;
};

constexpr Shape kShapes[] = {
    {0.25, 0.30, 2.37, 0.83, 0.09, 0.97f, Outline::Disc},
    {0.68, 0.62, -1.61, 1.29, 0.06, 0.78f, Outline::Square},
    {0.45, 0.78, 0.73, -2.11, 0.05, 0.66f, Outline::Disc},
    {0.82, 0.22, -0.91, -0.57, 0.04, 0.88f, Outline::Disc},
    {0.12, 0.70, 1.13, 1.71, 0.035, 0.60f, Outline::Square},
};

constexpr float kDiscFalloff = 0.3f;  // a disc is lit like a ball: darker toward its rim
// The largest float below 2^32, so a 32-bit full scale converts.
constexpr float kWidestTop = 4294967040.0f;

double wrap(double v, double extent)
{
    const double r = std::fmod(v, extent);
    return r < 0 ? r + extent : r;
}

// The signed distance from a to b across a wrap of `extent`, in [-extent/2, extent/2].
double wrappedOffset(double a, double b, double extent)
{
    double d = a - b;
    if (d > extent / 2) d -= extent;
    if (d < -extent / 2) d += extent;
    return d;
}

// A shape as it lies over one line of a frame.
struct Placed {
    const Shape *shape;
    double cx;      // its centre's column
    float dy, r;    // the line's offset from its centre, and its radius
    float value;    // its brightness on this line, grey levels, vignetted
};

// The shapes' centres in a frame, which every line of it asks for: kept
// for the last frame of the last geometry a thread rendered.
struct Centres {
    uint32_t width = 0, lines = 0, frame = 0;
    double x[std::size(kShapes)], y[std::size(kShapes)];
};

const Centres &centres(const SceneTables &t, uint32_t frame)
{
    thread_local Centres kept;
    if (kept.width == t.width && kept.lines == t.lines && kept.frame == frame) return kept;
    for (size_t i = 0; i < std::size(kShapes); ++i) {
        kept.x[i] = wrap(kShapes[i].x0 * t.width + kShapes[i].vx * frame, t.width);
        kept.y[i] = wrap(kShapes[i].y0 * t.lines + kShapes[i].vy * frame, t.lines);
    }
    kept.width = t.width, kept.lines = t.lines, kept.frame = frame;
    return kept;
}

// The shapes that reach line y in this frame.
size_t placeShapes(const SceneTables &t, uint32_t frame, uint32_t y, float top, Placed *placed)
{
    const double h = t.lines, side = std::min<double>(t.width, h);
    const Centres &at = centres(t, frame);
    size_t n = 0;
    for (size_t i = 0; i < std::size(kShapes); ++i) {
        const Shape &shape = kShapes[i];
        const double r = shape.radius * side;
        const double dy = wrappedOffset(y, at.y[i], h);
        if (std::fabs(dy) > r + 1) continue;
        placed[n++] = {&shape, at.x[i], float(dy), float(r), shape.level * top * t.lineShade[y]};
    }
    return n;
}

// Calls `span(first, end, centre)` for the pixels a placed shape reaches in
// [lo, hi): a shape leaving one edge enters at the other, so it is drawn
// at its centre and one frame-width either side.
template <class Span>
QOR_SCENE_INLINE void forEachSpan(const Placed &p, uint32_t width, int32_t lo, int32_t hi, Span span)
{
    // A disc reaches along its chord, one pixel more for its soft edge.
    const double outer = double(p.r) + 1, dy = p.dy;
    const double chord = std::sqrt(std::max(0.0, outer * outer - dy * dy));
    const double reach = p.shape->outline == Outline::Disc ? chord + 1 : outer;
    for (const double centre : {p.cx - width, p.cx, p.cx + width}) {
        const int64_t first = std::max<int64_t>(lo, int64_t(std::ceil(centre - reach)));
        const int64_t end = std::min<int64_t>(hi, int64_t(std::floor(centre + reach)) + 1);
        if (first < end) span(int32_t(first), int32_t(end), float(centre));
    }
}

QOR_SCENE_INLINE void photoSignal(const SceneTables &t, uint32_t y, float top, int32_t lo, int32_t hi,
                                  float *__restrict signal)
{
    const uint16_t *__restrict row = t.background.data() + size_t(y) * t.width;
    const float scale = top / 65535.0f;
    for (int32_t x = lo; x < hi; ++x) signal[x] = float(row[x]) * scale;
}

QOR_SCENE_INLINE float coverage(float inside) { return std::min(std::max(inside, 0.0f), 1.0f); }

// Blends a shape centred on column `centre` into pixels [first, end).
QOR_SCENE_INLINE void blendSpan(const Placed &p, const SceneTables &t, float centre, int32_t first, int32_t end,
                                float *__restrict signal)
{
    const float *__restrict columnShade = t.columnShade.data();
    const float r = p.r, dy = p.dy, value = p.value;
    if (p.shape->outline == Outline::Square) {
        const float rows = coverage(r + 0.5f - std::fabs(dy));
        for (int32_t x = first; x < end; ++x) {
            const float cover = rows * coverage(r + 0.5f - std::fabs(float(x) - centre));
            signal[x] += cover * (value * columnShade[x] - signal[x]);
        }
        return;
    }
    const float rr = r * r, dy2 = dy * dy;
    for (int32_t x = first; x < end; ++x) {
        const float dx = float(x) - centre;
        const float d2 = dx * dx + dy2;
        const float cover = coverage(r + 0.5f - std::sqrt(d2));
        const float lit = value * (1.0f - kDiscFalloff * std::min(d2 / rr, 1.0f));
        signal[x] += cover * (lit * columnShade[x] - signal[x]);
    }
}

// The photo signal of pixels [lo, hi) from the integer levels, which the
// last pass has just read: the level less its bias and fixed pattern.
QOR_SCENE_INLINE void levelSignal(const SceneTables &t, uint32_t y, int32_t lo, int32_t hi,
                                  float *__restrict signal)
{
    const uint16_t *__restrict row = t.level.data() + size_t(y) * t.width;
    const float bias = t.levelBias, pattern = float(t.sensor.fixedPattern);
    for (int32_t x = lo; x < hi; ++x) signal[x] = float(row[x] ^ kLevelOffset) - bias;
    if (pattern == 0) return;
    const float *__restrict pixelPattern = t.normals.data() + patternWindow(t, y);
    const float *__restrict columnPattern = t.columnPattern.data();
    for (int32_t x = lo; x < hi; ++x)
        signal[x] = std::max(0.0f, signal[x] - pattern * (columnPattern[x] + kPixelPatternShare * pixelPattern[x]));
}

// Where the background of a line comes from.
enum class Background { Photo, Levels };

// The photo signal of pixels [lo, hi): the background, then every shape
// over it in order, the last drawn on top.
QOR_SCENE_INLINE void signalSpan(const SceneTables &t, uint32_t y, float top, const Placed *placed, size_t shapes,
                                 int32_t lo, int32_t hi, Background from, float *signal)
{
    if (from == Background::Photo)
        photoSignal(t, y, top, lo, hi, signal);
    else
        levelSignal(t, y, lo, hi, signal);
    for (size_t i = 0; i < shapes; ++i)
        forEachSpan(placed[i], t.width, lo, hi, [&](int32_t first, int32_t end, float centre) QOR_SCENE_LAMBDA {
            blendSpan(placed[i], t, centre, first, end, signal);
        });
}

template <class Out> QOR_SCENE_INLINE Out converted(float v)
{
    if constexpr (sizeof(Out) == 4) return Out(int64_t(v));
    else return Out(int32_t(v));
}

// The sensor over pixels [lo, hi) of a photo signal: fixed pattern, then
// shot and read noise from `noise` (deviates times `noiseScale`), rounded
// and clamped to the depth.
template <class Out, class Normal>
QOR_SCENE_INLINE void sensorSpan(const SceneTables &t, uint32_t y, float top, int32_t lo, int32_t hi,
                                 const float *__restrict signal, const Normal *__restrict noise, float noiseScale,
                                 Out *__restrict out)
{
    const SceneSensor &sensor = t.sensor;
    const float *__restrict pixelPattern = t.normals.data() + patternWindow(t, y);
    const float *__restrict columnPattern = t.columnPattern.data();
    const float read2 = float(sensor.readNoise * sensor.readNoise);
    const float gain = float(electronsPerLevel(sensor, top));
    const float shot = gain > 0 ? 1.0f / gain : 0.0f;  // variance per grey level of signal
    const float pattern = float(sensor.fixedPattern);
    const float ceiling = std::min(top, kWidestTop);
    const auto pixel = [&](int32_t x, float fixed) {
        const float s = signal[x];
        const float v = s + fixed + float(noise[x]) * noiseScale * std::sqrt(read2 + s * shot);
        out[x] = converted<Out>(std::min(std::max(v, 0.0f), ceiling) + 0.5f);
    };
    // Without a fixed pattern its tables are not read at all.
    if (pattern == 0) {
        for (int32_t x = lo; x < hi; ++x) pixel(x, 0.0f);
        return;
    }
    for (int32_t x = lo; x < hi; ++x) pixel(x, pattern * (columnPattern[x] + kPixelPatternShare * pixelPattern[x]));
}

float *signalLine(uint32_t count)
{
    thread_local std::vector<float> signal;
    if (signal.size() < count) signal.resize(count);
    return signal.data();
}

// Any depth: every pixel through the float passes.
template <class Out>
void floatLine(const SceneTables &t, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count, Out *out)
{
    const float top = float(depthMask(bitDepth));
    Placed placed[std::size(kShapes)];
    const size_t shapes = placeShapes(t, frame, y, top, placed);
    float *signal = signalLine(count);
    signalSpan(t, y, top, placed, shapes, 0, int32_t(count), Background::Photo, signal);
    sensorSpan(t, y, top, 0, int32_t(count), signal, t.normals.data() + noiseWindow(t, frame, y), 1.0f, out);
}

// out = clamp(level + (normal * sigma >> 16), 0, top), sigma[x / 2] serving
// pixel x, the levels stored less kLevelOffset. The plain loop is the
// definition; the SSE2 and AVX2 loops give the same numbers, eight and
// sixteen pixels a step, from the high half of 16-bit products and
// saturating signed adds.
void addNoisePlain(const uint16_t *level, const int16_t *sigma, const int16_t *normal, uint16_t top, uint32_t from,
                   uint32_t count, uint16_t *out)
{
    for (uint32_t x = from; x < count; ++x) {
        const int32_t n = (int32_t(normal[x]) * sigma[x / 2]) >> 16;  // floored, as the high half is
        out[x] = uint16_t(std::clamp<int32_t>(int32_t(level[x] ^ kLevelOffset) + n, 0, top));
    }
}

#if defined(__SSE2__)
__m128i noisy(__m128i level, __m128i normal, __m128i sigma, __m128i top)
{
    const __m128i v = _mm_xor_si128(_mm_adds_epi16(level, _mm_mulhi_epi16(normal, sigma)),
                                    _mm_set1_epi16(int16_t(kLevelOffset)));
    return _mm_sub_epi16(v, _mm_subs_epu16(v, top));  // min(v, top)
}

// How far ahead of the pass the levels are asked for: the memory's latency,
// more than its bandwidth, is what the pass waits for (measured: 10 to 15 %
// less CPU a 2048 x 2048 frame than without).
constexpr uintptr_t kPrefetchBytes = 8192;

// A hint only: an address past the table is never read, and is made as a
// number so no pointer leaves its array.
void prefetchAhead(const uint16_t *level)
{
    _mm_prefetch(reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(level) + kPrefetchBytes), _MM_HINT_T0);
}

uint32_t addNoiseSse2(const uint16_t *level, const int16_t *sigma, const int16_t *normal, uint16_t top,
                      uint32_t count, uint16_t *out)
{
    const __m128i ceiling = _mm_set1_epi16(int16_t(top));
    uint32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        prefetchAhead(level + x);
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i *>(sigma + x / 2));
        for (uint32_t half = 0; half < 2; ++half) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(level + x + 8 * half));
            const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i *>(normal + x + 8 * half));
            const __m128i s = half ? _mm_unpackhi_epi16(pairs, pairs) : _mm_unpacklo_epi16(pairs, pairs);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x + 8 * half), noisy(l, z, s, ceiling));
        }
    }
    return x;
}
#endif

#if defined(QOR_SCENE_AVX2)
// Sixteen pixels from eight deviations, each widened to 32 bits and doubled
// into both halves.
__attribute__((target("avx2"), always_inline)) inline void noisy16(const uint16_t *level, const int16_t *sigma,
                                                                   const int16_t *normal, __m256i flip,
                                                                   __m256i ceiling, uint32_t x, uint16_t *out)
{
    const __m256i wide = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(sigma + x / 2)));
    const __m256i s = _mm256_or_si256(wide, _mm256_slli_epi32(wide, 16));
    const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(level + x));
    const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(normal + x));
    const __m256i v = _mm256_xor_si256(_mm256_adds_epi16(l, _mm256_mulhi_epi16(z, s)), flip);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x), _mm256_min_epu16(v, ceiling));
}

__attribute__((target("avx2"))) uint32_t addNoiseAvx2(const uint16_t *level, const int16_t *sigma,
                                                      const int16_t *normal, uint16_t top, uint32_t count,
                                                      uint16_t *out)
{
    const __m256i flip = _mm256_set1_epi16(int16_t(kLevelOffset)), ceiling = _mm256_set1_epi16(int16_t(top));
    uint32_t x = 0;
    for (; x + 32 <= count; x += 32) {
        prefetchAhead(level + x);
        noisy16(level, sigma, normal, flip, ceiling, x, out);
        noisy16(level, sigma, normal, flip, ceiling, x + 16, out);
    }
    for (; x + 16 <= count; x += 16) noisy16(level, sigma, normal, flip, ceiling, x, out);
    return x;
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

void addNoise(const uint16_t *level, const int16_t *sigma, const int16_t *normal, uint16_t top, uint32_t count,
              uint16_t *out)
{
    uint32_t done = 0;
#if defined(QOR_SCENE_AVX2)
    if (haveAvx2()) done = addNoiseAvx2(level, sigma, normal, top, count, out);
    else
#endif
#if defined(__SSE2__)
        done = addNoiseSse2(level, sigma, normal, top, count, out);
#endif
    addNoisePlain(level, sigma, normal, top, done, count, out);
}

// The pixels of a line the shapes reach, through the float passes.
struct ShapeLine {
    const SceneTables *t;
    uint32_t y;
    float top;
    Placed placed[std::size(kShapes)];
    size_t shapes;
    uint32_t count;
    const int16_t *normal;
    float normalScale;
    float *signal;
    uint16_t *out;
};

QOR_SCENE_INLINE void drawShapesOn(const ShapeLine &l)
{
    for (size_t i = 0; i < l.shapes; ++i)
        forEachSpan(l.placed[i], l.t->width, 0, int32_t(l.count), [&](int32_t first, int32_t end, float) QOR_SCENE_LAMBDA {
            signalSpan(*l.t, l.y, l.top, l.placed, l.shapes, first, end, Background::Levels, l.signal);
            sensorSpan(*l.t, l.y, l.top, first, end, l.signal, l.normal, l.normalScale, l.out);
        });
}

void drawShapesBaseline(const ShapeLine &l) { drawShapesOn(l); }

#if defined(QOR_SCENE_AVX2)
__attribute__((target("avx2"))) void drawShapesAvx2(const ShapeLine &l) { drawShapesOn(l); }
#endif

// The same float operations either way, so the same numbers.
void drawShapes(const ShapeLine &l)
{
#if defined(QOR_SCENE_AVX2)
    if (haveAvx2()) return drawShapesAvx2(l);
#endif
    drawShapesBaseline(l);
}

// The camera's own depth, up to 16 bits: the background and its noise from
// the integer tables, and only the pixels a shape reaches through the float
// passes.
void shortLine(const SceneTables &t, uint32_t frame, uint32_t y, uint32_t count, uint16_t *out)
{
    const size_t row = size_t(y) * t.width;
    const uint16_t top = uint16_t(depthMask(t.bitDepth));
    const int16_t *normal = t.shortNormals.data() + noiseWindow(t, frame, y);
    const int16_t *sigma = t.sigma.data() + size_t(y / 2) * sigmaColumns(t);
    addNoise(t.level.data() + row, sigma, normal, top, count, out);
    ShapeLine line{};
    line.shapes = placeShapes(t, frame, y, top, line.placed);
    if (line.shapes == 0) return;
    line.t = &t;
    line.y = y;
    line.top = top;
    line.count = count;
    line.normal = normal;
    line.normalScale = 1.0f / float(1 << (16 - t.sigmaBits));
    line.signal = signalLine(count);
    line.out = out;
    drawShapes(line);
}

template <class Out>
void composeLine(const SceneTables &t, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count, Out *out)
{
    if (y >= t.lines || count > t.width) {
        std::fill(out, out + count, Out(0));
        return;
    }
    if (bitDepth != t.bitDepth || t.level.empty()) return floatLine(t, frame, bitDepth, y, count, out);
    if constexpr (std::is_same_v<Out, uint16_t>) {
        shortLine(t, frame, y, count, out);
    } else {
        thread_local std::vector<uint16_t> values;
        if (values.size() < count) values.resize(count);
        shortLine(t, frame, y, count, values.data());
        std::copy(values.begin(), values.begin() + count, out);
    }
}

}  // namespace

void sceneLine(const SceneTables &t, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count, uint32_t *out)
{
    composeLine(t, frame, bitDepth, y, count, out);
}

void sceneLine(const SceneTables &t, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count, uint16_t *out)
{
    composeLine(t, frame, bitDepth, y, count, out);
}

void sceneLine(const SceneTables &t, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count, uint8_t *out)
{
    composeLine(t, frame, bitDepth, y, count, out);
}

}  // namespace bfsim
