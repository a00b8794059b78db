/*
 * What the camera shows: the scene is the same for a seed and spans the
 * whole depth; replayed files arrive as they are on disk, converted to the
 * camera's depth and looping; and the one frame checker says which frame a
 * buffer holds and where it differs.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sim/sim_engine_fixture.h"

namespace enginetest {
namespace {

#if defined(_WIN32)
int setenv(const char *name, const char *value, int) { return _putenv_s(name, value); }
int unsetenv(const char *name) { return _putenv_s(name, ""); }
#endif

constexpr uint32_t kWidth = 16, kLines = 8;

// A binary PGM of kWidth x kLines whose pixel i holds values[i].
void writePgm(const std::string &path, const std::vector<uint32_t> &values, uint32_t maxValue)
{
    std::ofstream out(path, std::ios::binary);
    out << "P5\n# made by a test\n" << kWidth << " " << kLines << "\n" << maxValue << "\n";
    for (uint32_t v : values) {
        if (maxValue > 255) out.put(char(v >> 8));  // two-byte samples are big-endian
        out.put(char(v & 0xFF));
    }
}

// An uncompressed one-strip grey TIFF of kWidth x kLines, 8 or 16 bits,
// little-endian: the fewest tags a reader needs.
void writeTiff(const std::string &path, const std::vector<uint32_t> &values, uint32_t bits)
{
    std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto put16 = [&](uint32_t v) { bytes.push_back(uint8_t(v)); bytes.push_back(uint8_t(v >> 8)); };
    const auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    const uint32_t pixelBytes = kWidth * kLines * bits / 8;
    const uint16_t kShort = 3, kLong = 4;
    const struct { uint16_t tag, type; uint32_t value; } entries[] = {
        {256, kShort, kWidth}, {257, kShort, kLines}, {258, kShort, bits}, {259, kShort, 1},
        {262, kShort, 1}, {273, kLong, 0 /* patched below */}, {277, kShort, 1},
        {278, kShort, kLines}, {279, kLong, pixelBytes}};
    const uint32_t count = sizeof entries / sizeof entries[0];
    const uint32_t pixelsAt = 8 + 2 + count * 12 + 4;
    put16(count);
    for (const auto &e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(1);
        put32(e.tag == 273 ? pixelsAt : e.value);
    }
    put32(0);  // no further directory
    for (uint32_t v : values) bits == 8 ? bytes.push_back(uint8_t(v)) : put16(v);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint32_t> gradient(uint32_t offset, uint32_t maxValue)
{
    std::vector<uint32_t> values(kWidth * kLines);
    for (uint32_t i = 0; i < values.size(); ++i) values[i] = (i * 37 + offset) % (maxValue + 1);
    return values;
}

class Sources : public EngineTest {
protected:
    std::vector<std::string> made;
    std::vector<uint8_t> frame_;
    CiBoardHandle setUpFor_ = nullptr;

    void TearDown() override
    {
        unsetenv("QOR_SIM_CONFIG");
        for (const std::string &path : made) std::remove(path.c_str());
        EngineTest::TearDown();
    }
    // A path in the temporary folder, with forward slashes: it goes into
    // JSON text as it is, and Windows takes them too.
    std::string temp(const std::string &name)
    {
        std::string path = ::testing::TempDir() + "sim_sources_" + name;
        std::replace(path.begin(), path.end(), '\\', '/');
        made.push_back(path);
        return path;
    }
    // Snaps the next frame into a buffer of the camera's size, set up once
    // per board so that frames are numbered on from 0.
    std::vector<uint8_t> snapFrame(uint32_t bytesPerPixel)
    {
        if (setUpFor_ != board || frame_.size() != kWidth * kLines * bytesPerPixel) {
            frame_.assign(kWidth * kLines * bytesPerPixel, kPoison);
            EXPECT_EQ(CiAqSetup(board, frame_.data(), uint32_t(frame_.size()), kWidth * bytesPerPixel, 3, 4, 0, 0, 1, 1, 0), 0);
            setUpFor_ = board;
        }
        EXPECT_EQ(CiAqCommand(board, 2, 2, 0, 0), 0);
        EXPECT_EQ(CiAqWaitDone(board, 0), 0);
        return frame_;
    }
    static bfsim_frame_format format(uint32_t bytesPerPixel)
    {
        return bfsim_frame_format{kWidth, kLines, kWidth * bytesPerPixel, 0, 0, nullptr, 0};
    }
    static std::vector<uint8_t> render(uint32_t frame, uint32_t bytesPerPixel)
    {
        std::vector<uint8_t> out(kWidth * kLines * bytesPerPixel);
        const bfsim_frame_format f = format(bytesPerPixel);
        EXPECT_EQ(bfsim_render_frame(kType, 0, 0, out.data(), &f, frame), 0);
        return out;
    }
    // Pixel values of a frame, the stamp's pixels left out.
    static std::vector<uint32_t> pixels(const std::vector<uint8_t> &frame, uint32_t bytesPerPixel)
    {
        std::vector<uint32_t> values;
        for (size_t i = 4 / bytesPerPixel; i < frame.size() / bytesPerPixel; ++i)
            values.push_back(readLittleEndian(&frame[i * bytesPerPixel], bytesPerPixel));
        return values;
    }
    static std::vector<uint32_t> withoutStamp(std::vector<uint32_t> values, uint32_t bytesPerPixel)
    {
        values.erase(values.begin(), values.begin() + 4 / bytesPerPixel);
        return values;
    }
    std::string replayCamera(const std::string &files, uint32_t depth, uint32_t bytesPerPixel)
    {
        return population(R"("width":16,"lines":8,"trigMode":1,"framePeriodUs":50,"bitDepth":)" +
                          std::to_string(depth) + R"(,"bytesPerPixel":)" + std::to_string(bytesPerPixel) +
                          R"(,"source":"files","files":)" + files);
    }
};

