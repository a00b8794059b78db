/*
 * The scene as a sensor sees it: the same frames for a seed across the
 * whole depth, shot noise whose variance follows the signal while read
 * noise stays flat, a fixed pattern that stays put, darker corners under
 * vignetting, and frames written by the engine, by every path it takes,
 * that the checker accepts.
 */
#include <algorithm>
#include <cmath>

#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

std::string sceneCamera(uint32_t width, uint32_t lines, uint32_t depth, uint32_t bytesPerPixel,
                        const std::string &extra)
{
    return population(R"("trigMode":1,"source":"scene","width":)" + std::to_string(width) + R"(,"lines":)" +
                      std::to_string(lines) + R"(,"bitDepth":)" + std::to_string(depth) + R"(,"bytesPerPixel":)" +
                      std::to_string(bytesPerPixel) + (extra.empty() ? "" : "," + extra));
}

class Scene : public EngineTest {
protected:
    // Frame `frame` of the loaded camera as the checker renders it, one
    // value per pixel; the stamp's pixels hold 0.
    static std::vector<uint32_t> rendered(uint32_t width, uint32_t lines, uint32_t bytesPerPixel, uint32_t frame)
    {
        std::vector<uint8_t> bytes(size_t(width) * lines * bytesPerPixel);
        const bfsim_frame_format format{width, lines, width * bytesPerPixel, 0, 0, nullptr, 0};
        EXPECT_EQ(bfsim_render_frame(kType, 0, 0, bytes.data(), &format, frame), 0);
        std::vector<uint32_t> values(size_t(width) * lines);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = i * bytesPerPixel < 4 ? 0 : readLittleEndian(&bytes[i * bytesPerPixel], bytesPerPixel);
        return values;
    }
    // Frame `frame` of a scene camera with the `extra` members, loaded for it.
    std::vector<uint32_t> sceneFrame(uint32_t width, uint32_t lines, uint32_t depth, uint32_t bytesPerPixel,
                                     const std::string &extra, uint32_t frame)
    {
        loadConfig(sceneCamera(width, lines, depth, bytesPerPixel, extra));
        return rendered(width, lines, bytesPerPixel, frame);
    }
};

// Mean of a square block of a frame of `width` pixels a line.
double blockMean(const std::vector<uint32_t> &values, uint32_t width, uint32_t x0, uint32_t y0, uint32_t side)
{
    double sum = 0;
    for (uint32_t y = y0; y < y0 + side; ++y)
        for (uint32_t x = x0; x < x0 + side; ++x) sum += values[size_t(y) * width + x];
    return sum / (side * side);
}

TEST_F(Scene, IsTheSameForASeedDiffersForAnotherAndSpansTheDepth)
{
    constexpr uint32_t kW = 192, kL = 128;
    struct Case {
        uint32_t depth, bytesPerPixel;
    } const cases[] = {{8, 1}, {10, 2}, {16, 2}, {20, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " bits");
        const std::string extra = R"("noise":2,"fixedPatternNoise":1,"seed":)";
        const std::vector<uint32_t> first = sceneFrame(kW, kL, c.depth, c.bytesPerPixel, extra + "7", 3);
        EXPECT_EQ(rendered(kW, kL, c.bytesPerPixel, 3), first);
        const uint32_t top = (1u << c.depth) - 1;
        EXPECT_LT(*std::min_element(first.begin() + 4, first.end()), top / 8);
        EXPECT_GT(*std::max_element(first.begin(), first.end()), top / 8 * 7);
        const std::vector<uint32_t> other = sceneFrame(kW, kL, c.depth, c.bytesPerPixel, extra + "8", 3);
        size_t same = 0;
        for (size_t i = 0; i < first.size(); ++i) same += first[i] == other[i];
        EXPECT_LT(same, first.size() / 4) << "another seed, another texture and noise";
    }
}

// Per pixel over many frames: the median and, from the median absolute
// deviation, the variance, which frames with a shape over the pixel do not
// sway. Pixels are then pooled by their median into a dark and a bright set.
struct Pooled {
    double darkMean = 0, darkVariance = 0, brightMean = 0, brightVariance = 0;
    size_t dark = 0, bright = 0;
};

Pooled poolByLevel(const std::vector<std::vector<uint32_t>> &frames, double darkBelow, double brightAbove)
{
    constexpr double kMadToDeviation = 1.4826;
    Pooled p;
    std::vector<double> samples(frames.size()), deviations(frames.size());
    for (size_t i = 4; i < frames[0].size(); ++i) {
        for (size_t f = 0; f < frames.size(); ++f) samples[f] = frames[f][i];
        std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
        const double median = samples[samples.size() / 2];
        for (size_t f = 0; f < frames.size(); ++f) deviations[f] = std::fabs(frames[f][i] - median);
        std::nth_element(deviations.begin(), deviations.begin() + deviations.size() / 2, deviations.end());
        const double deviation = kMadToDeviation * deviations[deviations.size() / 2];
        if (median < darkBelow) {
            p.darkMean += median, p.darkVariance += deviation * deviation, ++p.dark;
        } else if (median > brightAbove) {
            p.brightMean += median, p.brightVariance += deviation * deviation, ++p.bright;
        }
    }
    p.darkMean /= p.dark, p.darkVariance /= p.dark, p.brightMean /= p.bright, p.brightVariance /= p.bright;
    return p;
}

