#include "viewer/live_camera.h"

#include <algorithm>
#include <cstring>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "board_session.h"
#include "camera_losses.h"
#include "destinations.h"
#include "frame_counter.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kOneFrame = 0;  // BF_Wait: one end of frame, not the whole chain
constexpr int32_t kFireTrigger1 = 1;
constexpr int32_t kLeaveTrigger2 = 0;
// The longest a control request waits for the acquisition loop to look.
constexpr uint32_t kWaitSliceMs = 100;
// Browsers show a few dozen frames a second at most; copying more is waste.
constexpr std::chrono::milliseconds kPublishInterval{20};
constexpr std::chrono::milliseconds kRateInterval{500};
// Frames kept after they are published: enough for a browser to ask about
// the one it shows while newer ones arrive.
constexpr size_t kRecentFrames = 8;
constexpr uint32_t kRegisterNameCapacity = 256;
constexpr int32_t kNameToId = 0;

std::shared_ptr<LiveFrame> copyFrame(const FrameView &frame, uint64_t frameNumber)
{
    auto copy = std::make_shared<LiveFrame>();
    copy->bytes.assign(frame.data, frame.data + size_t{frame.stride} * frame.lines);
    copy->view = frame;
    copy->view.data = copy->bytes.data();
    copy->frameNumber = frameNumber;
    copy->captured = std::chrono::system_clock::now();
    return copy;
}

TriggerChoice triggerChoice(LiveTrigger trigger)
{
    switch (trigger) {
    case LiveTrigger::External: return TriggerChoice::External;
    case LiveTrigger::Software: return TriggerChoice::Software;
    default: return TriggerChoice::Off;
    }
}

}  // namespace

// A recording asked for and the frames it has so far; guarded by mutex_.
struct LiveCamera::Recording {
    uint32_t wanted = 0;
    LiveFrames frames;
    std::promise<void> done;
};

// What one start of the acquisition holds. A chain never passes through a
// LUT, so an inverted view grabs into a single destination instead.
struct LiveCamera::Acquisition {
    FrameLayout layout;
    std::unique_ptr<BufferChain> chain;
    std::unique_ptr<SingleDestination> single;
    std::unique_ptr<GrabSession> grab;
    FrameCounter counter;

    const uint8_t *frame(uint64_t index) const
    {
        return chain ? chain->buffer(index % chain->size()) : single->data();
    }
};

LiveCamera::LiveCamera(const Options &options)
    : options_(options), board_(std::make_unique<BoardSession>(options.family, options.board))
{
    settings_.camera = options.camera;
    start(settings_);
    rateStart_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this] { run(); });
}

LiveCamera::~LiveCamera()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    tasksChanged_.notify_all();
    if (thread_.joinable()) thread_.join();
    acquisition_.reset();  // each part releases itself
}

void LiveCamera::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    tasksChanged_.notify_all();
    if (thread_.joinable()) thread_.join();
    stopAcquisition();
    board_->close();
}

std::shared_ptr<const LiveFrame> LiveCamera::latest() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

std::shared_ptr<const LiveFrame> LiveCamera::recent(uint64_t frameNumber) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto &frame : recent_)
        if (frame->frameNumber == frameNumber) return frame;
    return nullptr;
}

LiveState LiveCamera::state() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

template <typename T> T LiveCamera::onAcquisitionThread(std::function<T()> task)
{
    auto packaged = std::make_shared<std::packaged_task<T()>>(std::move(task));
    std::future<T> result = packaged->get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) throw ToolFailure("the viewer is stopping");
        tasks_.emplace_back([packaged] { (*packaged)(); });
    }
    tasksChanged_.notify_all();
    return result.get();
}

void LiveCamera::setTrigger(LiveTrigger trigger)
{
    onAcquisitionThread<int>([this, trigger] {
        Settings next = settings_;
        next.trigger = trigger;
        restart(next);
        return 0;
    });
}

