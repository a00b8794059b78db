// qor-grab view in a real browser: the built program serves a simulated
// camera, and headless Chromium loads the page: two screenshots must show a
// picture that moves and a frame counter that advances, and a page driven
// by its link (zoom, pixel read-out, overlay, register, recording) must show
// what the frame's exact samples say. QOR_VIEW_SCREENSHOT=PATH keeps the
// last screenshot of the moving picture.
#include <gtest/gtest.h>

#if QOR_GRAB_HAVE_VIEWER
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include "tools/grey_png.h"
#include "tools/qor_grab_process.h"

namespace {

using namespace qortest;

constexpr const char *kChromium = "/usr/bin/chromium";
// Chromium in a sealed box: no sandbox (CI runs as root), no GPU, and none
// of the traffic it would start on its own.
constexpr const char *kChromiumFlags =
    "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
    "--disable-background-networking --disable-component-update --disable-sync "
    "--window-size=1280,800 --timeout=8000";
// Virtual time lets the page's requests finish before the DOM and the
// screenshot are taken (the page loads at once; its frames come after).
constexpr const char *kSettle = " --virtual-time-budget=3000";
// A busy machine can start Chromium too late for the page to have shown
// its first counts; such a load is tried again.
constexpr int kLoadAttempts = 3;

// Where the page puts the live image at 1280 x 800: the view left of the
// 330-pixel panel, below the 44-pixel header; this box is well inside it.
constexpr uint32_t kLeft = 100, kRight = 850, kTop = 120, kBottom = 720;

// The viewer as a child process, stopped with SIGINT as Ctrl-C would.
class ViewerProcess {
public:
    ViewerProcess(const fs::path &config, const fs::path &log)
    {
        int pipe[2];
        if (::pipe(pipe) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipe[1], STDOUT_FILENO);
            std::freopen(log.c_str(), "w", stderr);
            ::setenv("QOR_SIM_CONFIG", config.c_str(), 1);
            ::execl(QOR_GRAB_PROGRAM, "qor-grab", "view", "--port", "0", static_cast<char *>(nullptr));
            std::_Exit(127);
        }
        ::close(pipe[1]);
        out_ = ::fdopen(pipe[0], "r");
        char line[256];
        if (out_ && std::fgets(line, sizeof line, out_)) firstLine_ = line;
    }
    ~ViewerProcess()
    {
        if (pid_ > 0 && exitCode_ < 0) stop();
        if (out_) std::fclose(out_);
    }

    int port() const
    {
        const auto colon = firstLine_.rfind(':');
        return colon == std::string::npos ? 0 : std::atoi(firstLine_.c_str() + colon + 1);
    }
    const std::string &firstLine() const { return firstLine_; }

    // SIGINT, then the exit status and the rest of stdout.
    std::string stop()
    {
        ::kill(pid_, SIGINT);
        std::string rest;
        char line[256];
        while (out_ && std::fgets(line, sizeof line, out_)) rest += line;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return rest;
    }
    int exitCode() const { return exitCode_; }

private:
    pid_t pid_ = -1;
    FILE *out_ = nullptr;
    std::string firstLine_;
    int exitCode_ = -1;
};

class QorGrabBrowser : public QorGrabProcess {
protected:
    // Loads the page in a fresh profile; returns the frame counter the page
    // showed when the screenshot was taken, and leaves the screenshot at `shot`.
    long loadPage(int port, const fs::path &shot)
    {
        long received = -1;
        for (int attempt = 0; attempt < kLoadAttempts && received <= 0; ++attempt)
            received = loadPageOnce(port, shot);
        return received;
    }

