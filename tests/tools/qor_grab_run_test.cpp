// qor-grab end to end: the built program, run on the simulated SDK with a
// board population of the case's own, checked by its exit status, its
// output and the frames it writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bfsim.h"
#include "qor_bitflow.h"
#include "support/frame_check.h"

// The cases run the program through a POSIX shell.
#if !defined(_WIN32)
#include "tools/qor_grab_process.h"

namespace {

using namespace qortest;

// One 8- or 16-bit PGM as written.
struct Pgm {
    uint32_t width = 0, lines = 0, maxval = 0;
    std::vector<uint32_t> samples;
    uint32_t at(uint32_t x, uint32_t y) const { return samples[size_t{y} * width + x]; }
};

Pgm readPgm(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    Pgm pgm;
    in >> magic >> pgm.width >> pgm.lines >> pgm.maxval;
    in.get();  // the one whitespace byte before the samples
    EXPECT_EQ(magic, "P5") << path;
    const bool wide = pgm.maxval > 255;
    for (size_t i = 0; i < size_t{pgm.width} * pgm.lines; ++i) {
        const int high = in.get();
        pgm.samples.push_back(wide ? (uint32_t(high) << 8) | uint32_t(in.get()) : uint32_t(high));
    }
    EXPECT_TRUE(in.good()) << path << " is shorter than its header says";
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof()) << path << " is longer than its header says";
    return pgm;
}

// The PGM's samples laid out again as the board wrote them: one byte a
// pixel up to maxval 255, else two, little-endian. That holds for the
// cameras these cases use (8 bits in one byte, 12 or 16 in two), whose
// samples qor-grab writes unscaled.
uint32_t bytesPerPixel(const Pgm &pgm) { return pgm.maxval <= 255 ? 1 : 2; }

std::vector<uint8_t> frameBuffer(const Pgm &pgm)
{
    const uint32_t bytes = bytesPerPixel(pgm);
    std::vector<uint8_t> buffer;
    for (const uint32_t sample : pgm.samples)
        for (uint32_t b = 0; b < bytes; ++b) buffer.push_back(static_cast<uint8_t>(sample >> (8 * b)));
    return buffer;
}

// An inverting LUT at the PGM's depth, as `--lut invert` loads it.
std::vector<uint32_t> invertingLut(uint32_t maxval)
{
    std::vector<uint32_t> lut(size_t{maxval} + 1);
    for (uint32_t value = 0; value <= maxval; ++value) lut[value] = maxval - value;
    return lut;
}

// Whether the PGM holds frame `frame` of the one camera of `config`, stamp
// and pixels, through `lut` when given. The population is loaded into this
// process's simulator too, so that its checker knows the camera.
::testing::AssertionResult holdsFrame(const Pgm &pgm, const std::string &config, uint32_t frame,
                                      const std::vector<uint32_t> *lut = nullptr)
{
    if (bfsim_load_config(config.c_str()) != 0) return ::testing::AssertionFailure() << "bad population";
    const std::vector<uint8_t> buffer = frameBuffer(pgm);
    return qortest::holdsFrame(buffer.data(), qortest::packedFrame(pgm.width, pgm.lines, bytesPerPixel(pgm), lut),
                               frame);
}

class QorGrabRun : public qortest::QorGrabProcess {
protected:
    // Each frame file's name holds the frame number the board wrote into it,
    // and its pixels that frame of the camera of `config`.
    void expectFramesMatchNames(const fs::path &where, size_t count, const std::string &config, uint32_t maxval)
    {
        const auto files = frames(where);
        ASSERT_EQ(files.size(), count);
        for (const auto &file : files) {
            SCOPED_TRACE(file.string());
            const Pgm pgm = readPgm(file);
            EXPECT_EQ(pgm.maxval, maxval);
            const uint32_t number = qortest::frameStamp(frameBuffer(pgm).data());
            EXPECT_EQ(file.filename().string(), "frame_" + std::string(6 - std::to_string(number).size(), '0') +
                                                    std::to_string(number) + ".pgm");
            EXPECT_TRUE(holdsFrame(pgm, config, number));
        }
    }

};