void LiveCamera::fire()
{
    onAcquisitionThread<int>([this] {
        check(BF_SetSWtrigger(kFireTrigger1, kLeaveTrigger2, board_->slot()), "BF_SetSWtrigger");
        return 0;
    });
}

void LiveCamera::setInvert(bool invert)
{
    onAcquisitionThread<int>([this, invert] {
        Settings next = settings_;
        next.invert = invert;
        restart(next);
        return 0;
    });
}

void LiveCamera::selectCamera(uint32_t camera)
{
    onAcquisitionThread<int>([this, camera] {
        Settings next = settings_;
        next.camera = camera;
        restart(next);
        return 0;
    });
}

uint32_t LiveCamera::readRegister(uint32_t id)
{
    return onAcquisitionThread<uint32_t>([this, id] {
        uint32_t value = 0;
        check(BF_RegPeek(board_->slot(), id, &value), "BF_RegPeek");
        return value;
    });
}

uint32_t LiveCamera::writeRegister(uint32_t id, uint32_t value)
{
    return onAcquisitionThread<uint32_t>([this, id, value] {
        check(BF_RegPoke(board_->slot(), id, value), "BF_RegPoke");
        uint32_t readBack = 0;
        check(BF_RegPeek(board_->slot(), id, &readBack), "BF_RegPeek");
        return readBack;
    });
}

uint32_t LiveCamera::registerId(const std::string &name)
{
    return onAcquisitionThread<uint32_t>([this, name] {
        uint32_t id = 0;
        std::string buffer = name;  // the library takes a writable buffer
        buffer.resize(std::max<size_t>(name.size() + 1, kRegisterNameCapacity));
        check(BF_RegNametoId(board_->slot(), &id, buffer.data(), kRegisterNameCapacity, kNameToId),
              "BF_RegNametoId", "no register named " + name);
        return id;
    });
}

LiveFrames LiveCamera::record(uint32_t frames, std::chrono::milliseconds patience)
{
    auto recording = std::make_shared<Recording>();
    recording->wanted = frames;
    std::future<void> done = recording->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (recording_) throw ToolFailure("another recording is under way");
        recording_ = recording;
    }
    const bool finished = done.wait_for(patience) == std::future_status::ready;
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_ == recording) recording_.reset();
    if (!finished)
        throw ToolFailure("recorded " + std::to_string(recording->frames.size()) + " of " +
                          std::to_string(frames) + " frames before the recording gave up (" +
                          std::to_string(patience.count() / 1000) + " s; is the camera triggered?)");
    done.get();  // the acquisition's reason, when it ended the recording
    return std::move(recording->frames);
}

void LiveCamera::addToRecording(const FrameView &frame, uint64_t frameNumber)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recording_) return;
    }
    auto copy = copyFrame(frame, frameNumber);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!recording_) return;
    recording_->frames.push_back(std::move(copy));
    if (recording_->frames.size() < recording_->wanted) return;
    recording_->done.set_value();
    recording_.reset();
}

void LiveCamera::cancelRecording(const std::string &why)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!recording_) return;
    recording_->done.set_exception(std::make_exception_ptr(ToolFailure(why)));
    recording_.reset();
}

void LiveCamera::start(const Settings &settings)
{
    Options options = options_;
    options.camera = settings.camera;
    options.trigger = triggerChoice(settings.trigger);
    options.lut = settings.invert ? LutChoice::Invert : LutChoice::None;
    auto acquisition = std::make_unique<Acquisition>();
    acquisition->layout = prepareAcquisition(*board_, options);
    const int32_t slot = board_->slot();
    if (settings.invert)
        acquisition->single = std::make_unique<SingleDestination>(slot, acquisition->layout);
    else
        acquisition->chain = std::make_unique<BufferChain>(slot, acquisition->layout, options.buffers);
    acquisition->grab = std::make_unique<GrabSession>(slot, !settings.invert);
    acquisition_ = std::move(acquisition);

    const CameraGeometry &camera = acquisition_->layout.camera;
    std::lock_guard<std::mutex> lock(mutex_);
    state_.width = acquisition_->layout.width;
    state_.lines = acquisition_->layout.lines;
    state_.bitDepth = camera.bitDepth;
    state_.bytesPerPixel = camera.bytesPerPixel;
    state_.camera = settings.camera.value_or(0);
    state_.trigger = settings.trigger;
    state_.invert = settings.invert;
    state_.acquiring = true;
    state_.error.clear();
    // A frame of the settings just left is not the camera's picture any
    // more: show nothing until the new acquisition delivers, and show its
    // first frame at once.
    latest_.reset();
    recent_.clear();
    lastPublished_ = {};
}

