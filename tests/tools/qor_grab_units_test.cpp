// qor-grab's pieces that do not need a board: command-line reading, status
// messages, PGM encoding, frame accounting and the inverting LUT.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "command_line.h"
#include "frame_counter.h"
#include "frame_writer.h"
#include "image_output.h"
#include "number_text.h"
#include "pgm_writer.h"
#include "progress.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

std::vector<std::string> words(std::initializer_list<const char *> list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

// Parses a command line on a fresh CommandLine, as main() does.
Options parse(std::initializer_list<const char *> list)
{
    CommandLine commandLine;
    return commandLine.parse(words(list));
}

TEST(QorGrabOptions, ReadsEveryOption)
{
    const Options o = parse({"chain", "--buffers", "6", "--frames=100", "--family", "3",
                             "--board", "0x2", "--camera", "1", "--timeout", "050", "--out",
                             "/tmp/x", "--format", "PGM", "--trigger", "sw", "--window", "320x200",
                             "--no-progress", "--overwrite"});
    EXPECT_EQ(o.command, Command::Chain);
    EXPECT_EQ(o.buffers, 6);
    EXPECT_EQ(o.frames, 100u);
    EXPECT_EQ(o.family, 3);
    EXPECT_TRUE(o.familyGiven);
    EXPECT_EQ(o.board, 2u);
    ASSERT_TRUE(o.camera.has_value());
    EXPECT_EQ(*o.camera, 1u);
    EXPECT_EQ(o.timeoutMs, 50u);  // a leading zero is decimal
    EXPECT_EQ(o.out, "/tmp/x");
    EXPECT_EQ(o.format, ImageFormat::Pgm);
    EXPECT_EQ(o.trigger, TriggerChoice::Software);
    ASSERT_TRUE(o.window.has_value());
    EXPECT_EQ(o.window->width, 320u);
    EXPECT_EQ(o.window->height, 200u);
    EXPECT_EQ(o.progress, std::optional<bool>(false));
    EXPECT_TRUE(o.overwrite);
    EXPECT_EQ(o.samples, Samples::Exact);
#if QOR_GRAB_HAVE_PNG
    EXPECT_EQ(parse({"grab", "--out", "f", "--display"}).samples, Samples::Display);
#endif
}

TEST(QorGrabOptions, DefaultsAndOperands)
{
    const Options snap = parse({"snap"});
    EXPECT_EQ(snap.family, 1);
    EXPECT_FALSE(snap.familyGiven);
    EXPECT_EQ(snap.board, 0u);
    EXPECT_EQ(framesFor(snap), 1u);
    EXPECT_TRUE(snap.out.empty());
    EXPECT_FALSE(snap.format.has_value());
    EXPECT_FALSE(snap.progress.has_value());
    EXPECT_FALSE(snap.camera.has_value());
    EXPECT_EQ(snap.trigger, TriggerChoice::Unchanged);
    EXPECT_EQ(framesFor(parse({"grab"})), 10u);
    EXPECT_EQ(parse({"grab", "--lut", "invert"}).lut, LutChoice::Invert);
    EXPECT_EQ(parse({"snap", "--progress"}).progress, std::optional<bool>(true));

    // Board options go before or after the command.
    const Options set = parse({"reg", "set", "2648", "0xFFFFFFFF", "--board", "1"});
    EXPECT_EQ(set.command, Command::RegSet);
    EXPECT_EQ(set.reg.id, 2648u);
    EXPECT_EQ(set.reg.value, 0xFFFFFFFFu);
    EXPECT_EQ(set.board, 1u);
    const Options find = parse({"--family", "3", "reg", "find", "Gain"});
    EXPECT_EQ(find.command, Command::RegFind);
    EXPECT_EQ(find.reg.name, "Gain");
    EXPECT_EQ(find.family, 3);
    EXPECT_EQ(parse({"reg", "set", "64", "010"}).reg.value, 10u);

    const Options ntg = parse({"ntg", "10", "2.5", "0", "1", "-3"});
    EXPECT_DOUBLE_EQ(ntg.ntg.exposureMs, 2.5);
    EXPECT_EQ(ntg.ntg.mode, 1u);
    EXPECT_EQ(ntg.ntg.bit, -3);
    EXPECT_EQ(parse({"gpout", "set", "0xF", "5"}).gpout.levels, 5u);
    EXPECT_EQ(parse({"gpout", "get"}).command, Command::GpOutGet);
    EXPECT_EQ(parse({"encdiv", "4", "1", "1"}).encdiv.divider, 4u);

#if QOR_GRAB_HAVE_VIEWER
    const Options view = parse({"view", "--port", "0", "--listen", "0.0.0.0", "--buffers", "3"});
    EXPECT_EQ(view.command, Command::View);
    EXPECT_EQ(view.view.port, 0);
    EXPECT_EQ(view.view.listen, "0.0.0.0");
    EXPECT_EQ(view.buffers, 3);
    EXPECT_EQ(parse({"view"}).view.listen, "127.0.0.1");
#else
    CommandLine commandLine;
    EXPECT_THROW(commandLine.parse(words({"view"})), CLI::ValidationError);
#endif
}

TEST(QorGrabOptions, RefusesWhatCannotRunNamingTheOption)
{
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const std::vector<Case> cases = {
        {words({}), "subcommand"},
        {words({"shoot"}), "shoot"},
        {words({"snap", "--frames"}), "--frames"},
        {words({"snap", "--frames", "0"}), "--frames"},
        {words({"snap", "--frames", "12x"}), "--frames"},
        {words({"snap", "--frames", "08x"}), "--frames"},
        {words({"snap", "--board", "-1"}), "--board"},
        {words({"snap", "--board", "4294967296"}), "--board"},
        {words({"snap", "--family", "5"}), "--family"},
        {words({"snap", "--family", "-1"}), "--family"},
        {words({"snap", "--camera", "0x1FFFFFFFF"}), "--camera"},
        {words({"snap", "--timeout", "0"}), "--timeout"},
        {words({"chain", "--buffers", "0"}), "--buffers"},
        {words({"chain", "--buffers", "2000"}), "--buffers"},
        {words({"snap", "--trigger", "hw"}), "--trigger"},
        {words({"snap", "--trigger", "1"}), "--trigger"},
        {words({"snap", "--lut", "gamma"}), "--lut"},
        {words({"snap", "--window", "640"}), "--window"},
        {words({"snap", "--window", "0x480"}), "--window"},
        {words({"snap", "--window", "640x0"}), "--window"},
        {words({"snap", "--format", "jpeg"}), "--format"},
        {words({"snap", "--format", "pgm"}), "--format needs --out"},
        {words({"snap", "--display"}), "--display writes PNG files"},
        {words({"snap", "--display", "--out", "f", "--format", "pgm"}), "--display writes PNG files"},
        {words({"chain", "--display", "--out", "s.tif"}), "--display writes PNG files"},
        {words({"list", "--display"}), "--display"},
        {words({"view", "--port", "65536"}), "--port"},
        {words({"snap", "--speed", "2"}), "--speed"},
        {words({"snap", "extra"}), "extra"},
        {words({"chain", "--lut", "invert"}), "--lut"},
        {words({"grab", "--buffers", "3"}), "--buffers"},
        {words({"list", "--frames", "3"}), "--frames"},
        {words({"reg", "--camera", "1", "get", "1"}), "--camera"},
        {words({"reg", "get"}), "ID"},
        {words({"reg", "set", "1"}), "VALUE"},
        {words({"reg", "get", "x1"}), "ID"},
        {words({"reg", "peek", "1"}), "peek"},
        {words({"ntg", "1", "2", "3", "4"}), "BIT"},
        {words({"ntg", "1.5ms", "2", "3", "4", "5"}), "PERIOD"},
        {words({"encdiv", "1", "2"}), "BOTHEDGES"},
        {words({"gpout", "set", "1"}), "LEVELS"},
        {words({"gpout", "get", "1"}), "1"},
    };
    for (const Case &c : cases) {
        CommandLine commandLine;
        try {
            commandLine.parse(c.args);
            ADD_FAILURE() << "accepted: " << testing::PrintToString(c.args);
        } catch (const CLI::ParseError &error) {
            EXPECT_NE(error.get_exit_code(), 0) << testing::PrintToString(c.args);
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
                << testing::PrintToString(c.args) << ": " << error.what();
        }
    }
}

TEST(QorGrabOptions, StackPathsTakeOnlyTiff)
{
#if QOR_GRAB_HAVE_TIFF
    EXPECT_EQ(parse({"chain", "--out", "a/b.TIFF"}).out, "a/b.TIFF");
    EXPECT_EQ(parse({"chain", "--out", "a.tif", "--format", "tiff"}).format, ImageFormat::Tiff);
    CommandLine commandLine;
    EXPECT_THROW(commandLine.parse(words({"chain", "--out", "a.tif", "--format", "png"})),
                 CLI::ValidationError);
#else
    CommandLine commandLine;
    EXPECT_THROW(commandLine.parse(words({"chain", "--out", "a.tif"})), CLI::ValidationError);
#endif
}

TEST(QorGrabOptions, FrameFileNamesAreOnlyThoseAFolderRunWrites)
{
    struct Case {
        const char *name;
        bool frame;
    };
    const Case cases[] = {
        {"frame_000000.png", true},  {"frame_000123.pgm", true}, {"frame_1234567.tif", true},
        {"frame_00001.png", false},  {"frame_000001.jpg", false}, {"frame_00000x.png", false},
        {"frame_000001", false},     {"notes.txt", false},        {"Frame_000001.png", false},
    };
    for (const Case &c : cases) EXPECT_EQ(isFrameFileName(c.name), c.frame) << c.name;
    EXPECT_TRUE(isFrameFileName(frameFileName(42, ImageFormat::Tiff)));
}

TEST(QorGrabNumbers, DecimalOrHexNeverOctal)
{
    struct Case {
        const char *text;
        bool allowNegative;
        std::optional<std::string> decimal;
    };
    const std::vector<Case> cases = {
        {"42", false, "42"},
        {"010", false, "10"},
        {"0", false, "0"},
        {"0x10", false, "16"},
        {"0XfF", false, "255"},
        {"18446744073709551615", false, "18446744073709551615"},
        {"18446744073709551616", false, std::nullopt},
        {"0x1FFFFFFFFFFFFFFFF", false, std::nullopt},
        {"-5", true, "-5"},
        {"-0", true, "0"},
        {"-5", false, std::nullopt},
        {"+1", false, std::nullopt},
        {"", false, std::nullopt},
        {"0x", false, std::nullopt},
        {"1e3", false, std::nullopt},
        {"12 ", false, std::nullopt},
        {"0b1", false, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decimalText(c.text, c.allowNegative), c.decimal) << c.text;
}

TEST(QorGrabStatus, SharedCodesAreNamedByTheirFunction)
{
    EXPECT_STREQ(statusName("BF_NTGSetup", BF_E_NTG_SETUP), "BF_E_NTG_SETUP");
    EXPECT_STREQ(statusName("BF_Grab", BF_E_CHAIN_REQUIRED), "BF_E_CHAIN_REQUIRED");
    EXPECT_STREQ(statusName("BF_Wait", BF_E_CHAIN_REQUIRED), "BF_E_CHAIN_REQUIRED");
    EXPECT_STREQ(statusName("BF_Open", BF_E_NO_BOARD), "BF_E_NO_BOARD");
    EXPECT_STREQ(statusText("BF_Open", BF_E_NO_BOARD), bf_status_text(BF_E_NO_BOARD));
    EXPECT_EQ(std::string(statusText("BF_NTGSetup", BF_E_NTG_SETUP)).find("chain"), std::string::npos);
    const BfFailure failure("BF_RegPeek", BF_E_REGISTER_UNSUPPORTED, "try another id");
    EXPECT_EQ(std::string(failure.what()),
              "BF_RegPeek returned 5043 (BF_E_REGISTER_UNSUPPORTED): " +
                  std::string(bf_status_text(BF_E_REGISTER_UNSUPPORTED)) + "\nhint: try another id");
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

// An output that holds every write until let go, and remembers what it got.
class HeldOutput : public ImageOutput {
public:
    void write(const FrameView &frame, uint64_t frameNumber,
               std::chrono::system_clock::time_point) override
    {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return open_; });
        if (failWrites_) throw ToolFailure("disk full");
        written_.push_back({frameNumber, frame.data[0]});
    }
    void close() override { closed_ = true; }
    void release(bool fail = false)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        failWrites_ = fail;
        released_.notify_all();
    }

    std::vector<std::pair<uint64_t, uint8_t>> written_;  // frame number, first pixel
    bool closed_ = false;

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    bool failWrites_ = false;
};