TEST_F(Sources, SceneIsTheSameForASeedMovesAndSpansTheDepth)
{
    const std::string scene = R"("width":16,"lines":8,"trigMode":1,"bitDepth":12,"bytesPerPixel":2,)"
                              R"("source":"scene","noise":3,"seed":)";
    openBoard(population(scene + "5"));
    for (uint32_t f = 0; f < 3; ++f) {
        const std::vector<uint8_t> frame = snapFrame(2);
        const bfsim_frame_format fmt = format(2);
        char why[128] = "";
        EXPECT_EQ(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, f, why, sizeof why), 0) << why;
        EXPECT_EQ(render(f, 2), frame);
    }
    const std::vector<uint8_t> seeded = render(1, 2);
    EXPECT_EQ(render(1, 2), seeded);
    EXPECT_NE(pixels(render(9, 2), 2), pixels(seeded, 2)) << "the shapes move";
    loadConfig(population(scene + "6"));
    EXPECT_NE(pixels(render(1, 2), 2), pixels(seeded, 2)) << "another seed, other noise";

    // The whole 12-bit range is in use: dark background, bright shapes.
    loadConfig(population(R"("width":256,"lines":128,"bitDepth":12,"bytesPerPixel":2,"source":"scene")"));
    std::vector<uint8_t> big(256 * 128 * 2);
    const bfsim_frame_format fmt{256, 128, 512, 0, 0, nullptr, 0};
    ASSERT_EQ(bfsim_render_frame(kType, 0, 0, big.data(), &fmt, 0), 0);
    const std::vector<uint32_t> values = pixels(big, 2);
    EXPECT_LT(*std::min_element(values.begin(), values.end()), 4095u / 8);
    EXPECT_GT(*std::max_element(values.begin(), values.end()), 4095u * 7 / 8);
}

TEST_F(Sources, ReplayedFramesAreTheFilesAtTheCameraDepthInALoop)
{
    struct Case {
        const char *why;
        uint32_t fileMax, depth, bytesPerPixel;
    } const cases[] = {{"8-bit files, 8-bit camera", 255, 8, 1}, {"16-bit files, 12-bit camera", 65535, 12, 2},
                       {"8-bit files, 10-bit camera", 255, 10, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::vector<uint32_t>> images;
        std::string list = "[";
        for (uint32_t i = 0; i < 3; ++i) {
            images.push_back(gradient(i * 11, c.fileMax));
            const std::string path = temp(std::to_string(c.fileMax) + "_" + std::to_string(i) + ".pgm");
            writePgm(path, images.back(), c.fileMax);
            list += std::string(i ? "," : "") + "\"" + path + "\"";
        }
        openBoard(replayCamera(list + "]", c.depth, c.bytesPerPixel));
        const uint32_t top = (1u << c.depth) - 1;
        for (uint32_t f = 0; f < 4; ++f) {
            std::vector<uint32_t> expected;
            for (uint32_t v : images[f % 3]) expected.push_back(uint32_t((uint64_t(v) * top + c.fileMax / 2) / c.fileMax));
            EXPECT_EQ(pixels(snapFrame(c.bytesPerPixel), c.bytesPerPixel), withoutStamp(expected, c.bytesPerPixel))
                << "frame " << f;
        }
        ASSERT_EQ(CiBrdClose(board), 0);
    }
}

// Without the stamp a replayed frame is the file, every byte of it, and the
// checker compares the pixels the stamp would have covered too.
TEST_F(Sources, WithoutTheStampReplayedFilesArriveByteForByte)
{
    std::vector<std::vector<uint8_t>> files;
    std::string list = "[";
    for (uint32_t i = 0; i < 2; ++i) {
        const std::vector<uint32_t> values = gradient(i * 5 + 1, 255);
        files.emplace_back(values.begin(), values.end());
        const std::string path = temp("unstamped_" + std::to_string(i) + ".pgm");
        writePgm(path, values, 255);
        list += std::string(i ? "," : "") + "\"" + path + "\"";
    }
    openBoard(replayCamera(list + R"(],"stamp":false)", 8, 1));
    const bfsim_frame_format fmt = format(1);
    for (uint32_t f = 0; f < 3; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        std::vector<uint8_t> frame = snapFrame(1);
        EXPECT_EQ(frame, files[f % 2]);
        EXPECT_EQ(render(f, 1), frame);
        char why[128] = "";
        EXPECT_EQ(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, f, why, sizeof why), 0) << why;
        frame[0] ^= 1;
        EXPECT_NE(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, f, nullptr, 0), 0)
            << "the first pixel is compared, not taken for a stamp";
    }
}