void LiveCamera::stopAcquisition()
{
    // The frames of a recording are all of one acquisition.
    cancelRecording("the acquisition stopped or restarted during the recording");
    std::unique_ptr<Acquisition> acquisition = std::move(acquisition_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.acquiring = false;
    }
    if (!acquisition) return;
    acquisition->grab->stop();
    if (acquisition->chain) acquisition->chain->release();
    else acquisition->single->release();
}

// Applies `next`; when the board refuses it, goes back to the settings that
// worked and reports the refusal.
void LiveCamera::restart(const Settings &next)
{
    stopAcquisition();
    try {
        start(next);
        settings_ = next;
    } catch (const std::exception &refused) {
        acquisition_.reset();
        try {
            start(settings_);
        } catch (const std::exception &error) {
            std::lock_guard<std::mutex> lock(mutex_);
            state_.error = error.what();
        }
        throw;
    }
}

void LiveCamera::run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!acquisition_)
                tasksChanged_.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs),
                                       [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) break;
        }
        runTasks();
        if (acquisition_) grabOne();
        updateRate();
    }
    // No task is queued once stopping is set: answer those queued before.
    runTasks();
}

void LiveCamera::runTasks()
{
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks.swap(tasks_);
    }
    for (auto &task : tasks) task();
}

void LiveCamera::grabOne()
{
    const int32_t slot = board_->slot();
    uint32_t count = 0;
    const int32_t status = acquisition_->chain ? BF_Wait(kWaitSliceMs, slot, kOneFrame, &count)
                                               : BF_Wait4Frame(kWaitSliceMs, slot, &count);
    // No frame yet (a triggered camera waits for its trigger): look at the
    // controls and wait again.
    if (status == BF_E_SIGNAL_WAIT) return;
    if (status != BF_OK) {
        const std::string error = describeStatus(acquisition_->chain ? "BF_Wait" : "BF_Wait4Frame", status);
        try {
            stopAcquisition();
        } catch (const std::exception &) {
            acquisition_.reset();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        state_.error = error;
        return;
    }
    const uint64_t index = acquisition_->counter.advance(count);
    countFrame(count);
    const FrameView frame = acquisition_->layout.view(acquisition_->frame(index));
    addToRecording(frame, index);
    publish(frame, index);
}

void LiveCamera::countFrame(uint32_t count)
{
    const uint64_t ended = count == 0 ? 1 : count;
    ++rateFrames_;
    std::lock_guard<std::mutex> lock(mutex_);
    ++state_.received;
    state_.missed += ended - 1;
}

void LiveCamera::updateRate()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - rateStart_ < kRateInterval) return;
    const double fps = rateFrames_ / std::chrono::duration<double>(now - rateStart_).count();
    rateStart_ = now;
    rateFrames_ = 0;
    const auto lost = framesLostByCamera(familyTypeCode(board_->family()), board_->number());
    std::lock_guard<std::mutex> lock(mutex_);
    state_.fps = fps;
    state_.lostByCamera = lost;
}

void LiveCamera::publish(const FrameView &frame, uint64_t frameNumber)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPublished_ < kPublishInterval) return;
    lastPublished_ = now;
    std::shared_ptr<const LiveFrame> copy = copyFrame(frame, frameNumber);
    std::lock_guard<std::mutex> lock(mutex_);
    recent_.push_back(copy);
    if (recent_.size() > kRecentFrames) recent_.pop_front();
    latest_ = std::move(copy);
}

}  // namespace qorgrab