TEST_F(Scene, ShotNoiseVarianceFollowsTheSignalAndReadNoiseDoesNot)
{
    constexpr uint32_t kW = 128, kL = 128, kFrames = 31, kFrameStep = 7;
    struct Case {
        const char *why, *sensor;
        bool shot;  // variance proportional to the signal; otherwise flat
    } const cases[] = {
        {"shot noise alone", R"("gain":"auto","noise":0)", true},
        {"a gain given in electrons", R"("gain":1.5,"noise":0)", true},
        {"read noise alone", R"("gain":0,"noise":6)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        loadConfig(sceneCamera(kW, kL, 12, 2, c.sensor));
        std::vector<std::vector<uint32_t>> frames;
        for (uint32_t f = 0; f < kFrames; ++f) frames.push_back(rendered(kW, kL, 2, f * kFrameStep));
        const Pooled p = poolByLevel(frames, 700, 1300);
        ASSERT_GT(p.dark, 500u);
        ASSERT_GT(p.bright, 500u);
        const double darkShare = p.darkVariance / p.darkMean, brightShare = p.brightVariance / p.brightMean;
        if (c.shot) {
            EXPECT_GT(p.brightVariance, 1.8 * p.darkVariance);
            EXPECT_GT(brightShare / darkShare, 0.6);
            EXPECT_LT(brightShare / darkShare, 1.6);
        } else {
            EXPECT_GT(p.brightVariance / p.darkVariance, 0.6);
            EXPECT_LT(p.brightVariance / p.darkVariance, 1.6);
            EXPECT_GT(p.darkVariance, 0.5 * 36);
            EXPECT_LT(p.darkVariance, 1.5 * 36);
        }
    }
}

TEST_F(Scene, FixedPatternStaysFromFrameToFrame)
{
    constexpr uint32_t kW = 160, kL = 120;
    const std::string quiet = R"("gain":0,"noise":0,"fixedPatternNoise":)";
    const std::vector<uint32_t> clean = sceneFrame(kW, kL, 12, 2, quiet + "0", 0);
    const std::vector<uint32_t> patterned = sceneFrame(kW, kL, 12, 2, quiet + "8", 0), next = rendered(kW, kL, 2, 1);
    size_t unchanged = 0, changed = 0;
    double sum = 0, squares = 0;
    for (size_t i = 4; i < clean.size(); ++i) {
        unchanged += patterned[i] == next[i];
        changed += patterned[i] != clean[i];
        const double d = double(patterned[i]) - double(clean[i]);
        sum += d, squares += d * d;
    }
    const double n = double(clean.size() - 4), spread = std::sqrt(squares / n - (sum / n) * (sum / n));
    EXPECT_GT(unchanged, clean.size() * 3 / 4) << "only the moving shapes change";
    EXPECT_GT(changed, clean.size() / 2);
    EXPECT_GT(spread, 5.0);
    EXPECT_LT(spread, 11.0);
}

TEST_F(Scene, VignettingDarkensTheCornersAndSparesTheCentre)
{
    constexpr uint32_t kSide = 256, kBlock = 12;
    const std::string quiet = R"("gain":0,"noise":0,"vignetting":)";
    const std::vector<uint32_t> flat = sceneFrame(kSide, kSide, 16, 2, quiet + "0", 0);
    const std::vector<uint32_t> shaded = sceneFrame(kSide, kSide, 16, 2, quiet + "0.5", 0);
    const uint32_t corners[][2] = {{4, 4}, {kSide - kBlock, 4}, {4, kSide - kBlock}, {kSide - kBlock, kSide - kBlock}};
    for (const auto &corner : corners) {
        const double ratio = blockMean(shaded, kSide, corner[0], corner[1], kBlock) /
                             blockMean(flat, kSide, corner[0], corner[1], kBlock);
        EXPECT_GT(ratio, 0.45) << corner[0] << ", " << corner[1];
        EXPECT_LT(ratio, 0.65) << corner[0] << ", " << corner[1];
    }
    const uint32_t centre = kSide / 2 - kBlock / 2;
    EXPECT_GT(blockMean(shaded, kSide, centre, centre, kBlock) / blockMean(flat, kSide, centre, centre, kBlock), 0.97);
}

// The engine writes a narrow frame line by line from a buffer, streams a
// large one, and codes three bytes a pixel one by one: each must be the
// frame the checker recomputes, and stay inside its lines.
TEST_F(Scene, EveryWritingPathGivesTheFrameTheCheckerExpects)
{
    struct Case {
        const char *why;
        Geometry g;
    } const cases[] = {
        {"8 bits", {96, 40, 1, 8, 96}},
        {"16 bits", {96, 40, 2, 16, 192}},
        {"10 bits, padded lines", {96, 40, 2, 10, 198}},
        {"12 bits in three bytes", {96, 40, 3, 12, 288}},
        {"a frame large enough to stream", {2048, 1100, 2, 16, 4096}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        const Geometry &g = c.g;
        const std::string sensor = R"("noise":3,"fixedPatternNoise":2,"vignetting":0.3)";
        openBoard(sceneCamera(g.width, g.lines, g.bitDepth, g.bytesPerPixel, sensor));
        Fenced buffer(size_t(g.stride) * g.lines);
        ASSERT_EQ(CiAqSetup(board, buffer.data(), uint32_t(buffer.size), int32_t(g.stride), 3, 4, 0, 0, 1, 1, 0), 0);
        for (uint32_t f = 0; f < 2; ++f) {
            ASSERT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
            ASSERT_EQ(CiAqWaitDone(board, 0), 0);
            EXPECT_TRUE(frameIs(buffer.data(), g, f));
        }
        EXPECT_TRUE(buffer.guardsIntact());
        ASSERT_EQ(CiBrdClose(board), 0);
        board = nullptr;
    }
}

}  // namespace
}  // namespace enginetest