// What printSummary() writes for `summary`.
std::string summaryText(const RunSummary &summary)
{
    std::FILE *file = std::tmpfile();
    printSummary(file, summary);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

TEST(QorGrabSummary, MissedFramesAddUpByCause)
{
    struct Case {
        std::optional<uint64_t> lostByCamera;
        std::string missed, causes;
    };
    const Case cases[] = {
        {3, "missed frames: 16\n",
         "missed frames, by cause: 3 lost by the camera, 5 missed by the host (it was busy when "
         "they ended), 8 not written (the disk was slower)\n"},
        // An SDK that cannot tell the camera's losses is not said to have none.
        {std::nullopt, "missed frames: 13\n",
         "missed frames, by cause: 5 missed by the host (it was busy when they ended), 8 not "
         "written (the disk was slower); this SDK does not count frames lost by the camera\n"},
    };
    for (const Case &c : cases) {
        RunSummary summary;
        summary.frames = 50;
        summary.lostByCamera = c.lostByCamera;
        summary.missedByHost = 5;
        summary.unwritten = 8;
        const std::string text = summaryText(summary);
        EXPECT_NE(text.find("frames: 50\n" + c.missed), std::string::npos) << text;
        EXPECT_NE(text.find(c.causes), std::string::npos) << text;
    }
}

TEST(QorGrabFrameWriter, DropsWhatASlowDiskCannotTakeWithoutWaiting)
{
    auto output = std::make_unique<HeldOutput>();
    HeldOutput &held = *output;
    FrameWriter writer(std::move(output), 2);
    uint8_t pixel = 10;
    const FrameView frame{&pixel, 1, 1, 1, 1, 8};
    // Both buffers are taken (one in the held write, one queued): the
    // rest are dropped at once rather than waited for.
    EXPECT_TRUE(writer.offer(frame, 0));
    pixel = 11;  // the writer copied frame 0; the board writes the next
    EXPECT_TRUE(writer.offer(frame, 1));
    EXPECT_FALSE(writer.offer(frame, 2));
    EXPECT_FALSE(writer.offer(frame, 3));
    EXPECT_EQ(writer.dropped(), 2u);
    held.release();
    writer.finish();
    EXPECT_EQ(held.written_, (std::vector<std::pair<uint64_t, uint8_t>>{{0, 10}, {1, 11}}));
    EXPECT_TRUE(held.closed_);
    EXPECT_EQ(FrameWriter::queueFramesFor(640 * 480), 32u);
    EXPECT_EQ(FrameWriter::queueFramesFor(size_t{1} << 30), 2u);
}

TEST(QorGrabFrameWriter, AFailedWriteStopsTheRun)
{
    auto output = std::make_unique<HeldOutput>();
    HeldOutput &held = *output;
    FrameWriter writer(std::move(output), 4);
    const uint8_t pixel = 1;
    const FrameView frame{&pixel, 1, 1, 1, 1, 8};
    EXPECT_TRUE(writer.offer(frame, 0));
    held.release(true);
    EXPECT_THROW(writer.finish(), ToolFailure);
    EXPECT_FALSE(held.closed_);
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
