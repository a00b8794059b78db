// The viewer's HTTP side: the page, the live frame, the counts, and the
// control requests, which are checked here before anything reaches the
// board (a bad one is answered 400 with the reason).
#ifndef QOR_GRAB_VIEWER_SERVER_H
#define QOR_GRAB_VIEWER_SERVER_H

#include <httplib.h>

#include <atomic>
#include <map>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "viewer/live_camera.h"

namespace qorgrab {

class ViewerServer {
public:
    explicit ViewerServer(LiveCamera &camera);

    // Binds `address`:`port` (0: a free port); returns the port, or throws
    // ToolFailure when it cannot bind.
    int bind(const std::string &address, int port);
    // Serves until stop(); every request gets a thread of the pool, so a
    // slow browser never holds up the acquisition.
    void serve();
    // Safe from any thread at any time, even before serve() has begun
    // listening (serve() then returns at once).
    void stop();

private:
    void addRoutes();
    void post(const std::string &path, httplib::Server::Handler handler);
    httplib::Server::HandlerResponse bodilessPost(const httplib::Request &request,
                                                  httplib::Response &response) const;
    // The frame a request names by `frame=N`, else the latest.
    std::shared_ptr<const LiveFrame> askedFrame(const httplib::Request &request) const;
    // The register a request names by `id=` or `name=`.
    uint32_t registerAsked(const httplib::Request &request);
    void sendFrame(httplib::Response &response);
    std::vector<uint8_t> displayPng(const std::shared_ptr<const LiveFrame> &frame);

    LiveCamera &camera_;
    httplib::Server server_;
    std::map<std::string, httplib::Server::Handler> postRoutes_;  // by exact path

    // httplib's stop() does nothing until its listen loop has begun, so a
    // stop() that came first would leave serve() listening for good: these
    // order the two.
    std::mutex servingMutex_;
    bool stopRequested_ = false;
    bool serving_ = false;
    std::atomic<bool> served_{false};  // serve()'s listen loop has returned
    std::mutex cacheMutex_;  // the last display PNG, shared by every browser
    std::shared_ptr<const LiveFrame> cachedFrame_;
    std::vector<uint8_t> cachedPng_;
};

// The page itself, showing the counts of `state` until its script has
// asked for newer ones.
std::string viewerPage(const LiveState &state);

// The page's other file at `path` ("/viewer.js"), or null.
const struct PageFile *findPageFile(const std::string &path);

}  // namespace qorgrab

#endif
