// The simulator's board population: the built-in default, JSON text, files
// named by QOR_SIM_CONFIG, and every way a configuration can be refused.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "sim_core_support.h"

namespace simtest {
namespace {

#if defined(_WIN32)
// Windows' C library has neither; an empty value removes the variable.
int setenv(const char *name, const char *value, int) { return _putenv_s(name, value); }
int unsetenv(const char *name) { return _putenv_s(name, ""); }
#endif

::testing::AssertionResult mentions(const std::string &message, const std::string &part)
{
    if (message.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << message << "\" does not mention " << part;
}

class SimConfigTest : public SimCoreTest {
protected:
    void TearDown() override
    {
        unsetenv("QOR_SIM_CONFIG");
        if (!path_.empty()) std::remove(path_.c_str());
        SimCoreTest::TearDown();
    }

    // Writes `text` to a file of its own and points QOR_SIM_CONFIG at it.
    std::string useConfigFile(const std::string &text)
    {
        path_ = ::testing::TempDir() + "sim_core_config_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".json";
        std::ofstream(path_) << text;
        setenv("QOR_SIM_CONFIG", path_.c_str(), 1);
        return path_;
    }

    static uint32_t totalBoards()
    {
        return boardCount(kType16) + boardCount(kType32) + boardCount(kType64) +
               boardCount(kType208);
    }

    std::string path_;
};

TEST_F(SimConfigTest, DefaultPopulationHasOneBoardOfEachTypeWithTheDefaultCamera)
{
    for (uint32_t type : {kType16, kType32, kType64, kType208}) {
        EXPECT_EQ(boardCount(type), 1u) << type;
        CiBoardHandle board = openBoard(type);
        EXPECT_EQ(inquiry(board, CI_INQ_WIDTH), 640u);
        EXPECT_EQ(inquiry(board, CI_INQ_LINES), 480u);
        EXPECT_EQ(inquiry(board, CI_INQ_BIT_DEPTH), 8u);
        EXPECT_EQ(inquiry(board, CI_INQ_BYTES_PER_PIXEL), 1u);
        EXPECT_EQ(inquiry(board, CI_INQ_WAIT_TIME), 1000u);
        EXPECT_NE(inquiry(board, CI_INQ_BOARD_MODEL), CI_MODEL_NO_LUT);
        EXPECT_EQ(BFIsR64(board), type == kType64 ? 1 : 0);
        EXPECT_EQ(BFIsGn2(board), type == kType208 ? 1 : 0);
        EXPECT_EQ(CiBrdClose(board), 0);
    }
}

TEST_F(SimConfigTest, EveryFieldReachesItsInquiryAndNumbersCountWithinAType)
{
    loadConfig(R"({"boards": [
        {"type": 16, "cameras": [{"width": 100}]},
        {"type": 32, "generation": "gn2", "model": 4142, "externalTriggerPeriodMs": 5,
         "cameras": [{"width": 320, "lines": 240, "bitDepth": 10, "bytesPerPixel": 2,
                      "waitTimeMs": 50, "cameraInfo": 7, "cameraMode": 9, "syncSource": 3,
                      "framePeriodMs": 4, "trigMode": 2, "trigParams": [11, 239, 240]}]},
        {"type": 16, "generation": "r64", "cameras": [{"width": 200}]}]})");
    EXPECT_EQ(boardCount(kType16), 2u);
    EXPECT_EQ(boardCount(kType64), 0u);

    CiBoardHandle first16 = openBoard(kType16, 0);
    EXPECT_EQ(inquiry(first16, CI_INQ_WIDTH), 100u);
    EXPECT_EQ(inquiry(first16, CI_INQ_BOARD_MODEL), 4112u) << "the model a board has by default";
    CiBoardHandle second16 = openBoard(kType16, 1);
    EXPECT_EQ(inquiry(second16, CI_INQ_WIDTH), 200u);
    EXPECT_EQ(BFIsR64(second16), 1);

