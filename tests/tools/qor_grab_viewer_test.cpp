// qor-grab's live viewer over HTTP, in this process: the acquisition on the
// simulator and the server on a free loopback port, driven with
// cpp-httplib's client as a browser would.
#include <gtest/gtest.h>

#if QOR_GRAB_HAVE_VIEWER
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>

#include <tiffio.h>

#include "support/sim_fixture.h"
#include "tools/grey_png.h"
#include "viewer/display_frame.h"
#include "viewer/frame_stats.h"
#include "viewer/live_camera.h"
#include "viewer/viewer_server.h"

namespace {

using nlohmann::json;
using qorgrab::LiveCamera;
using qorgrab::ViewerServer;

constexpr auto kPatience = std::chrono::seconds(5);

class Viewer : public qortest::SimTest {
protected:
    // Starts the acquisition and the server on the population loaded.
    void start(const std::string &population = "")
    {
        if (!population.empty()) loadConfig(population);
        qorgrab::Options options;
        options.buffers = 4;
        camera_ = std::make_unique<LiveCamera>(options);
        server_ = std::make_unique<ViewerServer>(*camera_);
        port_ = server_->bind("127.0.0.1", 0);
        serving_ = std::thread([this] { server_->serve(); });
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(5, 0);
    }

    // Stops as Ctrl-C does; the simulator then holds nothing of ours.
    void stop()
    {
        if (!server_) return;
        server_->stop();
        serving_.join();
        camera_->close();
        server_.reset();
        camera_.reset();
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    }

    void TearDown() override
    {
        stop();
        SimTest::TearDown();
    }

    json status()
    {
        const auto result = client_->Get("/status");
        EXPECT_TRUE(result && result->status == 200);
        return result ? json::parse(result->body) : json();
    }