    long loadPageOnce(int port, const fs::path &shot)
    {
        const fs::path profile = dir_ / ("profile-" + shot.stem().string());
        const fs::path dom = dir_ / (shot.stem().string() + ".html");
        const std::string command = std::string("timeout 60 ") + kChromium + " " + kChromiumFlags +
                                    kSettle + " --user-data-dir='" + profile.string() + "' --screenshot='" +
                                    shot.string() + "' --dump-dom http://127.0.0.1:" +
                                    std::to_string(port) + "/ >'" + dom.string() + "' 2>>'" +
                                    (dir_ / "chromium.log").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << readFile(dir_ / "chromium.log");
        const std::string html = readFile(dom);
        lastDom_ = html;
        const std::string marker = "id=\"received\">";
        const auto at = html.find(marker);
        return at == std::string::npos ? -1 : std::atol(html.c_str() + at + marker.size());
    }

    // Loads the page until its DOM satisfies `done` (a busy machine can
    // dump it before the script's first status came back); false if it never did.
    template <typename Predicate> bool loadUntil(int port, const fs::path &shot, Predicate done)
    {
        for (int attempt = 0; attempt < kLoadAttempts; ++attempt)
            if (loadPageOnce(port, shot) > 0 && done(lastDom_)) return true;
        return false;
    }

    // Loads the page at `link` ("?zoom=1:1..."), which drives its controls,
    // until its DOM satisfies `done`; the DOM is left in lastDom_.
    template <typename Predicate> bool loadLinkUntil(int port, const std::string &link, Predicate done)
    {
        const fs::path dom = dir_ / "link.html";
        const std::string command = std::string("timeout 60 ") + kChromium + " " + kChromiumFlags +
                                    kSettle + " --user-data-dir='" +
                                    (dir_ / "profile-link").string() + "' --dump-dom 'http://127.0.0.1:" +
                                    std::to_string(port) + "/" + link + "' >'" + dom.string() + "' 2>>'" +
                                    (dir_ / "chromium.log").string() + "'";
        for (int attempt = 0; attempt < kLoadAttempts; ++attempt) {
            EXPECT_EQ(std::system(command.c_str()), 0) << readFile(dir_ / "chromium.log");
            lastDom_ = readFile(dom);
            if (done(lastDom_)) return true;
        }
        return false;
    }

    // The page as the browser left it after the last load.
    std::string lastDom_;
};

// The opening tag of the element with id `id` in `html`, or "".
std::string tagOf(const std::string &html, const std::string &id)
{
    const auto at = html.find("id=\"" + id + "\"");
    if (at == std::string::npos) return "";
    const auto open = html.rfind('<', at);
    return html.substr(open, html.find('>', at) - open + 1);
}

std::string textOf(const std::string &html, const std::string &id)
{
    const std::string tag = tagOf(html, id);
    if (tag.empty()) return "";
    const auto start = html.find(tag) + tag.size();
    return html.substr(start, html.find('<', start) - start);
}

// What a frame's exact samples say, for comparing with what the page shows.
struct Expected {
    uint32_t min = 255, max = 0;
    double mean = 0;
    uint64_t saturated = 0;
};
Expected measure(const qortest::GreyPng &frame)
{
    Expected e;
    uint64_t sum = 0;
    for (uint8_t v : frame.pixels) {
        e.min = std::min<uint32_t>(e.min, v);
        e.max = std::max<uint32_t>(e.max, v);
        sum += v;
        e.saturated += v == 255;
    }
    e.mean = double(sum) / frame.pixels.size();
    return e;
}

