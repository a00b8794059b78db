// qor-grab's pieces that do not need a board: command-line reading, PGM
// encoding, frame accounting and the inverting LUT.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "acquisition_setup.h"
#include "cli_options.h"
#include "frame_counter.h"
#include "pgm_writer.h"

namespace qorgrab {
namespace {

std::vector<std::string> words(std::initializer_list<const char *> list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

TEST(QorGrabOptions, ReadsEveryOption)
{
    const Options o = parseOptions(words({"chain", "--buffers", "6", "--frames=100", "--family",
                                          "3", "--board", "0x2", "--camera", "1", "--timeout",
                                          "50", "--out", "/tmp/x", "--trigger", "sw", "--window",
                                          "320x200"}));
    EXPECT_EQ(o.command, Command::Chain);
    EXPECT_EQ(o.buffers, 6);
    EXPECT_EQ(o.frames, 100u);
    EXPECT_EQ(o.family, 3);
    EXPECT_TRUE(o.familyGiven);
    EXPECT_EQ(o.board, 2u);
    ASSERT_TRUE(o.camera.has_value());
    EXPECT_EQ(*o.camera, 1u);
    EXPECT_EQ(o.timeoutMs, 50u);
    EXPECT_EQ(o.outDir, "/tmp/x");
    EXPECT_EQ(o.trigger, TriggerChoice::Software);
    ASSERT_TRUE(o.window.has_value());
    EXPECT_EQ(o.window->width, 320u);
    EXPECT_EQ(o.window->height, 200u);
}

TEST(QorGrabOptions, DefaultsAndOperands)
{
    const Options snap = parseOptions(words({"snap"}));
    EXPECT_EQ(snap.family, 1);
    EXPECT_FALSE(snap.familyGiven);
    EXPECT_EQ(snap.board, 0u);
    EXPECT_EQ(framesFor(snap), 1u);
    EXPECT_TRUE(snap.outDir.empty());
    EXPECT_EQ(snap.trigger, TriggerChoice::Unchanged);
    EXPECT_EQ(framesFor(parseOptions(words({"grab"}))), 10u);

    const Options reg = parseOptions(words({"reg", "set", "2648", "-1", "--board", "1"}));
    EXPECT_EQ(reg.operands, words({"set", "2648", "-1"}));
    EXPECT_EQ(reg.board, 1u);
    EXPECT_EQ(parseOptions(words({"list", "--help"})).command, Command::Help);
    EXPECT_EQ(parseOptions(words({"--lut", "invert", "grab"})).lut, LutChoice::Invert);
}

TEST(QorGrabOptions, RefusesWhatCannotRun)
{
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const std::vector<Case> cases = {
        {words({}), "no command"},
        {words({"shoot"}), "unknown command 'shoot'"},
        {words({"snap", "--frames"}), "--frames needs a value"},
        {words({"snap", "--frames", "0"}), "at least 1"},
        {words({"snap", "--frames", "12x"}), "unsigned 32-bit"},
        {words({"snap", "--board", "-1"}), "unsigned 32-bit"},
        {words({"snap", "--board", "4294967296"}), "unsigned 32-bit"},
        {words({"snap", "--family", "2147483648"}), "signed 32-bit"},
        {words({"snap", "--trigger", "hw"}), "ext, sw or off"},
        {words({"snap", "--lut", "gamma"}), "invert or mask"},
        {words({"snap", "--window", "640"}), "WIDTHxLINES"},
        {words({"snap", "--speed", "2"}), "unknown option --speed"},
        {words({"snap", "extra"}), "unexpected argument 'extra'"},
        {words({"chain", "--lut", "invert"}), "a chain acquires without LUT"},
        {words({"grab", "--buffers", "3"}), "--buffers applies to chain"},
        {words({"list", "--frames", "3"}), "applies to snap, grab and chain"},
        {words({"reg", "--camera", "1", "get", "1"}), "--camera applies"},
        {words({"reg", "get"}), "reg takes"},
        {words({"reg", "set", "1"}), "reg takes"},
        {words({"reg", "peek", "1"}), "reg takes"},
        {words({"ntg", "1", "2", "3", "4"}), "ntg takes"},
        {words({"encdiv", "1", "2"}), "encdiv takes"},
        {words({"gpout", "set", "1"}), "gpout takes"},
        {words({"gpout", "get", "1"}), "gpout takes"},
    };
    for (const Case &c : cases) {
        try {
            parseOptions(c.args);
            ADD_FAILURE() << "accepted: " << testing::PrintToString(c.args);
        } catch (const UsageError &error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
                << error.what();
        }
    }
}

TEST(QorGrabOptions, NumbersParseInBothBasesAndFull)
{
    EXPECT_EQ(parseUnsigned("0xFFFFFFFF", "n"), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned("42", "n"), 42u);
    EXPECT_EQ(parseSigned("-2147483648", "n"), INT32_MIN);
    EXPECT_DOUBLE_EQ(parseDouble("2.5", "n"), 2.5);
    EXPECT_THROW(parseUnsigned("", "n"), UsageError);
    EXPECT_THROW(parseUnsigned("+1", "n"), UsageError);
    EXPECT_THROW(parseDouble("1.5ms", "n"), UsageError);
}

std::string headerOf(const std::vector<uint8_t> &pgm, size_t length)
{
    return std::string(pgm.begin(), pgm.begin() + static_cast<long>(length));
}

TEST(QorGrabPgm, EightBitRowsSkipStridePadding)
{
    // 3 x 2 pixels, stride 4: the fourth byte of each line is padding.
    const uint8_t data[] = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
    const auto pgm = encodePgm(FrameView{data, 3, 2, 4, 1, 8});
    const std::string header = "P5\n3 2\n255\n";
    ASSERT_EQ(pgm.size(), header.size() + 6);
    EXPECT_EQ(headerOf(pgm, header.size()), header);
    EXPECT_EQ(std::vector<uint8_t>(pgm.begin() + header.size(), pgm.end()),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(QorGrabPgm, SamplesByDepthAndPixelSize)
{
    struct Case {
        uint32_t bytesPerPixel, depth;
        std::vector<uint8_t> pixel;  // one pixel, little-endian as acquired
        std::string header;
        std::vector<uint8_t> sample;  // as written
    };
    const std::vector<Case> cases = {
        {1, 8, {0xAB}, "P5\n1 1\n255\n", {0xAB}},
        {1, 6, {0xFF}, "P5\n1 1\n63\n", {0x3F}},          // bits above the depth dropped
        {2, 16, {0x34, 0x12}, "P5\n1 1\n65535\n", {0x12, 0x34}},  // big-endian out
        {2, 12, {0x34, 0xF2}, "P5\n1 1\n4095\n", {0x02, 0x34}},
        {2, 20, {0xFF, 0xFF}, "P5\n1 1\n65535\n", {0xFF, 0xFF}},  // depth beyond the pixel
        {4, 24, {0x56, 0x34, 0x12, 0xFF}, "P5\n1 1\n65535\n", {0x12, 0x34}},  // top 16 of 24
        {4, 10, {0xFF, 0x03, 0x00, 0x00}, "P5\n1 1\n1023\n", {0x03, 0xFF}},
    };
    for (const Case &c : cases) {
        const auto pgm = encodePgm(FrameView{c.pixel.data(), 1, 1, c.bytesPerPixel,
                                             c.bytesPerPixel, c.depth});
        SCOPED_TRACE(c.header);
        ASSERT_EQ(pgm.size(), c.header.size() + c.sample.size());
        EXPECT_EQ(headerOf(pgm, c.header.size()), c.header);
        EXPECT_EQ(std::vector<uint8_t>(pgm.begin() + c.header.size(), pgm.end()), c.sample);
    }
}

TEST(QorGrabPgm, RefusesPixelsItCannotCarry)
{
    const uint8_t data[4] = {};
    EXPECT_ANY_THROW(encodePgm(FrameView{data, 1, 1, 3, 3, 24}));
    EXPECT_ANY_THROW(encodePgm(FrameView{data, 1, 1, 1, 1, 0}));
}

TEST(QorGrabFrameCounter, CountsMissedFramesFromWaitCounts)
{
    FrameCounter counter;
    EXPECT_EQ(counter.advance(1), 0u);
    EXPECT_EQ(counter.advance(3), 3u);  // frames 1 and 2 ended unseen
    EXPECT_EQ(counter.advance(0), 4u);  // a successful wait is one frame at least
    EXPECT_EQ(counter.advanceOne(), 5u);
    EXPECT_EQ(counter.received(), 4u);
    EXPECT_EQ(counter.missed(), 2u);
}

uint32_t lutEntry(const InvertingLut &lut, uint32_t index)
{
    const size_t width = lut.entries.size() / static_cast<size_t>(lut.length);
    uint32_t value = 0;
    for (size_t b = 0; b < width; ++b) value |= uint32_t{lut.entries[index * width + b]} << (8 * b);
    return value;
}

TEST(QorGrabLut, InvertingTableFitsTheDepth)
{
    struct Case {
        uint32_t depth;
        int32_t kind, length;
        size_t entryBytes;
    };
    const std::vector<Case> cases = {
        {8, 2, 256, 1}, {6, 2, 256, 1}, {10, 0, 4096, 2}, {12, 0, 4096, 2}, {14, 1, 32768, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        const InvertingLut lut = invertingLut(c.depth);
        EXPECT_EQ(lut.kind, c.kind);
        EXPECT_EQ(lut.length, c.length);
        EXPECT_EQ(lut.entries.size(), size_t(c.length) * c.entryBytes);
        const uint32_t max = (1u << c.depth) - 1;
        for (uint32_t v : {0u, 1u, max / 2, max}) EXPECT_EQ(lutEntry(lut, v), max - v) << v;
    }
    EXPECT_ANY_THROW(invertingLut(0));
    EXPECT_ANY_THROW(invertingLut(16));
}

}  // namespace
}  // namespace qorgrab