    // Waits until /status satisfies `done`.
    template <typename Predicate> bool waitFor(Predicate done)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (done(status())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    httplib::Result post(const std::string &path, const httplib::Params &params)
    {
        return client_->Post(path.c_str(), params);
    }

    // `request` over a socket of its own, answered and closed: the status
    // and the body.
    std::pair<int, std::string> rawRequest(const std::string &request)
    {
        const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (sock < 0 || ::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return {0, ""};
        ::send(sock, request.data(), request.size(), 0);
        std::string answer;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(sock, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
        ::close(sock);
        const size_t body = answer.find("\r\n\r\n");
        if (answer.rfind("HTTP/1.1 ", 0) != 0 || body == std::string::npos) return {0, answer};
        return {std::atoi(answer.c_str() + 9), answer.substr(body + 4)};
    }

    // Software trigger, fired once: the frame it brings is the latest until
    // the next fire. Returns its number.
    uint64_t oneFrame()
    {
        EXPECT_EQ(post("/trigger", {{"mode", "sw"}})->status, 200);
        EXPECT_EQ(post("/fire", {})->status, 200);
        EXPECT_TRUE(waitFor([](const json &s) { return s["frame"].is_number(); }));
        return status()["frame"].get<uint64_t>();
    }

    std::unique_ptr<LiveCamera> camera_;
    std::unique_ptr<ViewerServer> server_;
    std::unique_ptr<httplib::Client> client_;
    std::thread serving_;
    int port_ = 0;
};

const std::string kTwoCameras =
    R"({"boards":[{"type":16,"cameras":[{"width":64,"lines":48,"framePeriodMs":5},)"
    R"({"width":96,"lines":40,"bitDepth":12,"bytesPerPixel":2,"framePeriodMs":5}]}]})";

TEST_F(Viewer, ServesThePageAndLiveFrames)
{
    start(kTwoCameras);
    const auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<canvas id=\"live\""), std::string::npos);
    EXPECT_EQ(page->body.find("{{"), std::string::npos) << "a template field was left unfilled";
    // The page's own files, each with the type a browser needs to use it.
    for (const auto &[path, type] : {std::pair<const char *, const char *>{"/viewer.css", "text/css"},
                                     {"/viewer.js", "text/javascript"}}) {
        SCOPED_TRACE(path);
        const auto file = client_->Get(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->status, 200);
        EXPECT_EQ(file->get_header_value("Content-Type").rfind(type, 0), 0u);
        EXPECT_GT(file->body.size(), 100u);
        EXPECT_NE(page->body.find(std::string("\"") + path + "\""), std::string::npos);
    }

    ASSERT_TRUE(waitFor([](const json &s) { return s["received"].get<uint64_t>() >= 3; }));
    // The page arrives showing the counts so far, before its script runs.
    const auto shown = client_->Get("/");
    ASSERT_TRUE(shown);
    const std::string marker = "id=\"received\">";
    const size_t count = shown->body.find(marker);
    ASSERT_NE(count, std::string::npos);
    EXPECT_GE(std::atol(shown->body.c_str() + count + marker.size()), 3);
    const auto first = client_->Get("/frame.png");
    ASSERT_TRUE(first);
    ASSERT_EQ(first->status, 200);
    EXPECT_EQ(first->get_header_value("Content-Type"), "image/png");
    const qortest::GreyPng png = qortest::decodeGreyPng(first->body);
    EXPECT_EQ(png.width, 64u);
    EXPECT_EQ(png.lines, 48u);
    const uint64_t seen = std::stoull(first->get_header_value("X-Frame-Number"));
    ASSERT_TRUE(waitFor([seen](const json &s) { return s["frame"].get<uint64_t>() > seen + 2; }));
    const auto later = client_->Get("/frame.png");
    ASSERT_TRUE(later);
    EXPECT_GT(std::stoull(later->get_header_value("X-Frame-Number")), seen);

    const json s = status();
    EXPECT_EQ(s["width"], 64);
    EXPECT_EQ(s["bitDepth"], 8);
    EXPECT_EQ(s["trigger"], "free");
    EXPECT_TRUE(waitFor([](const json &st) { return st["fps"].get<double>() > 0; }));
    const auto histogram = client_->Get("/histogram");
    ASSERT_TRUE(histogram);
    const json bins = json::parse(histogram->body)["bins"];
    ASSERT_EQ(bins.size(), qorgrab::kHistogramBins);
    uint64_t pixels = 0;
    for (const auto &bin : bins) pixels += bin.get<uint64_t>();
    EXPECT_EQ(pixels, 64u * 48u);
}

TEST_F(Viewer, ControlsChangeWhatTheBoardDelivers)
{
    start(kTwoCameras);
    // Camera 1: its own geometry and depth, shown with auto contrast.
    const auto selected = post("/camera", {{"number", "1"}});
    ASSERT_TRUE(selected);
    ASSERT_EQ(selected->status, 200) << selected->body;
    EXPECT_EQ(json::parse(selected->body)["width"], 96);
    // The latest frame is forgotten at the switch: one shown now is camera 1's.
    ASSERT_TRUE(waitFor([](const json &s) { return s["camera"] == 1 && s["frame"].is_number(); }));
    auto frame = client_->Get("/frame.png");
    ASSERT_TRUE(frame);
    EXPECT_EQ(qortest::decodeGreyPng(frame->body).width, 96u);
    const auto snap = client_->Get("/snap.png");
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->status, 200);
    EXPECT_NE(snap->get_header_value("Content-Disposition").find("attachment"), std::string::npos);
    EXPECT_EQ(qortest::decodeGreyPng(snap->body).width, 96u);
    const auto tiff = client_->Get("/snap.tiff");
    ASSERT_TRUE(tiff);
    EXPECT_EQ(tiff->status, 200);
    EXPECT_EQ(tiff->get_header_value("Content-Type"), "image/tiff");
    EXPECT_EQ(tiff->body.substr(0, 4), std::string("II*\0", 4));  // little-endian TIFF