TEST_F(QorGrabBrowser, ThePageMeasuresTheFrameItShows)
{
    ASSERT_EQ(::access(kChromium, X_OK), 0) << kChromium << " is missing: scripts/packages.sh installs it";
    std::ofstream(dir_ / "boards.json") << population(camera(320, 240, 8, 1, ",\"stamp\":false"));
    ViewerProcess viewer(dir_ / "boards.json", dir_ / "viewer.log");
    ASSERT_GT(viewer.port(), 0) << viewer.firstLine() << readFile(dir_ / "viewer.log");
    httplib::Client client("127.0.0.1", viewer.port());
    client.set_read_timeout(30, 0);
    // One frame, software-triggered: the page and this test see the same.
    ASSERT_EQ(client.Post("/trigger", httplib::Params{{"mode", "sw"}})->status, 200);
    ASSERT_EQ(client.Post("/fire", httplib::Params{})->status, 200);
    std::string snap;
    for (int tries = 0; tries < 100 && snap.empty(); ++tries) {
        const auto result = client.Get("/snap.png");
        if (result && result->status == 200) snap = result->body;
        else ::usleep(20000);
    }
    const qortest::GreyPng frame = qortest::decodeGreyPng(snap);
    ASSERT_EQ(frame.width, 320u);
    const Expected expected = measure(frame);
    ASSERT_GT(expected.saturated, 0u);

    const auto ready = [](const std::string &dom) {
        return textOf(dom, "pvalue") != "\u2013" && textOf(dom, "min") != "\u2013" &&
               tagOf(dom, "overlay").find("data-marked") != std::string::npos &&
               textOf(dom, "message").find("register") != std::string::npos;
    };
    EXPECT_TRUE(loadLinkUntil(viewer.port(), "?zoom=1:1&at=17,9&saturation=on&register=gain", ready));
    EXPECT_EQ(textOf(lastDom_, "scale"), "1:1");
    EXPECT_NE(tagOf(lastDom_, "stage").find("scale(1)"), std::string::npos) << tagOf(lastDom_, "stage");
    EXPECT_EQ(textOf(lastDom_, "px"), "17");
    EXPECT_EQ(textOf(lastDom_, "py"), "9");
    EXPECT_EQ(textOf(lastDom_, "pvalue"), std::to_string(frame.at(17, 9)));
    EXPECT_EQ(textOf(lastDom_, "min"), std::to_string(expected.min));
    EXPECT_EQ(textOf(lastDom_, "max"), std::to_string(expected.max));
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.2f", expected.mean);
    EXPECT_EQ(textOf(lastDom_, "mean"), mean);
    const std::string saturated = "data-count=\"" + std::to_string(expected.saturated) + "\"";
    EXPECT_NE(tagOf(lastDom_, "saturated").find(saturated), std::string::npos) << tagOf(lastDom_, "saturated");
    const std::string marked = "data-marked=\"" + std::to_string(expected.saturated) + "\"";
    EXPECT_NE(tagOf(lastDom_, "overlay").find(marked), std::string::npos) << tagOf(lastDom_, "overlay");
    EXPECT_EQ(tagOf(lastDom_, "overlay").find("hidden"), std::string::npos);
    EXPECT_NE(textOf(lastDom_, "message").find("register 12 = 256"), std::string::npos) << textOf(lastDom_, "message");

    // Free run again: a recording of 3 frames, offered for saving.
    ASSERT_EQ(client.Post("/trigger", httplib::Params{{"mode", "free"}})->status, 200);
    EXPECT_TRUE(loadLinkUntil(viewer.port(), "?record=3&log=on", [](const std::string &dom) {
        return textOf(dom, "message").find("recorded") != std::string::npos;
    })) << textOf(lastDom_, "message");
    EXPECT_EQ(textOf(lastDom_, "message").rfind("recorded 3 frames", 0), 0u) << textOf(lastDom_, "message");
    EXPECT_EQ(tagOf(lastDom_, "recording").find("hidden"), std::string::npos) << tagOf(lastDom_, "recording");
    EXPECT_NE(tagOf(lastDom_, "histogram").find("data-scale=\"log\""), std::string::npos);

    viewer.stop();
    EXPECT_EQ(viewer.exitCode(), 0) << readFile(dir_ / "viewer.log");
}

