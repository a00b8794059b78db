#include "viewer/live_camera.h"

#include <cstring>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "board_session.h"
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

TriggerChoice triggerChoice(LiveTrigger trigger)
{
    switch (trigger) {
    case LiveTrigger::External: return TriggerChoice::External;
    case LiveTrigger::Software: return TriggerChoice::Software;
    default: return TriggerChoice::Off;
    }
}

}  // namespace

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
    lastPublished_ = {};
}

void LiveCamera::stopAcquisition()
{
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
    publish(acquisition_->layout.view(acquisition_->frame(index)), index);
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
    std::lock_guard<std::mutex> lock(mutex_);
    state_.fps = fps;
}

void LiveCamera::publish(const FrameView &frame, uint64_t frameNumber)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPublished_ < kPublishInterval) return;
    lastPublished_ = now;
    auto copy = std::make_shared<LiveFrame>();
    copy->bytes.assign(frame.data, frame.data + size_t{frame.stride} * frame.lines);
    copy->view = frame;
    copy->view.data = copy->bytes.data();
    copy->frameNumber = frameNumber;
    copy->captured = std::chrono::system_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    latest_ = std::move(copy);
}

}  // namespace qorgrab
