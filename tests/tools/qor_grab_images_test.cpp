// qor-grab's PNG and TIFF files, written by the built program on the
// simulator and read back with libpng, libtiff and tiffinfo.
#include <gtest/gtest.h>

#if QOR_GRAB_HAVE_PNG && QOR_GRAB_HAVE_TIFF
#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bfsim.h"
#include "tools/grey_png.h"
#include "tools/qor_grab_process.h"

namespace {

using namespace qortest;

// One grey image as read back: its sample size and its samples.
struct Image {
    uint32_t width = 0, lines = 0, bits = 0, significantBits = 0;
    std::vector<uint32_t> samples;
    std::string pageName, description, dateTime;
    uint32_t at(uint32_t x, uint32_t y) const { return samples[size_t{y} * width + x]; }
};

Image readPng(const fs::path &path)
{
    Image image;
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return image;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Image{};
    }
    png_init_io(png, file.get());
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    EXPECT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_GRAY);
    image.width = png_get_image_width(png, info);
    image.lines = png_get_image_height(png, info);
    image.bits = png_get_bit_depth(png, info);
    png_color_8p significant = nullptr;
    image.significantBits =
        png_get_sBIT(png, info, &significant) ? significant->gray : image.bits;
    png_bytepp rows = png_get_rows(png, info);
    for (uint32_t y = 0; y < image.lines; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            image.samples.push_back(image.bits == 16 ? (rows[y][2 * x] << 8) | rows[y][2 * x + 1]
                                                     : rows[y][x]);
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}

std::string tiffText(TIFF *tiff, uint32_t tag)
{
    const char *text = nullptr;
    return TIFFGetField(tiff, tag, &text) && text ? text : "";
}

// Every page of a TIFF file.
std::vector<Image> readTiff(const fs::path &path)
{
    std::vector<Image> pages;
    TIFF *tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return pages;
    do {
        Image image;
        uint16_t bits = 0, samplesPerPixel = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &image.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &image.lines);
        TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
        EXPECT_EQ(samplesPerPixel, 1);
        image.bits = bits;
        image.pageName = tiffText(tiff, TIFFTAG_PAGENAME);
        image.description = tiffText(tiff, TIFFTAG_IMAGEDESCRIPTION);
        image.dateTime = tiffText(tiff, TIFFTAG_DATETIME);
        std::vector<uint8_t> line(TIFFScanlineSize(tiff));
        for (uint32_t y = 0; y < image.lines; ++y) {
            TIFFReadScanline(tiff, line.data(), y);
            for (uint32_t x = 0; x < image.width; ++x) {
                uint32_t value = 0;
                std::memcpy(&value, line.data() + size_t{x} * (bits / 8), bits / 8);
                image.samples.push_back(value);
            }
        }
        pages.push_back(std::move(image));
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return pages;
}