TEST_F(QorGrabBrowser, ThePageFollowsTheCameraAndWaitsForTheTrigger)
{
    ASSERT_EQ(::access(kChromium, X_OK), 0) << kChromium << " is missing: scripts/packages.sh installs it";
    std::ofstream(dir_ / "boards.json") << population(camera(64, 48, 8, 1) + "," + camera(96, 40, 8, 1));
    ViewerProcess viewer(dir_ / "boards.json", dir_ / "viewer.log");
    ASSERT_GT(viewer.port(), 0) << viewer.firstLine() << readFile(dir_ / "viewer.log");
    httplib::Client client("127.0.0.1", viewer.port());
    client.set_read_timeout(5, 0);

    // Selected elsewhere (another browser, a script): the Camera box shows it.
    const auto selected = client.Post("/camera", httplib::Params{{"number", "1"}});
    ASSERT_TRUE(selected);
    ASSERT_EQ(selected->status, 200) << selected->body;
    EXPECT_TRUE(loadUntil(viewer.port(), dir_ / "camera.png", [](const std::string &dom) {
        return tagOf(dom, "camera").find("value=\"1\"") != std::string::npos;
    })) << tagOf(lastDom_, "camera");
    EXPECT_EQ(tagOf(lastDom_, "live").find("hidden"), std::string::npos) << "a live camera shows no image";

    // Software trigger, never fired: no frame, and the page says why.
    const auto triggered = client.Post("/trigger", httplib::Params{{"mode", "sw"}});
    ASSERT_TRUE(triggered);
    ASSERT_EQ(triggered->status, 200) << triggered->body;
    loadUntil(viewer.port(), dir_ / "waiting.png",
              [](const std::string &dom) { return textOf(dom, "waiting") == "waiting for trigger"; });
    EXPECT_EQ(textOf(lastDom_, "waiting"), "waiting for trigger") << lastDom_;
    EXPECT_EQ(tagOf(lastDom_, "waiting").find("hidden"), std::string::npos) << tagOf(lastDom_, "waiting");
    EXPECT_NE(tagOf(lastDom_, "live").find("hidden"), std::string::npos) << tagOf(lastDom_, "live");

    viewer.stop();
    EXPECT_EQ(viewer.exitCode(), 0) << readFile(dir_ / "viewer.log");
}

TEST_F(QorGrabBrowser, ThePageShowsALiveMovingPicture)
{
    ASSERT_EQ(::access(kChromium, X_OK), 0) << kChromium << " is missing: scripts/packages.sh installs it";
    // 10 bits: the ramp wraps within every frame, so whatever frames the
    // two screenshots catch, the picture differs (an 8-bit ramp repeats
    // every 256 frames).
    std::ofstream(dir_ / "boards.json") << population(camera(640, 480, 10, 2));
    ViewerProcess viewer(dir_ / "boards.json", dir_ / "viewer.log");
    ASSERT_GT(viewer.port(), 0) << viewer.firstLine() << readFile(dir_ / "viewer.log");

    const long first = loadPage(viewer.port(), dir_ / "first.png");
    const long second = loadPage(viewer.port(), dir_ / "second.png");
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first) << "the frame counter did not advance";

    const qortest::GreyPng a = qortest::decodeGreyPng(readFile(dir_ / "first.png"));
    const qortest::GreyPng b = qortest::decodeGreyPng(readFile(dir_ / "second.png"));
    ASSERT_EQ(a.width, 1280u);
    ASSERT_EQ(a.lines, 800u);
    ASSERT_EQ(b.width, a.width);
    std::set<uint8_t> shades;
    uint64_t difference = 0;
    for (uint32_t y = kTop; y < kBottom; ++y)
        for (uint32_t x = kLeft; x < kRight; ++x) {
            shades.insert(a.at(x, y));
            difference += a.at(x, y) > b.at(x, y) ? a.at(x, y) - b.at(x, y) : b.at(x, y) - a.at(x, y);
        }
    // The test pattern is a ramp: a blank or missing image is one shade.
    EXPECT_GE(shades.size(), 64u) << "the image area is blank";
    EXPECT_GT(difference, 0u) << "the picture did not move between the screenshots";

    const std::string rest = viewer.stop();
    EXPECT_EQ(viewer.exitCode(), 0) << readFile(dir_ / "viewer.log");
    EXPECT_NE(rest.find("stopped: "), std::string::npos) << rest;
    EXPECT_EQ(readFile(dir_ / "viewer.log"), "");

    if (const char *keep = std::getenv("QOR_VIEW_SCREENSHOT"))
        fs::copy_file(dir_ / "second.png", keep, fs::copy_options::overwrite_existing);
}

}  // namespace

#endif
