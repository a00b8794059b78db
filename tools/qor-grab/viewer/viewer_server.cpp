#include "viewer/viewer_server.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <stdexcept>
#include <thread>

#include "bf_check.h"
#include "number_text.h"
#include "png/png_writer.h"
#include "viewer/display_frame.h"
#include "viewer/page_files.h"
#if QOR_GRAB_HAVE_TIFF
#include "tiff/tiff_writer.h"
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qorgrab {
namespace {

using nlohmann::json;

constexpr int kBadRequest = 400;
constexpr int kNotFound = 404;
constexpr int kConflict = 409;       // the board refused a valid request
constexpr int kUnavailable = 503;    // no frame yet
constexpr uint64_t kU32Max = std::numeric_limits<uint32_t>::max();

const std::map<std::string, LiveTrigger> kTriggers = {
    {"free", LiveTrigger::FreeRun}, {"ext", LiveTrigger::External}, {"sw", LiveTrigger::Software}};
const std::map<std::string, bool> kLuts = {{"none", false}, {"invert", true}};

const char *triggerName(LiveTrigger trigger)
{
    for (const auto &[name, value] : kTriggers)
        if (value == trigger) return name.c_str();
    return "free";
}

// A request the viewer will not pass on to the board.
class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class NoFrameYet : public std::runtime_error {
public:
    NoFrameYet() : std::runtime_error("no frame has arrived yet") {}
};

std::string param(const httplib::Request &request, const char *name)
{
    if (!request.has_param(name)) throw BadRequest(std::string("missing parameter '") + name + "'");
    return request.get_param_value(name);
}

uint32_t numberParam(const httplib::Request &request, const char *name)
{
    const std::string text = param(request, name);
    const auto decimal = decimalText(text, false);
    if (!decimal || decimal->size() > 10 || std::stoull(*decimal) > kU32Max)
        throw BadRequest(std::string(name) + " must be an unsigned 32-bit decimal or 0x-hex "
                                             "number, not '" + text + "'");
    return static_cast<uint32_t>(std::stoull(*decimal));
}

template <typename T>
T choiceParam(const httplib::Request &request, const char *name, const std::map<std::string, T> &choices)
{
    const std::string text = param(request, name);
    const auto found = choices.find(text);
    if (found != choices.end()) return found->second;
    std::string allowed;
    for (const auto &choice : choices) allowed += (allowed.empty() ? "" : ", ") + choice.first;
    throw BadRequest(std::string(name) + " must be one of " + allowed + ", not '" + text + "'");
}

void sendJson(httplib::Response &response, const json &body)
{
    response.set_header("Cache-Control", "no-store");
    response.set_content(body.dump(), "application/json");
}

void sendError(httplib::Response &response, int status, const std::string &message)
{
    response.status = status;
    response.set_content(message + "\n", "text/plain; charset=utf-8");
}

// Runs a handler and turns what it throws into the answer for it.
httplib::Server::Handler guarded(std::function<void(const httplib::Request &, httplib::Response &)> handler)
{
    return [handler](const httplib::Request &request, httplib::Response &response) {
        try {
            handler(request, response);
        } catch (const BadRequest &error) {
            sendError(response, kBadRequest, error.what());
        } catch (const NoFrameYet &error) {
            sendError(response, kUnavailable, error.what());
        } catch (const std::exception &error) {
            sendError(response, kConflict, error.what());
        }
    };
}

json stateJson(const LiveState &state, const std::shared_ptr<const LiveFrame> &frame)
{
    return json{{"received", state.received},
                {"missed", state.missed},
                {"fps", state.fps},
                {"width", state.width},
                {"lines", state.lines},
                {"bitDepth", state.bitDepth},
                {"bytesPerPixel", state.bytesPerPixel},
                {"camera", state.camera},
                {"trigger", triggerName(state.trigger)},
                {"lut", state.invert ? "invert" : "none"},
                {"acquiring", state.acquiring},
                {"error", state.error},
                {"frame", frame ? json(frame->frameNumber) : json(nullptr)}};
}

std::shared_ptr<const LiveFrame> requireFrame(const LiveCamera &camera)
{
    auto frame = camera.latest();
    if (!frame) throw NoFrameYet();
    return frame;
}

void sendDownload(httplib::Response &response, const std::vector<uint8_t> &bytes,
                  const char *type, const std::string &name)
{
    response.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    response.set_header("Cache-Control", "no-store");
    response.set_content(std::string(bytes.begin(), bytes.end()), type);
}

#if QOR_GRAB_HAVE_TIFF
// libtiff writes files: the page goes through one in the temporary folder.
std::vector<uint8_t> tiffBytes(const LiveFrame &frame)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("qor-grab-snap-" + std::to_string(::getpid()) + "-" +
                       std::to_string(frame.frameNumber) + ".tif");
    writeTiff(path.string(), frame.view, frame.frameNumber, frame.captured);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return bytes;
}
#endif

// Whether another socket listens on address:port, which is why binding
// there failed (rather than an address this machine does not have).
bool portInUse(const std::string &address, int port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    if (port <= 0 || inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) return false;
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0) return false;
    const int yes = 1;
    setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool inUse =
        ::bind(probe, reinterpret_cast<const sockaddr *>(&where), sizeof where) != 0 &&
        errno == EADDRINUSE;
    close(probe);
    return inUse;
}

