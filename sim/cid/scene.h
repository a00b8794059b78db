/*
 * The lifelike scene: a still textured background made once per camera,
 * bright shapes drifting over it, and a sensor model (shot noise, read
 * noise, fixed-pattern noise, vignetting). Everything slow is done once in
 * buildScene; a line of a frame is then a few passes over tables, each
 * vectorised by the compiler, with the frame's randomness chosen per line
 * from (seed, frame, line) so a frame stays a pure function of its number.
 */
#ifndef QOR_SIM_CID_SCENE_H
#define QOR_SIM_CID_SCENE_H

#include <cstdint>
#include <memory>
#include <vector>

namespace bfsim {

// The sensor the scene is seen through, as the configuration gives it.
struct SceneSensor {
    double readNoise = 0;     // standard deviation, grey levels
    double gain = 0;          // electrons per grey level; 0 with autoGain off: no shot noise
    bool autoGain = true;     // the full scale holds kFullWellElectrons
    double fixedPattern = 0;  // standard deviation of the fixed pattern, grey levels
    double vignetting = 0;    // 0..1: how much darker the corners are than the centre
};

// Electrons a pixel holds at full scale when the gain is left automatic.
constexpr double kFullWellElectrons = 10000;

// The shares of the fixed pattern's deviation that are per column and per
// pixel: 0.6^2 + 0.8^2 = 1, so together they make one deviation.
constexpr float kColumnPatternShare = 0.6f;
constexpr float kPixelPatternShare = 0.8f;

// The deepest camera whose frames are composed in 16-bit integers.
constexpr uint32_t kShortDepth = 16;

// The tables every frame of one camera's scene is composed from.
struct SceneTables {
    uint32_t width = 0, lines = 0, seed = 0;
    uint32_t bitDepth = 0;  // the camera's: the integer tables are at this depth
    SceneSensor sensor;
    // The background's photo signal, 65535 = full scale, vignetting applied.
    std::vector<uint16_t> background;
    // Vignetting is the product of a factor per column and one per line.
    std::vector<float> columnShade, lineShade;
    // Standard normal deviates; a line's noise is a window of them.
    std::vector<float> normals;
    // The per-column offsets of the fixed pattern, already weighted.
    std::vector<float> columnPattern;

    // For a camera of up to kShortDepth bits, where no shape is, a pixel is
    // level + (shortNormal * sigma >> 16), clamped to the depth: the still
    // background with its fixed pattern in grey levels, the standard
    // deviation of its noise scaled by 2^sigmaBits, and the normals by
    // 2^(16 - sigmaBits), so the product's high half is grey levels. The
    // background is smooth, so sigma is kept for blocks of 2 x 2 pixels,
    // which quarters what a frame reads of it.
    std::vector<uint16_t> level;  // stored less kLevelOffset (below)
    std::vector<int16_t> sigma;
    std::vector<int16_t> shortNormals;
    int sigmaBits = 0;
    float levelBias = 0;  // the half level a noisy level carries (see buildScene)
};

std::shared_ptr<const SceneTables> buildScene(uint32_t width, uint32_t lines, uint32_t bitDepth, uint32_t seed,
                                              const SceneSensor &sensor);

// Where the window of normals of line y starts: its noise in a frame, or,
// as frame-independent, its fixed pattern.
size_t noiseWindow(const SceneTables &scene, uint32_t frame, uint32_t y);
size_t patternWindow(const SceneTables &scene, uint32_t y);

// The levels are kept less 32768, as 16-bit signed numbers: a saturating
// signed add of the noise then clamps at 0 and 65535 in one operation, and
// flipping the top bit gives the unsigned level back.
constexpr uint16_t kLevelOffset = 0x8000;

// Entries per line of the sigma table: one per two pixels.
inline uint32_t sigmaColumns(const SceneTables &scene) { return (scene.width + 1) / 2; }

// Electrons per grey level at a full scale; 0 for no shot noise.
double electronsPerLevel(const SceneSensor &sensor, double top);

// Line y of frame `frame`, pixels 0 .. count - 1, at a bit depth. The three
// widths of value compute the same numbers.
void sceneLine(const SceneTables &scene, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count,
               uint32_t *out);
void sceneLine(const SceneTables &scene, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count,
               uint16_t *out);
void sceneLine(const SceneTables &scene, uint32_t frame, uint32_t bitDepth, uint32_t y, uint32_t count,
               uint8_t *out);

}  // namespace bfsim

#endif
