#include "frame_writer.h"

#include <algorithm>
#include <cstring>

namespace qorgrab {
namespace {

constexpr size_t kMinQueueFrames = 2;
constexpr size_t kMaxQueueFrames = 32;
constexpr size_t kMaxQueueBytes = size_t{256} << 20;

}  // namespace

size_t FrameWriter::queueFramesFor(size_t frameBytes)
{
    return std::clamp(kMaxQueueBytes / std::max<size_t>(frameBytes, 1), kMinQueueFrames,
                      kMaxQueueFrames);
}

FrameWriter::FrameWriter(std::unique_ptr<ImageOutput> output, size_t queueFrames)
    : output_(std::move(output)), slots_(queueFrames)
{
    for (size_t i = 0; i < slots_.size(); ++i) free_.push_back(i);
    thread_ = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FrameWriter::rethrowFailure()
{
    if (failure_) std::rethrow_exception(failure_);
}

bool FrameWriter::offer(const FrameView &frame, uint64_t frameNumber)
{
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rethrowFailure();
        if (free_.empty()) {
            ++dropped_;
            return false;
        }
        index = free_.back();
        free_.pop_back();
    }
    // The slot is ours alone until it is queued.
    Slot &slot = slots_[index];
    const size_t bytes = size_t{frame.stride} * frame.lines;
    slot.bytes.resize(bytes);
    std::memcpy(slot.bytes.data(), frame.data, bytes);
    slot.view = frame;
    slot.view.data = slot.bytes.data();
    slot.frameNumber = frameNumber;
    slot.captured = std::chrono::system_clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_.push_back(index);
    }
    changed_.notify_all();
    return true;
}

void FrameWriter::writeSlot(Slot &slot)
{
    try {
        output_->write(slot.view, slot.frameNumber, slot.captured);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
    }
}

void FrameWriter::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopped_ || finishing_ || !queued_.empty(); });
        if (stopped_ || (queued_.empty() && finishing_)) return;
        const size_t index = queued_.front();
        queued_.pop_front();
        const bool failed = failure_ != nullptr;
        lock.unlock();
        // After a failure the rest are let go: the run is being stopped.
        if (!failed) writeSlot(slots_[index]);
        lock.lock();
        free_.push_back(index);
    }
}

void FrameWriter::finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    rethrowFailure();
    output_->close();
}

}  // namespace qorgrab
