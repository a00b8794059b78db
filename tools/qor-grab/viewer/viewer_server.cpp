#include "viewer/viewer_server.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

#include "bf_check.h"
#include "png/png_writer.h"
#include "viewer/display_frame.h"
#include "viewer/frame_stats.h"
#include "viewer/page_files.h"
#include "viewer/request_params.h"
#include "viewer/tiff_download.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qorgrab {
namespace {

using nlohmann::json;

constexpr int kNotFound = 404;
constexpr int kConflict = 409;       // the board refused a valid request
constexpr int kGone = 410;           // a frame no longer held
constexpr int kUnavailable = 503;    // no frame yet
// A recording's limits: what a browser can sensibly download at once, and
// how long it waits for a triggered camera.
constexpr uint32_t kRecordFramesMax = 1000;
constexpr uint64_t kRecordBytesMax = uint64_t{512} << 20;
constexpr std::chrono::seconds kRecordPatience{20};

const std::map<std::string, LiveTrigger> kTriggers = {
    {"free", LiveTrigger::FreeRun}, {"ext", LiveTrigger::External}, {"sw", LiveTrigger::Software}};
const std::map<std::string, bool> kLuts = {{"none", false}, {"invert", true}};

const char *triggerName(LiveTrigger trigger)
{
    for (const auto &[name, value] : kTriggers)
        if (value == trigger) return name.c_str();
    return "free";
}

class NoFrameYet : public std::runtime_error {
public:
    NoFrameYet() : std::runtime_error("no frame has arrived yet") {}
};

// A picture of frame `frameNumber`, never cached: the next one differs.
void sendPng(httplib::Response &response, const std::vector<uint8_t> &png, uint64_t frameNumber)
{
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Frame-Number", std::to_string(frameNumber));
    response.set_content(std::string(png.begin(), png.end()), "image/png");
}

void sendJson(httplib::Response &response, const json &body)
{
    response.set_header("Cache-Control", "no-store");
    response.set_content(body.dump(), "application/json");
}

// Runs a handler and turns what it throws into the answer for it.
httplib::Server::Handler guarded(std::function<void(const httplib::Request &, httplib::Response &)> handler)
{
    return [handler](const httplib::Request &request, httplib::Response &response) {
        try {
            handler(request, response);
        } catch (const BadRequest &error) {
            sendError(response, error.status(), error.what());
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
                {"lostByCamera", state.lostByCamera ? json(*state.lostByCamera) : json(nullptr)},
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

std::string recordName(const LiveFrames &frames)
{
    char name[64];
    std::snprintf(name, sizeof name, "record_%06llu-%06llu.tif",
                  static_cast<unsigned long long>(frames.front()->frameNumber),
                  static_cast<unsigned long long>(frames.back()->frameNumber));
    return name;
}

json statsJson(const FrameStats &stats)
{
    return json{{"min", stats.min},
                {"max", stats.max},
                {"mean", stats.mean},
                {"fullScale", stats.fullScale},
                {"saturated", stats.saturated}};
}

// How many frames a recording asks for, within what the viewer records.
uint32_t recordedFrames(const httplib::Request &request, const LiveState &state)
{
    const uint32_t frames = numberParamUpTo(request, "frames", kRecordFramesMax);
    if (frames == 0) throw BadRequest("frames must be at least 1");
    const uint64_t frameBytes = uint64_t{state.width} * state.lines * state.bytesPerPixel;
    if (frames * frameBytes > kRecordBytesMax)
        throw BadRequest(std::to_string(frames) + " frames of " + std::to_string(frameBytes) +
                         " bytes pass the " + std::to_string(kRecordBytesMax >> 20) +
                         " MiB a recording may hold");
    return frames;
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
    // The server's threads are joined on stopping: a recording waiting for
    // its frames would hold it up.
    camera_.cancelRecording("the viewer is stopping");
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
    sendPng(response, displayPng(frame), frame->frameNumber);
}

std::shared_ptr<const LiveFrame> ViewerServer::askedFrame(const httplib::Request &request) const
{
    if (!request.has_param("frame")) return requireFrame(camera_);
    const uint64_t number = number64Param(request, "frame");
    auto frame = camera_.recent(number);
    if (!frame)
        throw BadRequest("frame " + std::to_string(number) +
                         " is not held (the viewer keeps the last few published)", kGone);
    return frame;
}

uint32_t ViewerServer::registerAsked(const httplib::Request &request)
{
    if (!request.has_param("name")) {
        if (!request.has_param("id")) throw BadRequest("missing parameter 'id' (or 'name')");
        return numberParam(request, "id");
    }
    const std::string name = request.get_param_value("name");
    if (name.empty()) throw BadRequest("name must not be empty");
    try {
        return camera_.registerId(name);
    } catch (const BfFailure &error) {
        throw BadRequest(error.what(), kNotFound);
    }
}

void ViewerServer::post(const std::string &path, httplib::Server::Handler handler)
{
    server_.Post(path, handler);
    postRoutes_[path] = std::move(handler);
}

// A POST that gives neither a length nor chunks has no body (curl -X POST
// sends such), but the server would read one until the client closed the
// connection, which a client waiting for its answer never does: it is
// answered here at once, as one with an empty form.
httplib::Server::HandlerResponse ViewerServer::bodilessPost(const httplib::Request &request,
                                                            httplib::Response &response) const
{
    if (request.method != "POST" || request.has_header("Content-Length") ||
        request.has_header("Transfer-Encoding"))
        return httplib::Server::HandlerResponse::Unhandled;
    const auto route = postRoutes_.find(request.path);
    if (route == postRoutes_.end()) sendError(response, kNotFound, defaultReason(request, kNotFound));
    else route->second(request, response);
    return httplib::Server::HandlerResponse::Handled;
}

void ViewerServer::addRoutes()
{
    server_.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        return bodilessPost(request, response);
    });
    // The server's own refusals (no such path, an unreadable request) come
    // without a body: give them their reason too.
    server_.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request &request, httplib::Response &response) {
            if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            sendError(response, response.status, defaultReason(request, response.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
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
    server_.Get("/histogram", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const auto frame = askedFrame(request);
        const FrameStats stats = frameStats(frame->view);
        json body = statsJson(stats);
        body["frame"] = frame->frameNumber;
        body["maxValue"] = body["fullScale"];  // the name earlier releases gave it
        body["bins"] = stats.bins;
        sendJson(response, body);
    }));
    server_.Get("/pixel", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const auto frame = askedFrame(request);
        const uint32_t x = numberParamUpTo(request, "x", frame->view.width - uint64_t{1});
        const uint32_t y = numberParamUpTo(request, "y", frame->view.lines - uint64_t{1});
        sendJson(response, json{{"frame", frame->frameNumber}, {"x", x}, {"y", y},
                                {"value", pixelValue(frame->view, x, y)}});
    }));
    server_.Get("/saturation.png", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const auto frame = askedFrame(request);
        const std::vector<uint8_t> mask = saturationMask(frame->view);
        const FrameView view{mask.data(), frame->view.width, frame->view.lines, frame->view.width, 1, 8};
        sendPng(response, encodePng(view), frame->frameNumber);
    }));
    post("/trigger", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.setTrigger(choiceParam(request, "mode", kTriggers));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    post("/fire", guarded([this](const httplib::Request &, httplib::Response &response) {
        if (camera_.state().trigger != LiveTrigger::Software)
            throw BadRequest("fire needs trigger mode sw");
        camera_.fire();
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    post("/lut", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.setInvert(choiceParam(request, "kind", kLuts));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    post("/camera", guarded([this](const httplib::Request &request, httplib::Response &response) {
        camera_.selectCamera(numberParam(request, "number"));
        sendJson(response, stateJson(camera_.state(), camera_.latest()));
    }));
    server_.Get("/register", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const uint32_t id = registerAsked(request);
        sendJson(response, json{{"id", id}, {"value", camera_.readRegister(id)}});
    }));
    post("/register", guarded([this](const httplib::Request &request, httplib::Response &response) {
        const uint32_t value = numberParam(request, "value");
        const uint32_t id = registerAsked(request);
        sendJson(response, json{{"id", id}, {"value", camera_.writeRegister(id, value)}});
    }));
    server_.Get("/snap.png", guarded([this](const httplib::Request &, httplib::Response &response) {
        const auto frame = requireFrame(camera_);
        sendDownload(response, encodePng(frame->view), "image/png", snapName(*frame, "png"));
    }));
    server_.Get("/snap.tiff", guarded([this](const httplib::Request &, httplib::Response &response) {
#if QOR_GRAB_HAVE_TIFF
        const auto frame = requireFrame(camera_);
        sendDownload(response, tiffBytes({frame}), "image/tiff", snapName(*frame, "tif"));
#else
        sendError(response, kNotFound, "this build of qor-grab writes no TIFF");
#endif
    }));
    server_.Get("/record.tiff", guarded([this](const httplib::Request &request, httplib::Response &response) {
#if QOR_GRAB_HAVE_TIFF
        const LiveFrames frames = camera_.record(recordedFrames(request, camera_.state()), kRecordPatience);
        response.set_header("X-Frames", std::to_string(frames.size()));
        sendDownload(response, tiffBytes(frames), "image/tiff", recordName(frames));
#else
        sendError(response, kNotFound, "this build of qor-grab writes no TIFF");
#endif
    }));
}

}  // namespace qorgrab