    CiBoardHandle board = openBoard(kType32);
    const std::pair<uint32_t, uint32_t> expected[] = {
        {CI_INQ_BOARD_MODEL, 4142},   {CI_INQ_WIDTH, 320},       {CI_INQ_LINES, 240},
        {CI_INQ_BIT_DEPTH, 10},       {CI_INQ_BYTES_PER_PIXEL, 2}, {CI_INQ_WAIT_TIME, 50},
        {CI_INQ_CAMERA_INFO, 7},      {CI_INQ_CAMERA_MODE, 9},   {CI_INQ_SYNC_SOURCE, 3}};
    for (const auto &[code, value] : expected) EXPECT_EQ(inquiry(board, code), value) << code;
    EXPECT_EQ(BFIsGn2(board), 1);
    uint32_t mode = 0, p1 = 0, p2 = 0, p3 = 0;
    ASSERT_EQ(CiConVTrigModeGet(board, &mode, &p1, &p2, &p3), 0);
    EXPECT_EQ((std::vector<uint32_t>{mode, p1, p2, p3}), (std::vector<uint32_t>{2, 11, 239, 240}));
    const bfsim_probe_board probe = probeBoard(board);
    EXPECT_EQ(probe.externalTriggerPeriodUs, 5000u);
    EXPECT_EQ(probe.framePeriodUs, 4000u);
}

TEST_F(SimConfigTest, PeriodsAreHeldInMicrosecondsWhicheverUnitTheyWereGivenIn)
{
    struct Case {
        const char *board, *camera;
        uint64_t externalUs, frameUs;
    } const cases[] = {
        {"", "", 0, 10000},
        {R"("externalTriggerPeriodMs": 3,)", R"("framePeriodMs": 2)", 3000, 2000},
        {R"("externalTriggerPeriodUs": 250,)", R"("framePeriodUs": 33333)", 250, 33333},
        {"", R"("framePeriodUs": 10)", 0, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.board) + c.camera);
        loadConfig(std::string(R"({"boards": [{"type": 16, )") + c.board + R"("cameras": [{)" + c.camera + "}]}]}");
        CiBoardHandle board = openBoard(kType16);
        const bfsim_probe_board probe = probeBoard(board);
        EXPECT_EQ(probe.externalTriggerPeriodUs, c.externalUs);
        EXPECT_EQ(probe.framePeriodUs, c.frameUs);
        ASSERT_EQ(CiBrdClose(board), 0);
    }
}

// A population written with every key at its documented default, as a tool
// that saves every field writes it, loads and behaves as the bare one does.
TEST_F(SimConfigTest, EveryDefaultGivenExplicitlyIsAcceptedAndChangesNothing)
{
    const std::string camera = R"({"width": 640, "lines": 480, "bitDepth": 8, "bytesPerPixel": 1,
        "waitTimeMs": 1000, "cameraInfo": 0, "cameraMode": 2, "syncSource": 0,
        "trigMode": 0, "trigParams": [0, 0, 0], "source": "ramp", "noise": 0, "gain": "auto",
        "fixedPatternNoise": 0, "vignetting": 0, "seed": 0,
        "files": [], "dropEvery": 0, "dropProbability": 0, "firstFrameNumber": 0, "stamp": true)";
    const std::string board = R"({"type": 16, "generation": "plain", "model": 4112, "cameras": [)";
    const std::string spelled[] = {
        R"({"boards": [)" + board + camera + R"(, "framePeriodUs": 10000}], "externalTriggerPeriodUs": 0}]})",
        R"({"boards": [)" + board + camera + R"(, "framePeriodMs": 10}], "externalTriggerPeriodMs": 0}]})",
    };
    // What a board shows of its population: periods, trigger, inquiries, generation.
    const auto observe = [this](const std::string &population) {
        EXPECT_EQ(bfsim_load_config(population.c_str()), 0);
        CiBoardHandle handle = openBoard(kType16);
        const bfsim_probe_board probe = probeBoard(handle);
        std::vector<uint64_t> seen = {probe.externalTriggerPeriodUs, probe.framePeriodUs,
                                      probe.triggerMode, uint64_t(BFIsR64(handle)),
                                      uint64_t(BFIsGn2(handle))};
        for (uint32_t code : {CI_INQ_WIDTH, CI_INQ_LINES, CI_INQ_BIT_DEPTH, CI_INQ_BYTES_PER_PIXEL,
                              CI_INQ_WAIT_TIME, CI_INQ_BOARD_MODEL})
            seen.push_back(inquiry(handle, code));
        EXPECT_EQ(CiBrdClose(handle), 0);
        return seen;
    };
    const std::vector<uint64_t> bare = observe(R"({"boards": [{"type": 16}]})");
    EXPECT_EQ(bare[0], 0u);
    EXPECT_EQ(bare[1], 10000u);
    for (const std::string &text : spelled) {
        SCOPED_TRACE(text);
        EXPECT_EQ(observe(text), bare);
    }
}