std::string snapName(const LiveFrame &frame, const char *extension)
{
    char name[48];
    std::snprintf(name, sizeof name, "snap_%06llu.%s",
                  static_cast<unsigned long long>(frame.frameNumber), extension);
    return name;
}

}  // namespace

ViewerServer::ViewerServer(LiveCamera &camera) : camera_(camera)
{
    // The server's default options add SO_REUSEPORT, which lets a second
    // viewer listen on the same port and take every other request; only
    // SO_REUSEADDR is wanted (a restarted viewer may bind at once).
    server_.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    addRoutes();
}

int ViewerServer::bind(const std::string &address, int port)
{
    const int bound = port == 0 ? server_.bind_to_any_port(address)
                                : (server_.bind_to_port(address, port) ? port : -1);
    if (bound > 0) return bound;
    const std::string where = address + ":" + std::to_string(port);
    if (portInUse(address, port)) throw ToolFailure("cannot listen on " + where + ": port in use");
    throw ToolFailure("cannot listen on " + where + " (not an address of this machine?)");
}

void ViewerServer::serve()
{
    {
        std::lock_guard<std::mutex> lock(servingMutex_);
        if (stopRequested_) return;
        serving_ = true;
    }
    server_.listen_after_bind();
    served_ = true;
}

void ViewerServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(servingMutex_);
        stopRequested_ = true;
        if (!serving_) return;
    }
    // serve() is on its way into the listen loop: wait until it is in.
    while (!server_.is_running() && !served_) std::this_thread::yield();
    server_.stop();
}

std::vector<uint8_t> ViewerServer::displayPng(const std::shared_ptr<const LiveFrame> &frame)
{
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (frame != cachedFrame_) {
        cachedPng_ = encodePng(displayImage(frame->view).view());
        cachedFrame_ = frame;
    }
    return cachedPng_;
}

void ViewerServer::sendFrame(httplib::Response &response)
{
    const auto frame = camera_.latest();
    if (!frame) throw NoFrameYet();
    const std::vector<uint8_t> png = displayPng(frame);
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Frame-Number", std::to_string(frame->frameNumber));
    response.set_content(std::string(png.begin(), png.end()), "image/png");
}

void ViewerServer::addRoutes()
{
    server_.Get("/", [this](const httplib::Request &, httplib::Response &response) {
        response.set_content(viewerPage(camera_.state()), "text/html; charset=utf-8");
    });
    for (const char *path : {"/viewer.css", "/viewer.js"}) {
        const PageFile *file = findPageFile(path);
        if (file == nullptr) continue;
        server_.Get(path, [file](const httplib::Request &, httplib::Response &response) {
            response.set_content(reinterpret_cast<const char *>(file->bytes), file->size, file->type);
        });
    }
    server_.Get("/frame.png", guarded([this](const httplib::Request &, httplib::Response &response) {
        sendFrame(response);
    }));
    server_.Get("/status", guarded([this](const httplib::Request &, httplib::Response &response) {
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Get("/histogram", guarded([this](const httplib::Request &, httplib::Response &response) {
        const auto frame = requireFrame(camera_);
        sendJson(response, json{{"frame", frame->frameNumber},
                                {"maxValue", (uint64_t{1} << std::min(frame->view.bitDepth, 8 * frame->view.bytesPerPixel)) - 1},
                                {"bins", histogram(frame->view)}});
    }));
    server_.Post("/trigger", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.setTrigger(choiceParam(request, "mode", kTriggers));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Post("/fire", guarded([this](const httplib::Request &, httplib::Response &response) {
        if (camera_.state().trigger != LiveTrigger::Software)
            throw BadRequest("fire needs trigger mode sw");
        camera_.fire();
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Post("/lut", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.setInvert(choiceParam(request, "kind", kLuts));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Post("/camera", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.selectCamera(numberParam(request, "number"));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Get("/register", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const uint32_t id = numberParam(request, "id");
        sendJson(response, json{{"id", id}, {"value", camera_.readRegister(id)}});
    }));
    server_.Post("/register", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const uint32_t id = numberParam(request, "id");
        const uint32_t value = numberParam(request, "value");
        sendJson(response, json{{"id", id}, {"value", camera_.writeRegister(id, value)}});
    }));
    server_.Get("/snap.png", guarded([this](const httplib::Request &, httplib::Response &response) {
        const auto frame = requireFrame(camera_);
        sendDownload(response, encodePng(frame->view), "image/png", snapName(*frame, "png"));
    }));
    server_.Get("/snap.tiff", guarded([this](const httplib::Request &, httplib::Response &response) {
#if QOR_GRAB_HAVE_TIFF
        const auto frame = requireFrame(camera_);
        sendDownload(response, tiffBytes(*frame), "image/tiff", snapName(*frame, "tif"));
#else
        sendError(response, kNotFound, "this build of qor-grab writes no TIFF");
#endif
    }));
}

}  // namespace qorgrab