    // Software trigger: nothing arrives until fired, then one frame a fire.
    ASSERT_EQ(post("/trigger", {{"mode", "sw"}})->status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const uint64_t before = status()["received"];
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(status()["received"].get<uint64_t>(), before);
    ASSERT_EQ(post("/fire", {})->status, 200);
    EXPECT_TRUE(waitFor([before](const json &s) { return s["received"].get<uint64_t>() == before + 1; }));
    ASSERT_EQ(post("/trigger", {{"mode", "free"}})->status, 200);

    // Invert: the pixels become 255 minus the pattern.
    ASSERT_EQ(post("/camera", {{"number", "0"}})->status, 200);
    ASSERT_EQ(post("/lut", {{"kind", "invert"}})->status, 200);
    ASSERT_TRUE(waitFor([](const json &s) { return s["lut"] == "invert" && s["frame"].is_number() && s["frame"] > 2; }));
    frame = client_->Get("/frame.png");
    ASSERT_TRUE(frame);
    const qortest::GreyPng inverted = qortest::decodeGreyPng(frame->body);
    const uint32_t f = static_cast<uint32_t>(std::stoull(frame->get_header_value("X-Frame-Number")));
    ASSERT_EQ(inverted.width, 64u);
    // Line 1 is all pattern (line 0 starts with the frame number); the
    // run's frame index need not be the board's, so compare neighbours.
    for (uint32_t x = 1; x < 8; ++x)
        EXPECT_EQ(uint8_t(inverted.pixels[64 + x - 1] - inverted.pixels[64 + x]), 1) << x << " " << f;

    // Registers: written, then read back through the library.
    const auto written = post("/register", {{"id", "64"}, {"value", "0x1234"}});
    ASSERT_TRUE(written);
    EXPECT_EQ(json::parse(written->body)["value"], 0x1234);
    const auto read = client_->Get("/register?id=064");
    ASSERT_TRUE(read);
    EXPECT_EQ(json::parse(read->body)["value"], 0x1234);
    // A refusal of the board is passed on, and the acquisition goes on.
    const auto refused = post("/camera", {{"number", "7"}});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 409);
    EXPECT_NE(refused->body.find("BF_SelectCamera returned 5006"), std::string::npos) << refused->body;
    const uint64_t now = status()["received"];
    EXPECT_TRUE(waitFor([now](const json &s) { return s["received"].get<uint64_t>() > now + 2 && s["camera"] == 0; }));
}

TEST_F(Viewer, ASecondViewerOnTheSamePortIsRefused)
{
    start();
    ViewerServer second(*camera_);
    try {
        second.bind("127.0.0.1", port_);
        ADD_FAILURE() << "a second server listens on port " << port_;
    } catch (const std::runtime_error &error) {
        EXPECT_NE(std::string(error.what()).find("port in use"), std::string::npos) << error.what();
    }
}

// Ctrl-C can come before the listening thread has begun to listen: the
// server still stops, whichever of the two comes first.
TEST_F(Viewer, AStopBeforeServingBeganStillEndsTheServer)
{
    start();
    for (int round = 0; round < 200; ++round) {
        ViewerServer early(*camera_);
        early.bind("127.0.0.1", 0);
        std::thread serving([&early] { early.serve(); });
        if (round % 2 == 0) std::this_thread::yield();
        early.stop();
        serving.join();
    }
}

TEST_F(Viewer, BadRequestsAreRefusedBeforeTheBoard)
{
    start();
    struct Case {
        const char *path;
        httplib::Params params;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"/trigger", {{"mode", "hw"}}, "mode must be one of"},
        {"/trigger", {}, "missing parameter 'mode'"},
        {"/lut", {{"kind", "gamma"}}, "kind must be one of"},
        {"/camera", {{"number", "-1"}}, "number must be"},
        {"/camera", {{"number", "0x100000000"}}, "number must be"},
        {"/register", {{"id", "64"}, {"value", "12x"}}, "value must be"},
        {"/register", {{"id", "64"}}, "missing parameter 'value'"},
        {"/fire", {}, "fire needs trigger mode sw"},
    };
    ASSERT_TRUE(waitFor([](const json &s) { return s["received"].get<uint64_t>() > 0; }));
    bfsim_journal_clear();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const auto result = post(c.path, c.params);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400);
        EXPECT_NE(result->body.find(c.message), std::string::npos) << result->body;
    }
    const auto badRead = client_->Get("/register?id=x");
    ASSERT_TRUE(badRead);
    EXPECT_EQ(badRead->status, 400);
    const auto controls = qortest::journalOf({"CiBrdCamSel", "CiLutWrite", "CiLutSetMask",
                                              "CiConSwTrig", "CiConExTrigConnect",
                                              "CiConVTrigModeSet", "BFRegPoke", "BFRegPeek",
                                              "CiAqSetup", "CiAqCleanUp"});
    EXPECT_TRUE(controls.empty()) << controls.size() << " control calls, first "
                                  << (controls.empty() ? "" : controls[0].function);
    EXPECT_EQ(status()["acquiring"], true);
}