struct BadConfig {
    const char *why;
    const char *json;
    const char *mentions;  // part of the message naming the problem
};

const BadConfig kBadConfigs[] = {
    {"not JSON", R"({"boards": [)", "not valid JSON"},
    {"top level not an object", R"([])", "top level"},
    {"unknown board key", R"({"boards": [{"type": 16, "modle": 3}]})", "boards[0].modle"},
    {"missing type", R"({"boards": [{}]})", "boards[0].type"},
    {"type not a board type", R"({"boards": [{"type": 17}]})", "boards[0].type"},
    {"generation unknown", R"({"boards": [{"type": 16, "generation": "r32"}]})", "generation"},
    {"no cameras", R"({"boards": [{"type": 16, "cameras": []}]})", "cameras"},
    {"bytes per pixel 5", R"({"boards": [{"type": 16, "cameras": [{"bytesPerPixel": 5}]}]})",
     "cameras[0].bytesPerPixel"},
    {"zero width", R"({"boards": [{"type": 16, "cameras": [{"width": 0}]}]})", "width"},
    {"fractional width", R"({"boards": [{"type": 16, "cameras": [{"width": 640.5}]}]})", "width"},
    {"width beyond 32 bits", R"({"boards": [{"type": 16, "cameras": [{"width": 4294967296}]}]})",
     "width"},
    {"depth beyond the pixel", R"({"boards": [{"type": 16, "cameras": [{"bitDepth": 9}]}]})",
     "bitDepth"},
    {"zero frame period", R"({"boards": [{"type": 16, "cameras": [{"framePeriodMs": 0}]}]})",
     "framePeriodMs"},
    {"trigger mode 4", R"({"boards": [{"type": 16, "cameras": [{"trigMode": 4}]}]})", "trigMode"},
    {"two trigger params", R"({"boards": [{"type": 16, "cameras": [{"trigParams": [1, 2]}]}]})",
     "trigParams"},
    {"frame of 4 GiB",
     R"({"boards": [{"type": 16, "cameras": [{"width": 65536, "lines": 65536}]}]})",
     "does not fit"},
    {"second camera bad",
     R"({"boards": [{"type": 16, "cameras": [{}, {"bytesPerPixel": 8}]}]})", "cameras[1]"},
    {"period under 10 us", R"({"boards": [{"type": 16, "cameras": [{"framePeriodUs": 9}]}]})",
     "cameras[0].framePeriodUs"},
    {"period in ms and us",
     R"({"boards": [{"type": 16, "cameras": [{"framePeriodUs": 100, "framePeriodMs": 1}]}]})",
     "framePeriodUs"},
    {"period not a number", R"({"boards": [{"type": 16, "cameras": [{"framePeriodUs": "fast"}]}]})",
     "framePeriodUs"},
    {"stamp not a boolean", R"({"boards": [{"type": 16, "cameras": [{"stamp": 0}]}]})", "cameras[0].stamp"},
    {"external period under 10 us", R"({"boards": [{"type": 16, "externalTriggerPeriodUs": 3}]})",
     "boards[0].externalTriggerPeriodUs"},
    {"external period in ms and us",
     R"({"boards": [{"type": 16, "externalTriggerPeriodUs": 100, "externalTriggerPeriodMs": 1}]})",
     "externalTriggerPeriodUs"},
    {"unknown source", R"({"boards": [{"type": 16, "cameras": [{"source": "video"}]}]})",
     "cameras[0].source"},
    {"negative noise", R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "noise": -1}]}]})",
     "cameras[0].noise"},
    {"noise on a ramp", R"({"boards": [{"type": 16, "cameras": [{"noise": 2}]}]})", "cameras[0].noise"},
    {"negative gain", R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "gain": -1}]}]})",
     "cameras[0].gain"},
    {"gain a word", R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "gain": "high"}]}]})",
     "cameras[0].gain"},
    {"gain on a ramp", R"({"boards": [{"type": 16, "cameras": [{"gain": 2}]}]})", "cameras[0].gain"},
    {"negative fixed pattern",
     R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "fixedPatternNoise": -0.5}]}]})",
     "cameras[0].fixedPatternNoise"},
    {"vignetting above 1", R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "vignetting": 1.5}]}]})",
     "cameras[0].vignetting"},
    {"vignetting on a ramp", R"({"boards": [{"type": 16, "cameras": [{"vignetting": 0.2}]}]})",
     "cameras[0].vignetting"},
    {"seed not a number", R"({"boards": [{"type": 16, "cameras": [{"seed": "x"}]}]})", "cameras[0].seed"},
    {"files source without files", R"({"boards": [{"type": 16, "cameras": [{"source": "files"}]}]})",
     "cameras[0].files"},
    {"files on a scene", R"({"boards": [{"type": 16, "cameras": [{"source": "scene", "files": "a.pgm"}]}]})",
     "cameras[0].files"},
    {"files not paths", R"({"boards": [{"type": 16, "cameras": [{"source": "files", "files": [1]}]}]})",
     "cameras[0].files[0]"},
    {"replayed file missing",
     R"({"boards": [{"type": 16, "cameras": [{"source": "files", "files": ["/no/such/frame.pgm"]}]}]})",
     "/no/such/frame.pgm"},
    {"drop every frame", R"({"boards": [{"type": 16, "cameras": [{"dropEvery": 1}]}]})",
     "cameras[0].dropEvery"},
    {"drop probability 1", R"({"boards": [{"type": 16, "cameras": [{"dropProbability": 1}]}]})",
     "cameras[0].dropProbability"},
    {"drop probability negative", R"({"boards": [{"type": 16, "cameras": [{"dropProbability": -0.1}]}]})",
     "cameras[0].dropProbability"},
    {"first frame number negative", R"({"boards": [{"type": 16, "cameras": [{"firstFrameNumber": -1}]}]})",
     "cameras[0].firstFrameNumber"},
};