// The first pixel of line 1 that is not the moving pattern of `frame`.
std::string patternMismatch(const Image &image, uint32_t frame, uint32_t depth)
{
    for (uint32_t y = 1; y < image.lines; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            if (image.at(x, y) != bfsim_pattern_value(x, y, frame, depth))
                return "(" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                       std::to_string(image.at(x, y));
    return "";
}

uint32_t frameNumberOf(const Image &image)
{
    return image.at(0, 0) | image.at(1, 0) << 8 | image.at(2, 0) << 16 | image.at(3, 0) << 24;
}

class QorGrabImages : public QorGrabProcess {};

TEST_F(QorGrabImages, PngIsEightOrSixteenBitGrey)
{
    struct Case {
        uint32_t depth, bytesPerPixel, bits;
    };
    for (const Case c : {Case{8, 1, 8}, Case{12, 2, 16}, Case{16, 2, 16}}) {
        SCOPED_TRACE(c.depth);
        const fs::path out = dir_ / ("png" + std::to_string(c.depth));
        const Result r = run("snap --frames 2 --out '" + out.string() + "'",
                             population(camera(40, 12, c.depth, c.bytesPerPixel)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto files = frames(out);
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[1].filename(), "frame_000001.png");
        const Image image = readPng(files[1]);
        EXPECT_EQ(image.width, 40u);
        EXPECT_EQ(image.lines, 12u);
        EXPECT_EQ(image.bits, c.bits);
        EXPECT_EQ(image.significantBits, c.depth);
        EXPECT_EQ(patternMismatch(image, 1, c.depth), "");
    }
}

TEST_F(QorGrabImages, DisplayPngIsEightBitOverTheFullRange)
{
    struct Case {
        uint32_t depth, bytesPerPixel;
    };
    for (const Case c : {Case{8, 1}, Case{12, 2}, Case{16, 2}}) {
        SCOPED_TRACE(c.depth);
        const fs::path out = dir_ / ("display" + std::to_string(c.depth));
        // Wide enough for the ramp to reach the top of a 12-bit range.
        const Result r = run("snap --display --out '" + out.string() + "'",
                             population(camera(4200, 3, c.depth, c.bytesPerPixel)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Image header = readPng(out / "frame_000000.png");
        EXPECT_EQ(header.bits, 8u);
        EXPECT_EQ(header.significantBits, 8u);
        const GreyPng png = decodeGreyPng(readFile(out / "frame_000000.png"));
        ASSERT_EQ(png.width, 4200u);
        const uint32_t full = (1u << c.depth) - 1;
        std::string mismatch;
        uint32_t brightest = 0;
        for (uint32_t x = 0; x < png.width && mismatch.empty(); ++x) {
            const uint32_t value = bfsim_pattern_value(x, 1, 0, c.depth);
            const uint32_t expected = (value * 255 + full / 2) / full;
            if (png.at(x, 1) != expected)
                mismatch = std::to_string(x) + ": " + std::to_string(png.at(x, 1)) + " for " +
                           std::to_string(value);
            brightest = std::max<uint32_t>(brightest, png.at(x, 1));
        }
        EXPECT_EQ(mismatch, "");
        EXPECT_EQ(brightest, c.depth <= 12 ? 255u : 16u);  // a 16-bit ramp of 4200 stays dark
    }
}

TEST_F(QorGrabImages, TiffFilesKeepThePixelsOwnSize)
{
    struct Case {
        uint32_t depth, bytesPerPixel;
    };
    for (const Case c : {Case{8, 1}, Case{10, 2}, Case{24, 4}}) {
        SCOPED_TRACE(c.depth);
        const fs::path out = dir_ / ("tiff" + std::to_string(c.depth));
        const Result r = run("snap --format tiff --out '" + out.string() + "'",
                             population(camera(33, 7, c.depth, c.bytesPerPixel)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto pages = readTiff(out / "frame_000000.tif");
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].bits, 8 * c.bytesPerPixel);
        EXPECT_EQ(pages[0].width, 33u);
        EXPECT_EQ(patternMismatch(pages[0], 0, c.depth), "");
    }
}

TEST_F(QorGrabImages, AStackHasAPagePerFrameTaggedWithItsNumberAndTime)
{
    // 30 ms a frame: the writer keeps up, and every frame is a page.
    const fs::path stack = dir_ / "run" / "stack.TIF";
    fs::create_directories(stack.parent_path());
    const Result r = run("chain --frames 6 --out '" + stack.string() + "'",
                         population(camera(64, 16, 8, 1, ",\"framePeriodMs\":30")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto pages = readTiff(stack);
    const bool nothingMissed = r.out.find("missed frames: 0\n") != std::string::npos;
    EXPECT_TRUE(!nothingMissed || pages.size() == 6) << r.out;
    EXPECT_FALSE(pages.empty());
    for (const Image &page : pages) {
        const uint32_t number = frameNumberOf(page);
        SCOPED_TRACE(number);
        EXPECT_EQ(page.pageName, "frame " + std::to_string(number));
        EXPECT_EQ(page.description.rfind("frame=" + std::to_string(number) + " capture_time=20", 0), 0u)
            << page.description;
        EXPECT_EQ(page.dateTime.size(), 19u) << page.dateTime;
        EXPECT_EQ(patternMismatch(page, number, 8), "");
    }

    // tiffinfo, which knows nothing of us, counts the same pages.
    const std::string listing = dir_ / "tiffinfo.txt";
    ASSERT_EQ(std::system(("tiffinfo '" + stack.string() + "' >'" + listing + "' 2>&1").c_str()), 0);
    const std::string text = readFile(listing);
    size_t directories = 0;
    for (size_t at = text.find("TIFF Directory at offset"); at != std::string::npos;
         at = text.find("TIFF Directory at offset", at + 1))
        ++directories;
    EXPECT_EQ(directories, pages.size());
}

TEST_F(QorGrabImages, AStackIsReplacedOnlyWithOverwrite)
{
    const fs::path stack = dir_ / "s.tif";
    const std::string config = population(camera(16, 4, 8, 1, ",\"framePeriodMs\":30"));
    ASSERT_EQ(run("chain --frames 3 --out '" + stack.string() + "'", config).exitCode, 0);
    const size_t pages = readTiff(stack).size();

    const Result refused = run("chain --frames 1 --out '" + stack.string() + "'", config);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--out " + stack.string() + " already exists; give --overwrite"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(readTiff(stack).size(), pages);

    const Result replaced = run("chain --frames 1 --overwrite --out '" + stack.string() + "'", config);
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(readTiff(stack).size(), 1u);

    // A folder where the stack should be is never replaced.
    fs::create_directories(dir_ / "d.tif");
    const Result intoFolder = run("chain --overwrite --out '" + (dir_ / "d.tif").string() + "'");
    EXPECT_EQ(intoFolder.exitCode, 1);
    EXPECT_NE(intoFolder.err.find("is a directory"), std::string::npos) << intoFolder.err;
}

TEST_F(QorGrabImages, AStackGetsTheFoldersItsPathNames)
{
    const fs::path stack = dir_ / "new" / "run" / "s.tiff";
    const Result r = run("chain --frames 2 --out '" + stack.string() + "'",
                         population(camera(16, 4, 8, 1, ",\"framePeriodMs\":30")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(readTiff(stack).empty());
}

TEST_F(QorGrabImages, OutputsThatCannotBeWrittenFailTheRun)
{
    std::ofstream(dir_ / "plain-file") << "x";
    // A file stands where the stack's folder would be made.
    const Result stack = run("chain --out '" + (dir_ / "plain-file/dir/s.tif").string() + "'");
    EXPECT_EQ(stack.exitCode, 1);
    EXPECT_NE(stack.err.find("cannot create"), std::string::npos) << stack.err;
    const Result folder = run("snap --format png --out '" + (dir_ / "plain-file/x").string() + "'");
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("cannot create directory"), std::string::npos) << folder.err;
}

}  // namespace

#endif