std::string frameName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.pgm", index);
    return name;
}

TEST_F(QorGrabRun, ListShowsEveryDefaultBoard)
{
    const Result r = run("list");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Family 0 (type 208) first, then families 1..3, each in its own slot.
    const std::vector<std::string> rows = {"0     0 (208)      0         640     480      8         1",
                                           "1     1 (16)       0         640     480      8         1",
                                           "2     2 (32)       0         640     480      8         1",
                                           "3     3 (64)       0         640     480      8         1"};
    size_t at = 0;
    for (const auto &row : rows) {
        at = r.out.find(row, at);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << row << "\n" << r.out;
    }
}

TEST_F(QorGrabRun, ListFailsWhenItFindsNoBoard)
{
    for (const char *config : {R"({"boards": []})", "{not a population"}) {
        SCOPED_TRACE(config);
        const Result r = run("list", config);
        EXPECT_NE(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find("(no boards)"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("no boards found"), std::string::npos) << r.err;
    }
}

TEST_F(QorGrabRun, ListSelectsTheCameraAsked)
{
    const std::string config =
        population(camera(640, 480, 8, 1) + "," + camera(1024, 256, 12, 2, ",\"cameraInfo\":77"));
    const Result r = run("list --camera 1", config);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1024     256     12         2          77"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("640"), std::string::npos) << r.out;
}

TEST_F(QorGrabRun, ListCountsEachBoardsCamerasAndLooksOnEveryBoard)
{
    struct Case {
        std::string args;
        int exitCode;
        std::vector<std::string> rows;  // in order
    };
    const std::vector<Case> cases = {
        {"list",
         0,
         {"0     0 (208)      0         640     480      8         1           0        1\n",
          "2     2 (32)       0         640     480      8         1           0        2\n",
          "3     3 (64)       0         640     480      8         1           0        1\n"}},
        // Only the type-32 board has a camera 1; the boards before it do
        // not stop the listing.
        {"list --camera 1",
         0,
         {"0     0 (208)      0      no camera 1: it has 1\n",
          "1     1 (16)       0      no camera 1: it has 1\n",
          "2     2 (32)       0        1024     768     12         2           1        2\n",
          "3     3 (64)       0      no camera 1: it has 1\n"}},
        {"list --camera 2", 1, {"2     2 (32)       0      no camera 2: it has 2\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        size_t at = 0;
        for (const std::string &row : c.rows) {
            at = r.out.find(row, at);
            EXPECT_NE(at, std::string::npos) << "missing or out of order: " << row << r.out;
        }
    }
    EXPECT_NE(run("list --camera 2").err.find("no board has camera 2"), std::string::npos);
}

TEST_F(QorGrabRun, ListKeepsToTheFamilyAsked)
{
    const Result r = run("list --family 2 --camera 1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("0     2 (32)       0        1024     768     12         2"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("(16)"), std::string::npos) << r.out;
}

TEST_F(QorGrabRun, ChainWritesEachFrameFromItsBuffer)
{
    // A slow camera and four buffers give the host 90 ms to write a frame
    // before the board comes round to its buffer again.
    const std::string config = population(camera(64, 48, 8, 1, ",\"framePeriodMs\":30"));
    const Result r = run("chain --buffers 4 --frames 7 --format pgm --out '" + (dir_ / "a/b").string() + "'", config);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("frames: 7\n"), std::string::npos) << r.out;
    // At 30 ms a frame nothing should be missed, but if the host was late
    // the names skip, and the name must still match the frame inside.
    const bool nothingMissed = r.out.find("missed frames: 0\n") != std::string::npos;
    EXPECT_TRUE(!nothingMissed || fs::exists(dir_ / "a/b" / frameName(6))) << r.out;
    expectFramesMatchNames(dir_ / "a/b", 7, config, 255);
}

TEST_F(QorGrabRun, GrabWritesSixteenBitFramesBigEndian)
{
    // The host copies each frame out within the 50 ms before the next.
    const std::string config = population(camera(40, 30, 12, 2, ",\"framePeriodMs\":50"));
    const Result r = run("grab --frames 3 --format pgm --out '" + (dir_ / "out").string() + "'", config);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectFramesMatchNames(dir_ / "out", 3, config, 4095);
}

TEST_F(QorGrabRun, SnapThroughAnInvertingLut)
{
    struct Case {
        uint32_t depth, bytesPerPixel, maxval;
    };
    for (const Case c : {Case{8, 1, 255}, Case{12, 2, 4095}}) {
        SCOPED_TRACE(c.depth);
        const fs::path out = dir_ / ("lut" + std::to_string(c.depth));
        const std::string config = population(camera(48, 20, c.depth, c.bytesPerPixel));
        const Result r = run("snap --lut invert --format pgm --out '" + out.string() + "'", config);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_EQ(frames(out).size(), 1u);
        const Pgm pgm = readPgm(out / frameName(0));
        EXPECT_EQ(pgm.maxval, c.maxval);
        const std::vector<uint32_t> lut = invertingLut(c.maxval);
        EXPECT_TRUE(holdsFrame(pgm, config, 0, &lut));
    }
}

TEST_F(QorGrabRun, SnapsKeepNumbering)
{
    const std::string config = population(camera(32, 8, 8, 1));
    const Result r = run("snap --frames 3 --format pgm --out '" + (dir_ / "s").string() + "'", config);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("frames: 3\nmissed frames: 0\noverflow resets: 0\n"), std::string::npos)
        << r.out;
    expectFramesMatchNames(dir_ / "s", 3, config, 255);
}

TEST_F(QorGrabRun, SnapOfAWindowHasTheWindowsGeometry)
{
    const fs::path out = dir_ / "w";
    const std::string config = population(camera(64, 48, 16, 2));
    const Result r = run("snap --window 24x10 --format pgm --out '" + out.string() + "'", config);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Pgm pgm = readPgm(out / frameName(0));
    EXPECT_EQ(pgm.width, 24u);
    EXPECT_EQ(pgm.lines, 10u);
    EXPECT_EQ(pgm.maxval, 65535u);
    EXPECT_TRUE(holdsFrame(pgm, config, 0));
}

// The counts of the summary's line of causes: lost by the camera (-1 when
// the line does not give it), missed by the host, not written.
struct Causes {
    long camera = -1, host = -1, disk = -1;
};

Causes missedByCause(const std::string &out)
{
    Causes causes;
    const size_t at = out.find("missed frames, by cause: ");
    if (at == std::string::npos) return causes;
    const std::string line = out.substr(at, out.find('\n', at) - at);
    std::sscanf(line.c_str(), "missed frames, by cause: %ld lost by the camera, %ld missed by the host",
                &causes.camera, &causes.host);
    if (causes.host < 0) {
        causes.camera = -1;
        std::sscanf(line.c_str(), "missed frames, by cause: %ld missed by the host", &causes.host);
    }
    const size_t disk = line.find("), ");
    if (disk != std::string::npos) causes.disk = std::stol(line.substr(disk + 3));
    return causes;
}

TEST_F(QorGrabRun, SummarySaysWhoLostTheFrames)
{
    // Every third frame is lost by the camera, so of the frames it delivered
    // (received or missed by the host) about half as many again are lost,
    // and one more may be before the grab stops.
    const std::string config =
        population(camera(32, 8, 8, 1, ",\"framePeriodMs\":10,\"dropEvery\":3"));
    for (const char *command : {"snap", "grab", "chain"}) {
        SCOPED_TRACE(command);
        const Result r = run(std::string(command) + " --frames 9", config);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Causes causes = missedByCause(r.out);
        const long delivered = 9 + causes.host;
        EXPECT_GE(2 * causes.camera, delivered - 1) << r.out;
        EXPECT_LE(2 * causes.camera, delivered + 2) << r.out;
        EXPECT_EQ(causes.disk, 0) << r.out;
        const long missed = causes.camera + causes.host + causes.disk;
        EXPECT_NE(r.out.find("missed frames: " + std::to_string(missed) + "\n"), std::string::npos)
            << r.out;
    }
    const Result none = run("grab --frames 3", population(camera(32, 8, 8, 1, ",\"framePeriodMs\":10")));
    EXPECT_EQ(missedByCause(none.out).camera, 0) << none.out;
}

TEST_F(QorGrabRun, TriggeredFramesWaitForTheirTrigger)
{
    const std::string freeRunCamera = camera(32, 8, 8, 1, ",\"framePeriodMs\":5");
    struct Case {
        std::string args;
        std::string boardExtra;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        // Software: every frame is triggered by the tool.
        {"grab --trigger sw --frames 3", "", 0, "frames: 3\n"},
        {"chain --trigger sw --buffers 2 --frames 3", "", 0, "frames: 3\n"},
        {"snap --trigger sw --frames 2", "", 0, "frames: 2\n"},
        // External: nothing comes until the line fires...
        {"grab --trigger ext --frames 1 --timeout 200", "", 1,
         "BF_Wait4Frame returned 5020 (BF_E_SIGNAL_WAIT)"},
        // ...which a board wired to a periodic trigger does.
        {"grab --trigger ext --frames 3", ",\"externalTriggerPeriodMs\":5", 0, "frames: 3\n"},
        {"grab --trigger off --frames 2", "", 0, "frames: 2\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args, population(freeRunCamera, c.boardExtra));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    }
}

TEST_F(QorGrabRun, FailuresSayFunctionStatusAndMeaning)
{
    struct Case {
        std::string args;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"snap --family 0 --board 1",
         {"BF_Open returned 5000 (BF_E_NO_BOARD): No board of the requested family",
          "hint: `qor-grab list`"}},
        {"snap --camera 1", {"BF_SelectCamera returned 5006 (BF_E_CAMERA_SELECT): The board refused",
                             "hint: the board has no camera 1; `qor-grab list`"}},
        {"grab --family 3 --trigger ext", {"BF_TriggerMode returned 5004 (BF_E_TRIGGER_MODE)"}},
        {"snap --window 4096x4096", {"BF_AqFrameSize returned 5042 (BF_E_FRAME_SIZE)"}},
        {"reg get 5", {"BF_RegPeek returned 5043 (BF_E_REGISTER_UNSUPPORTED)", "no register has id 5"}},
        {"reg set 1 7", {"BF_RegPoke returned 5044 (BF_E_REGISTER_WRITE): The board refused"}},
        {"reg find NO_SUCH_REGISTER",
         {"BF_RegNametoId returned 5043 (BF_E_REGISTER_UNSUPPORTED): ",
          "no register named NO_SUCH_REGISTER; `qor-grab reg find` is case-insensitive"}},
        // 5037 is named for the function that returned it, not both ways.
        {"ntg 0 1 0 0 1",
         {"BF_NTGSetup returned 5037 (BF_E_NTG_SETUP): The timing generator refused the set-up."}},
        {"encdiv 0 0 0", {"BF_NTGEncDiv returned 5038 (BF_E_ENCODER_DIVIDER)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, 1);
        for (const std::string &message : c.messages)
            EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("BF_E_CHAIN_REQUIRED/"), std::string::npos) << r.err;
    }
}

TEST_F(QorGrabRun, EveryAcquisitionGivesTheSameHints)
{
    // A snap waits the camera's own wait time, kept short here.
    const std::string config = population(camera(640, 480, 8, 1, ",\"waitTimeMs\":200"));
    const std::string extHint =
        "hint: with --trigger ext every frame waits for the external trigger line";
    const std::string windowHint =
        "hint: the board refused a window of 10000 x 10000; its camera gives 640 x 480";
    struct Case {
        std::string options, status, hint;
    };
    const Case cases[] = {
        {"--window 10000x10000", "BF_AqFrameSize returned 5042", windowHint},
        {"--trigger ext --timeout 200", "returned 50", extHint},
    };
    for (const char *command : {"snap", "grab", "chain"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(command) + " " + c.options);
            const Result r = run(std::string(command) + " " + c.options, config);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find(c.status), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.hint), std::string::npos) << r.err;
        }
    }
}

TEST_F(QorGrabRun, UsageErrorsExitTwoNamingTheOptionBeforeTheBoard)
{
    struct Case {
        std::string args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"snap --family 7", "--family"},       {"chain --buffers 0", "--buffers"},
        {"snap --frames x", "--frames"},       {"snap --camera -1", "--camera"},
        {"grab --timeout 0", "--timeout"},     {"grab --lut gamma", "--lut"},
        {"grab --trigger hw", "--trigger"},    {"snap --window 0x0", "--window"},
        {"reg get", "ID"},                     {"chain --out s.tif --format pgm", "--format"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("returned"), std::string::npos) << "reached the library: " << r.err;
    }
}