TEST_F(Viewer, AStalledBrowserDoesNotStallTheAcquisition)
{
    start();
    // A client that sends half a request and then nothing holds a server
    // thread; frames keep coming all the same.
    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(stalled, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(stalled, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const char partial[] = "GET /frame.png HTTP/1.1\r\nHost: x\r\n";
    ASSERT_GT(::send(stalled, partial, sizeof partial - 1, 0), 0);
    const uint64_t before = status()["received"];
    EXPECT_TRUE(waitFor([before](const json &s) { return s["received"].get<uint64_t>() > before + 10; }));
    ::close(stalled);
    stop();
}

TEST_F(Viewer, EveryRefusalCarriesItsReason)
{
    start(kTwoCameras);  // camera 0: 64 x 48
    ASSERT_TRUE(waitFor([](const json &s) { return s["frame"].is_number(); }));
    // A POST without any body (curl -X POST), and one with an empty form.
    const std::vector<std::pair<std::string, std::string>> posts = {
        {"/trigger", "missing parameter 'mode'"},   {"/lut", "missing parameter 'kind'"},
        {"/camera", "missing parameter 'number'"},  {"/register", "missing parameter 'value'"},
        {"/fire", "fire needs trigger mode sw"},    {"/nothere", "no such page: POST /nothere"},
    };
    for (const auto &[path, reason] : posts) {
        SCOPED_TRACE(path);
        const int expected = path == "/nothere" ? 404 : 400;
        const auto [bodiless, text] =
            rawRequest("POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(bodiless, expected);
        EXPECT_NE(text.find(reason), std::string::npos) << text;
        const auto empty = client_->Post(path.c_str(), "", "application/x-www-form-urlencoded");
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->status, expected);
        EXPECT_NE(empty->body.find(reason), std::string::npos) << empty->body;
        EXPECT_EQ(empty->get_header_value("Content-Type").rfind("text/plain", 0), 0u);
    }
    const std::vector<std::tuple<std::string, int, std::string>> gets = {
        {"/pixel?x=64&y=0", 400, "x must be at most 63, not 64"},
        {"/pixel?x=0&y=48", 400, "y must be at most 47, not 48"},
        {"/pixel?y=0", 400, "missing parameter 'x'"},
        {"/histogram?frame=99999999999", 410, "frame 99999999999 is not held"},
        {"/pixel?x=0&y=0&frame=-1", 400, "frame must be an unsigned 64-bit"},
        {"/register", 400, "missing parameter 'id' (or 'name')"},
        {"/register?name=NO_SUCH", 404, "no register named NO_SUCH"},
        {"/record.tiff?frames=0", 400, "frames must be at least 1"},
        {"/record.tiff?frames=1001", 400, "frames must be at most 1000"},
        {"/nothere", 404, "no such page: GET /nothere"},
    };
    for (const auto &[path, expected, reason] : gets) {
        SCOPED_TRACE(path);
        const auto result = client_->Get(path.c_str());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, expected);
        EXPECT_NE(result->body.find(reason), std::string::npos) << result->body;
    }
    EXPECT_EQ(status()["acquiring"], true);
}

TEST_F(Viewer, MeasuresTheFrameAsTheCameraGaveIt)
{
    // 8 bits over 320 x 240: the ramp passes full scale on many pixels.
    start(R"({"boards":[{"type":16,"cameras":[{"width":320,"lines":240,"stamp":false}]}]})");
    const uint64_t frame = oneFrame();
    const auto snap = client_->Get("/snap.png");
    ASSERT_TRUE(snap);
    const qortest::GreyPng exact = qortest::decodeGreyPng(snap->body);
    ASSERT_EQ(exact.width, 320u);
    const auto [low, high] = std::minmax_element(exact.pixels.begin(), exact.pixels.end());
    uint64_t sum = 0;
    for (uint8_t v : exact.pixels) sum += v;
    const auto saturated = static_cast<uint64_t>(std::count(exact.pixels.begin(), exact.pixels.end(), 255));
    ASSERT_GT(saturated, 0u);

    const auto histogram = client_->Get(("/histogram?frame=" + std::to_string(frame)).c_str());
    ASSERT_TRUE(histogram);
    ASSERT_EQ(histogram->status, 200) << histogram->body;
    const json stats = json::parse(histogram->body);
    EXPECT_EQ(stats["frame"], frame);
    EXPECT_EQ(stats["min"], *low);
    EXPECT_EQ(stats["max"], *high);
    EXPECT_NEAR(stats["mean"].get<double>(), double(sum) / exact.pixels.size(), 1e-9);
    EXPECT_EQ(stats["fullScale"], 255);
    EXPECT_EQ(stats["saturated"], saturated);

    for (const auto &[x, y] : {std::pair<uint32_t, uint32_t>{0, 0}, {319, 0}, {17, 9}, {319, 239}}) {
        const std::string query = "/pixel?x=" + std::to_string(x) + "&y=" + std::to_string(y);
        const auto pixel = client_->Get(query.c_str());
        ASSERT_TRUE(pixel);
        EXPECT_EQ(json::parse(pixel->body)["value"], exact.at(x, y)) << query;
    }
    const auto mask = client_->Get(("/saturation.png?frame=" + std::to_string(frame)).c_str());
    ASSERT_TRUE(mask);
    const qortest::GreyPng marked = qortest::decodeGreyPng(mask->body);
    ASSERT_EQ(marked.pixels.size(), exact.pixels.size());
    for (size_t i = 0; i < exact.pixels.size(); ++i)
        ASSERT_EQ(marked.pixels[i], exact.pixels[i] == 255 ? 255 : 0) << "pixel " << i;
}

// The pages of a TIFF in memory: each one's PageName, in order.
std::vector<std::string> tiffPages(const std::string &bytes)
{
    const auto path = std::filesystem::temp_directory_path() / ("viewer-record-" + std::to_string(::getpid()) + ".tif");
    std::ofstream(path, std::ios::binary) << bytes;
    std::vector<std::string> pages;
    if (TIFF *tiff = TIFFOpen(path.c_str(), "r")) {
        do {
            char *name = nullptr;
            pages.push_back(TIFFGetField(tiff, TIFFTAG_PAGENAME, &name) == 1 && name ? name : "");
        } while (TIFFReadDirectory(tiff));
        TIFFClose(tiff);
    }
    std::filesystem::remove(path);
    return pages;
}

TEST_F(Viewer, RecordsFramesToAMultiPageTiff)
{
    start(kTwoCameras);
    const auto recorded = client_->Get("/record.tiff?frames=5");
    ASSERT_TRUE(recorded);
    ASSERT_EQ(recorded->status, 200) << recorded->body;
    EXPECT_EQ(recorded->get_header_value("Content-Type"), "image/tiff");
    EXPECT_EQ(recorded->get_header_value("X-Frames"), "5");
    const std::vector<std::string> pages = tiffPages(recorded->body);
    ASSERT_EQ(pages.size(), 5u);
    // Every frame delivered, not only those shown: numbers rise by the
    // frames ended, which the host counts as missed.
    for (size_t i = 1; i < pages.size(); ++i)
        EXPECT_GT(std::stoull(pages[i].substr(6)), std::stoull(pages[i - 1].substr(6))) << pages[i];

    // Two at once: one records, the other is refused.
    oneFrame();
    auto recordTwo = [this] {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(30, 0);
        const auto result = client.Get("/record.tiff?frames=2");
        return result ? std::make_pair(result->status, result->body) : std::make_pair(0, std::string());
    };
    auto first = std::async(std::launch::async, recordTwo);
    auto second = std::async(std::launch::async, recordTwo);
    for (int fire = 0; fire < 500 && (first.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready ||
                                      second.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready);
         ++fire)
        post("/fire", {});
    auto answers = std::vector{first.get(), second.get()};
    std::sort(answers.begin(), answers.end());
    ASSERT_EQ(answers[0].first, 200);
    EXPECT_EQ(tiffPages(answers[0].second).size(), 2u);
    EXPECT_EQ(answers[1].first, 409);
    EXPECT_NE(answers[1].second.find("another recording is under way"), std::string::npos);
}

TEST_F(Viewer, FindsRegistersByNameAndCountsCameraLossesApart)
{
    start(R"({"boards":[{"type":16,"cameras":[{"width":64,"lines":48,"framePeriodMs":5,"dropEvery":4}]}]})");
    const auto gain = client_->Get("/register?name=gain");
    ASSERT_TRUE(gain);
    ASSERT_EQ(gain->status, 200) << gain->body;
    EXPECT_EQ(json::parse(gain->body)["id"], BFSIM_REG_GAIN);
    EXPECT_EQ(json::parse(gain->body)["value"], BFSIM_GAIN_VALUE);
    const auto written = post("/register", {{"name", "Gain"}, {"value", "7"}});
    ASSERT_TRUE(written);
    EXPECT_EQ(json::parse(written->body)["value"], 7);
    EXPECT_EQ(json::parse(client_->Get("/register?id=12")->body)["value"], 7);

    // One frame in four never leaves the camera: the simulator counts it,
    // and the viewer reports it apart from the frames the host missed.
    EXPECT_TRUE(waitFor([](const json &s) { return s["lostByCamera"].is_number() && s["lostByCamera"] >= 5; }));
}

TEST(ViewerStats, AreOfTheDepthsSamples)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        qorgrab::FrameView view;  // data set from bytes
        uint32_t min, max, fullScale;
        uint64_t saturated;
        double mean;
        std::vector<uint8_t> mask;
    };
    std::vector<Case> cases = {
        {"8 bits", {255, 1, 2, 255}, {nullptr, 4, 1, 4, 1, 8}, 1, 255, 255, 2, 128.25, {255, 0, 0, 255}},
        // Bits above the depth are not image: 0xF0FF is 255 at 8 bits of 16.
        {"12 of 16 bits", {0, 0, 0xFF, 0x0F, 0xFF, 0xFF, 100, 0}, {nullptr, 4, 1, 8, 2, 12}, 0, 4095, 4095, 2,
         (4095.0 * 2 + 100) / 4, {0, 255, 255, 0}},
        // The stride's padding is no pixel.
        {"padded lines", {3, 255, 255, 5, 7, 255}, {nullptr, 2, 2, 3, 1, 8}, 3, 255, 255, 1, (3 + 255 + 5 + 7) / 4.0,
         {0, 255, 0, 0}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.view.data = c.bytes.data();
        const qorgrab::FrameStats stats = qorgrab::frameStats(c.view);
        EXPECT_EQ(stats.min, c.min);
        EXPECT_EQ(stats.max, c.max);
        EXPECT_EQ(stats.fullScale, c.fullScale);
        EXPECT_EQ(stats.saturated, c.saturated);
        EXPECT_DOUBLE_EQ(stats.mean, c.mean);
        EXPECT_EQ(qorgrab::saturationMask(c.view), c.mask);
    }
}

TEST(ViewerDisplay, DeepFramesAreStretchedShallowOnesScaled)
{
    const uint16_t deep[] = {1000, 1500, 2000, 1250};
    const auto image = qorgrab::displayImage(
        qorgrab::FrameView{reinterpret_cast<const uint8_t *>(deep), 4, 1, 8, 2, 12});
    EXPECT_EQ(image.low, 1000u);
    EXPECT_EQ(image.high, 2000u);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{0, 127, 255, 63}));

    const uint8_t shallow[] = {0, 3, 0xFF};  // 2 bits deep; bits above are not image
    const auto scaled = qorgrab::displayImage(qorgrab::FrameView{shallow, 3, 1, 3, 1, 2});
    EXPECT_EQ(scaled.pixels, (std::vector<uint8_t>{0, 192, 192}));

    const auto bins = qorgrab::frameStats(qorgrab::FrameView{reinterpret_cast<const uint8_t *>(deep), 4, 1, 8, 2, 12}).bins;
    EXPECT_EQ(bins[1000 * 256 / 4096], 1u);
    EXPECT_EQ(bins[2000 * 256 / 4096], 1u);
}

}  // namespace

#endif