TEST_F(SimConfigTest, RefusedTextNamesTheProblemAndLeavesNoBoards)
{
    for (const BadConfig &bad : kBadConfigs) {
        SCOPED_TRACE(bad.why);
        ASSERT_EQ(bfsim_load_config(R"({"boards": [{"type": 16}]})"), 0);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(bfsim_load_config(bad.json), -1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(mentions(message, "bfsim_load_config"));
        EXPECT_TRUE(mentions(message, bad.mentions));
        EXPECT_EQ(totalBoards(), 0u);
    }
}

TEST_F(SimConfigTest, LoadingClosesOpenBoardsAndRefusesTheirHandlesAndEntries)
{
    CiBoardEntry entry{};
    ASSERT_EQ(CiSysBrdFind(kType32, 0, &entry), 0);
    CiBoardHandle board = openBoard(kType16);
    ASSERT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 1);

    loadConfig(R"({"boards": [{"type": 16}, {"type": 32}]})");
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_BOARDS), 0);
    EXPECT_NE(CiBrdClose(board), 0);
    EXPECT_EQ(qortest::takeMisuses(), std::vector<std::string>{"CiBrdClose"});
    CiBoardHandle stale = nullptr;
    EXPECT_NE(CiBrdOpen(&entry, &stale, 65), 0) << "entry found in the previous population";
    EXPECT_EQ(stale, nullptr);
}

TEST_F(SimConfigTest, FileNamedByTheEnvironmentLoadsOnResetAndBadOnesAreNamed)
{
    struct Case {
        const char *why;
        const char *text;  // null: the file does not exist
        const char *mentions;
    } const cases[] = {
        {"missing file", nullptr, "cannot be opened"},
        {"malformed JSON", "{\"boards\": [{\"type\": 16,}]}", "not valid JSON"},
        {"invalid value", R"({"boards": [{"type": 16, "cameras": [{"width": 0}]}]})", "width"},
    };
    useConfigFile(R"({"boards": [{"type": 64}, {"type": 64}]})");
    bfsim_reset();
    EXPECT_EQ(boardCount(kType64), 2u);
    EXPECT_EQ(totalBoards(), 2u);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        std::string path = useConfigFile(c.text != nullptr ? c.text : "");
        if (c.text == nullptr) {
            std::remove(path.c_str());
            path += ".absent";
            setenv("QOR_SIM_CONFIG", path.c_str(), 1);
        }
        ::testing::internal::CaptureStderr();
        bfsim_reset();
        EXPECT_EQ(totalBoards(), 0u);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(mentions(message, path));
        EXPECT_TRUE(mentions(message, c.mentions));
    }
}

}  // namespace
}  // namespace simtest