TEST_F(Sources, TiffFilesReplayWhereTheBuildReadsThem)
{
    const std::vector<uint32_t> narrow = gradient(3, 255), wide = gradient(5, 65535);
    const std::string eight = temp("eight.tif"), sixteen = temp("sixteen.tif");
    writeTiff(eight, narrow, 8);
    writeTiff(sixteen, wide, 16);
    const std::string camera = replayCamera("[\"" + eight + "\", \"" + sixteen + "\"]", 16, 2);
#if defined(_WIN32)
    // The Windows build has no libtiff: the file is refused by name.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(bfsim_load_config(camera.c_str()), -1);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find(eight), std::string::npos) << message;
    EXPECT_NE(message.find("TIFF"), std::string::npos) << message;
#else
    openBoard(camera);
    std::vector<uint32_t> scaled;
    for (uint32_t v : narrow) scaled.push_back(uint32_t((uint64_t(v) * 65535 + 127) / 255));
    EXPECT_EQ(pixels(snapFrame(2), 2), withoutStamp(scaled, 2));
    EXPECT_EQ(pixels(snapFrame(2), 2), withoutStamp(wide, 2));
#endif
}

TEST_F(Sources, FolderReplaysInNameOrderAndPathsAreRelativeToThePopulationFile)
{
    const std::string dir = temp("folder");
    std::remove(dir.c_str());
#if defined(_WIN32)
    ASSERT_EQ(std::system(("mkdir \"" + dir + "\"").c_str()), 0);
#else
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
#endif
    const std::vector<uint32_t> first = gradient(1, 255), second = gradient(2, 255);
    writePgm(dir + "/b.pgm", second, 255);
    writePgm(dir + "/a.pgm", first, 255);
    made.insert(made.begin(), {dir + "/a.pgm", dir + "/b.pgm"});

    const std::string config = temp("relative.json");
    std::ofstream(config) << replayCamera("\"sim_sources_folder\"", 8, 1);
    setenv("QOR_SIM_CONFIG", config.c_str(), 1);
    bfsim_reset();
    openBoard();
    EXPECT_EQ(pixels(snapFrame(1), 1), withoutStamp(first, 1));
    EXPECT_EQ(pixels(snapFrame(1), 1), withoutStamp(second, 1));
}

TEST_F(Sources, FileOfAnotherSizeOrFormatIsAConfigErrorNamingIt)
{
    const std::string small = temp("small.pgm");
    std::ofstream(small, std::ios::binary) << "P5 4 4 255\n" << std::string(16, '\x10');
    const std::string text = temp("text.pgm");
    std::ofstream(text) << "not an image";
    for (const std::string &path : {small, text}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(bfsim_load_config(replayCamera("[\"" + path + "\"]", 8, 1).c_str()), -1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find("files"), std::string::npos) << message;
    }
}

TEST_F(Sources, CheckerNamesTheStampOrFirstPixelThatDiffers)
{
    openBoard(population(R"("width":16,"lines":8,"trigMode":1,"source":"scene","noise":1)"));
    std::vector<uint8_t> frame = snapFrame(1);
    const bfsim_frame_format fmt = format(1);
    char why[128] = "";
    EXPECT_EQ(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, 0, why, sizeof why), 0) << why;
    EXPECT_NE(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, 1, why, sizeof why), 0);
    EXPECT_NE(std::string(why).find("stamp"), std::string::npos) << why;
    frame[2 * kWidth + 5] ^= 0x40;
    EXPECT_NE(bfsim_check_frame(kType, 0, 0, frame.data(), &fmt, 0, why, sizeof why), 0);
    EXPECT_NE(std::string(why).find("(5, 2)"), std::string::npos) << why;
    EXPECT_NE(bfsim_check_frame(kType, 1, 0, frame.data(), &fmt, 0, why, sizeof why), 0) << "no such board";
}

}  // namespace
}  // namespace enginetest
