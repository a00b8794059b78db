// Writes frames to an ImageOutput from a thread of its own, through a fixed
// number of frame buffers, so a slow disk drops frames (counted) instead of
// stalling the acquisition that offers them.
#ifndef QOR_GRAB_FRAME_WRITER_H
#define QOR_GRAB_FRAME_WRITER_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "image_output.h"

namespace qorgrab {

class FrameWriter {
public:
    // Buffers for `queueFrames` frames wait for `output`.
    FrameWriter(std::unique_ptr<ImageOutput> output, size_t queueFrames);
    // Stops the thread; frames still queued are not written.
    ~FrameWriter();
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    // Copies `frame` and queues it; returns false, dropping the frame, when
    // every buffer still waits for the disk. Throws the writer's failure
    // once a write failed.
    bool offer(const FrameView &frame, uint64_t frameNumber);
    // Writes what is queued and completes the output; throws the first
    // failure of any write.
    void finish();
    uint64_t dropped() const { return dropped_; }

    // How many frames of `frameBytes` the queue holds: a few, and a bounded
    // amount of memory for large frames.
    static size_t queueFramesFor(size_t frameBytes);

private:
    struct Slot {
        std::vector<uint8_t> bytes;
        FrameView view;
        uint64_t frameNumber = 0;
        std::chrono::system_clock::time_point captured;
    };

    void run();
    void writeSlot(Slot &slot);
    void rethrowFailure();

    std::unique_ptr<ImageOutput> output_;
    std::vector<Slot> slots_;
    std::vector<size_t> free_;
    std::deque<size_t> queued_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finishing_ = false;
    bool stopped_ = false;
    std::exception_ptr failure_;
    uint64_t dropped_ = 0;
    std::thread thread_;
};

}  // namespace qorgrab

#endif