TEST_F(QorGrabRun, VersionIsTheLibrarys)
{
    const Result r = run("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "qor-grab, qor_bitflow " + std::to_string(QOR_BITFLOW_VERSION_MAJOR) + "." +
                         std::to_string(QOR_BITFLOW_VERSION_MINOR) + "." +
                         std::to_string(QOR_BITFLOW_VERSION_PATCH) + "\n");
}

TEST_F(QorGrabRun, ProgressOnlyOnATerminalUnlessAsked)
{
    // 1.2 s of frames: long enough for a progress line to be due.
    const std::string config = population(camera(32, 8, 8, 1, ",\"framePeriodMs\":10"));
    const Result quiet = run("grab --frames 120", config);
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    const Result asked = run("grab --frames 120 --progress", config);
    ASSERT_EQ(asked.exitCode, 0) << asked.err;
    EXPECT_NE(asked.err.find("\rframes "), std::string::npos) << asked.err;
}

TEST_F(QorGrabRun, OutputFolderThatCannotBeMadeFailsTheRun)
{
    std::ofstream(dir_ / "plain-file") << "x";
    const Result r = run("snap --out '" + (dir_ / "plain-file").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot create directory"), std::string::npos) << r.err;
}

TEST_F(QorGrabRun, AFolderWithFramesIsReplacedOnlyWithOverwrite)
{
    const fs::path out = dir_ / "f";
    const std::string config = population(camera(16, 4, 8, 1));
    const std::string to = " --format pgm --out '" + out.string() + "'";
    ASSERT_EQ(run("snap --frames 3" + to, config).exitCode, 0);
    std::ofstream(out / "notes.txt") << "kept";
    const std::string firstFrame = readFile(out / frameName(0));

    const Result refused = run("snap" + to, config);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--out " + out.string() + " already holds 3 frame files; give --overwrite"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("BF_"), std::string::npos) << "opened the board: " << refused.err;
    EXPECT_EQ(frames(out).size(), 4u);
    EXPECT_EQ(readFile(out / frameName(0)), firstFrame);

    // The earlier run's frames go, other files stay.
    const Result replaced = run("snap --overwrite" + to, config);
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(frames(out), (std::vector<fs::path>{out / frameName(0), out / "notes.txt"}));

    // A folder holding no frames needs no flag.
    fs::remove(out / frameName(0));
    EXPECT_EQ(run("snap" + to, config).exitCode, 0);
}

TEST_F(QorGrabRun, BoardControlsReportWhatTheBoardHolds)
{
    struct Case {
        std::string args;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"reg set 64 0x1234", "register 64 = 4660 (0x00001234)"},
        {"reg set 64 010", "register 64 = 10 (0x0000000A)"},  // decimal, not octal
        {"reg get 1", "register 1 = " + std::to_string(BFSIM_FPGA_VERSION_VALUE)},
        {"reg name 3000", "register 3000 is " BFSIM_REG_PULSE_WIDTH_NAME},
        // Names match in any case, and the lowest id of a shared name wins.
        {"reg find gain", "register gain is 12 "},
        {"reg get 12 --family 3", "register 12 = "},
        {"reg find timing_generator_pulse_width_LO",
         "register timing_generator_pulse_width_LO is 3000 "},
        {"gpout set 0xFFFFFFFF 0x5", "outputs 0x00000005"},
        {"gpout get", "outputs 0x"},
        {"ntg 10 2.5 0 1 3", "timing generator: period 10 ms, exposure 2.5 ms"},
        {"encdiv 4 1 1", "encoder 1 divided by 4, both edges"},
        {"status", "overflow resets: 0\nacquisition status: 0\n"},
        {"reset", "acquisition reset"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
    }
}

}  // namespace

#endif
