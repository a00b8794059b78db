// The viewer's acquisition: one board grabbing continuously on a thread of
// its own, keeping the latest frame and the counts for whoever asks, and
// running the board controls between frames (the library wants its calls
// serialised, so every BF_ call is made on that thread).
#ifndef QOR_GRAB_LIVE_CAMERA_H
#define QOR_GRAB_LIVE_CAMERA_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli_options.h"
#include "frame_samples.h"

namespace qorgrab {

enum class LiveTrigger { FreeRun, External, Software };

// A copy of a frame, owned.
struct LiveFrame {
    std::vector<uint8_t> bytes;
    FrameView view;  // points into `bytes`
    uint64_t frameNumber = 0;
    std::chrono::system_clock::time_point captured;
};

struct LiveState {
    uint64_t received = 0;
    uint64_t missed = 0;
    double fps = 0;
    uint32_t width = 0, lines = 0, bitDepth = 0, bytesPerPixel = 0;
    uint32_t camera = 0;
    LiveTrigger trigger = LiveTrigger::FreeRun;
    bool invert = false;
    bool acquiring = false;
    std::string error;  // why acquisition stopped, if it did
    // Frames the camera itself lost since the board opened, apart from
    // `missed` (ended while the host looked away); nothing when the SDK
    // cannot tell.
    std::optional<uint64_t> lostByCamera;
};

using LiveFrames = std::vector<std::shared_ptr<const LiveFrame>>;

class LiveCamera {
public:
    // Opens the board of `options` (family, board, camera, buffers)
    // and starts grabbing; throws BfFailure when the board will not start.
    explicit LiveCamera(const Options &options);
    // Stops and releases everything still held, reporting nothing.
    ~LiveCamera();
    LiveCamera(const LiveCamera &) = delete;
    LiveCamera &operator=(const LiveCamera &) = delete;

    // Stops grabbing, releases the chain or destination and closes the
    // board; throws the first failure.
    void close();

    std::shared_ptr<const LiveFrame> latest() const;
    // Frame `frameNumber` if it is one of the last few published (those a
    // browser may still be showing), or null.
    std::shared_ptr<const LiveFrame> recent(uint64_t frameNumber) const;
    LiveState state() const;

    // Controls; each restarts the acquisition where the library needs it
    // and throws BfFailure or ToolFailure when the board refuses (the
    // acquisition then goes on as it was, if it can).
    void setTrigger(LiveTrigger trigger);
    void fire();  // one software trigger
    void setInvert(bool invert);
    void selectCamera(uint32_t camera);
    uint32_t readRegister(uint32_t id);
    uint32_t writeRegister(uint32_t id, uint32_t value);
    // The id of the register named `name` (any case); throws BfFailure when
    // the board has none of that name.
    uint32_t registerId(const std::string &name);
    // The next `frames` frames the board delivers, every one of them (not
    // only those published). Throws ToolFailure when another recording is
    // under way, the acquisition restarts, or `patience` passes first.
    LiveFrames record(uint32_t frames, std::chrono::milliseconds patience);
    // Ends the recording under way, if any: record() throws `why`.
    void cancelRecording(const std::string &why);

private:
    struct Acquisition;
    struct Recording;
    struct Settings {
        LiveTrigger trigger = LiveTrigger::FreeRun;
        bool invert = false;
        std::optional<uint32_t> camera;
    };

    // Runs `task` on the acquisition thread and hands back its result or
    // exception.
    template <typename T> T onAcquisitionThread(std::function<T()> task);
    void run();
    void runTasks();
    void grabOne();
    void start(const Settings &settings);
    void restart(const Settings &settings);
    void stopAcquisition();
    void publish(const FrameView &frame, uint64_t frameNumber);
    void addToRecording(const FrameView &frame, uint64_t frameNumber);
    void countFrame(uint32_t count);
    void updateRate();

    Options options_;
    Settings settings_;
    std::unique_ptr<class BoardSession> board_;
    std::unique_ptr<Acquisition> acquisition_;

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable tasksChanged_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::shared_ptr<const LiveFrame> latest_;
    std::deque<std::shared_ptr<const LiveFrame>> recent_;  // newest last
    std::shared_ptr<Recording> recording_;
    LiveState state_;

    std::chrono::steady_clock::time_point lastPublished_{};
    std::chrono::steady_clock::time_point rateStart_{};
    uint64_t rateFrames_ = 0;
    std::thread thread_;
};

}  // namespace qorgrab

#endif
