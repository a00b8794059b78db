#include <csignal>
#include <cstdio>
#include <thread>

#include <pthread.h>

#include "commands.h"
#include "viewer/live_camera.h"
#include "viewer/viewer_server.h"

namespace qorgrab {
namespace {

constexpr const char *kLoopbackAddress = "127.0.0.1";

// The signals that end the viewer, blocked in every thread so that only the
// main thread's sigwait sees them.
sigset_t stopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void announce(const std::string &address, int port)
{
    std::printf("qor-grab view: serving http://%s:%d/\n", address.c_str(), port);
    if (address == kLoopbackAddress)
        std::printf("listening on loopback only (--listen ADDR to serve other machines); "
                    "Ctrl-C stops\n");
    else
        std::printf("listening on %s: anyone who reaches it can drive the board; Ctrl-C stops\n",
                    address.c_str());
    std::fflush(stdout);
}

}  // namespace

void runView(const Options &options)
{
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    LiveCamera camera(options);
    ViewerServer server(camera);
    const int port = server.bind(options.view.listen, options.view.port);
    std::thread serving([&server] { server.serve(); });
    announce(options.view.listen, port);

    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    serving.join();
    const LiveState state = camera.state();
    camera.close();
    std::printf("stopped: %llu frames received, %llu missed\n",
                static_cast<unsigned long long>(state.received),
                static_cast<unsigned long long>(state.missed));
}

}  // namespace qorgrab
