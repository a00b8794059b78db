/*
 * Runs and the frame thread. A command sets the run's phase under the lock;
 * one thread per acquiring board moves it on: waits for a trigger, waits out
 * the frame's exposure, writes the frame with the lock released, and counts
 * it. Commands that stop a run wait until no frame is being written, so the
 * host may free its buffers as soon as they return.
 *
 * Timing: the thread sleeps to the absolute end of the exposure and spins
 * only its last few microseconds, which a sleep would overshoot; the frames
 * of a grab keep to a grid of one period, so neither a late wake-up nor a
 * slow write moves the frames after it. A frame the thread cannot start
 * writing before its slot ends is lost by the camera, as a real camera
 * would lose it: the counter passes it and framesLate counts it, so a
 * camera faster than its frames can be written never silently slows.
 * Hosts are woken once the lock has been let go, so a woken waiter never
 * finds it still held. A host asleep in CiSignalWait on a free-running grab
 * writes the frame it waits for itself when it is due: one thread wakes per
 * frame instead of two, and the frame thread only takes over, within its
 * slot, the frames no host was waiting for.
 */
#include <chrono>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "cid.h"
#include "controls.h"
#include "engine_state.h"
#include "lost_frames.h"

namespace bfsim {
namespace {

// Wakes the frame thread even when a controls change (trigger mode, line)
// arrives without anyone notifying it.
constexpr auto kTriggerRecheck = std::chrono::milliseconds(20);
// The end of an exposure is waited out by spinning for this long: about
// what a sleep overshoots by on an idle machine, so the frame is on time
// at a small, fixed cost.
constexpr auto kSpin = std::chrono::microseconds(5);
// The last stretch of an exposure is slept with the lock let go and nothing
// to wake the thread early: the host woken by the last frame then takes the
// lock without finding the frame thread on it, which would cost it a second
// wake-up. A command given meanwhile is seen this much later at most.
constexpr auto kUnlockedSleep = std::chrono::milliseconds(1);
// While a host writes the frames it waits for, the frame thread looks in this
// much after each was due, and writes it if the host has gone: a frame is
// then this late at most, well within its slot.
constexpr auto kHandOver = std::chrono::milliseconds(1);
// The shortest slot of a free-running frame: the board's memory holds this
// much of the camera's stream for the DMA, so a stall of the machine shorter
// than this is caught up. A frame of a longer period has its whole period.
constexpr auto kBoardMemory = std::chrono::milliseconds(10);
// The timer slack the frame thread asks for: the kernel may otherwise
// delay its wake-ups by 50 µs to batch them.
constexpr unsigned long kTimerSlackNs = 1000;

bool framesWaitForTrigger(const Board &board)
{
    return triggered(board);
}

bool snapsAtOnce(const Board &board)
{
    return triggerMode(board) == BFSIM_TRIG_ONE_SHOT;
}

uint32_t inquired(const Board &board, uint32_t code, uint32_t fallback)
{
    return inquire(board, code).value_or(fallback);
}

Clock::duration framePeriod(const Board &board)
{
    const double ms = framesWaitForTrigger(board) ? timingPeriodMs(board) : 0.0;
    if (ms > 0.0)
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
    return std::chrono::microseconds(board.currentCamera().framePeriodUs);
}

void notifyBoth(Engine &engine)
{
    engine.wake.notify_all();
    if (engine.board != nullptr) engine.board->changed.notify_all();
}

// The window of engine 0 cut to the current camera.
void acquiredGeometry(const Board &board, const Engine &engine, FrameJob &job)
{
    const CameraConfig &camera = board.currentCamera();
    const uint32_t width = inquired(board, CI_INQ_WIDTH, camera.width);
    const uint32_t lines = inquired(board, CI_INQ_LINES, camera.lines);
    const Window &window = engine.windows[kDestinationEngine];
    job.width = window.width ? std::min(window.width, width) : width;
    job.lines = window.lines ? std::min(window.lines, lines) : lines;
    job.bytesPerPixel = inquired(board, CI_INQ_BYTES_PER_PIXEL, camera.bytesPerPixel);
}

// The ramp holds one value per diagonal, through the destination's LUT:
// width + lines look-ups instead of one per pixel. Other sources are
// rendered by the writer, with the lock released.
void describePixels(const Board &board, FrameJob &job)
{
    const CameraConfig &camera = board.currentCamera();
    job.lut = pixelLut(board, job.dest.lutBank, job.dest.lutType);
    if (camera.source.kind != SourceKind::Ramp) {
        job.rendered = sourceFrame(camera, job.frame);
        return;
    }
    const uint32_t bitDepth = inquired(board, CI_INQ_BIT_DEPTH, camera.bitDepth);
    job.ramp.resize(size_t(job.width) + job.lines);
    for (size_t k = 0; k < job.ramp.size(); ++k)
        job.ramp[k] = job.lut.apply(rampValue(0, 0, k + uint64_t(job.frame), bitDepth));
}

FrameCounter &counterOf(Engine &engine, Target target)
{
    return target == Target::Single ? engine.single->counter : engine.chain.counter;
}

// The next frame's buffer, or nothing when the target is gone.
std::optional<Destination> nextBuffer(Engine &engine, Target target)
{
    if (target == Target::Single) {
        if (!engine.single) return std::nullopt;
        return engine.single->buffer;
    }
    Chain &chain = engine.chain;
    if (chain.engaged.empty() || !chain.dmaStarted) return std::nullopt;
    auto entry = engine.qtabs.find(chain.engaged[chain.position % chain.engaged.size()]);
    if (entry == engine.qtabs.end() || !entry->second.physical) return std::nullopt;
    return entry->second.buffer;
}

enum class Prepared { Gone, Lost, Ready };

// Numbers the frame that has just been exposed and picks its buffer; a
// frame the camera loses takes a number but no buffer.
Prepared prepareFrame(const Board &board, Engine &engine, FrameJob &job)
{
    const Target target = engine.run.target;
    const std::optional<Destination> buffer = nextBuffer(engine, target);
    if (!buffer) return Prepared::Gone;
    FrameCounter &counter = counterOf(engine, target);
    const uint64_t index = counter.index++;
    job.frame = counter.next++;
    if (cameraLoses(board.currentCamera(), index)) {
        ++engine.framesLost;
        return Prepared::Lost;
    }
    if (target == Target::Chain) {
        Chain &chain = engine.chain;
        if (chain.unwaited >= chain.engaged.size()) engine.overflow = true;
        // Advanced now, so a CiConCTabReset during the write still sends
        // the next frame to buffer 0.
        chain.position = (chain.position + 1) % chain.engaged.size();
    }
    job.dest = *buffer;
    job.stamp = board.currentCamera().stamp;
    acquiredGeometry(board, engine, job);
    describePixels(board, job);
    return Prepared::Ready;
}

void countFrame(Engine &engine, Target target, uint64_t serial, bool continuous)
{
    if (target == Target::Chain) ++engine.chain.unwaited;
    if (!continuous) engine.lastCompletedSnap = serial;
    ++engine.framesCompleted;
    signalFrame(engine);
}

void beginExposure(const Board &board, Run &run, Clock::time_point start)
{
    run.phase = Phase::Exposing;
    run.due = start + framePeriod(board);
}

// After a frame of a grab: the next one waits for its trigger, or ends one
// period after the last one was due, so the mean period over a run is the
// camera's whatever the writes cost.
void nextFrame(const Board &board, Run &run)
{
    if (framesWaitForTrigger(board)) {
        run.phase = Phase::AwaitingTrigger;
        return;
    }
    run.phase = Phase::Exposing;
    run.due += framePeriod(board);
}

// How many frames of a free-running grab, from the one due now on, have
// had their slot end before `now`: the camera has sent them and the board
// had nowhere to keep them.
uint64_t framesPastTheirSlot(const Board &board, const Run &run, Clock::time_point now)
{
    if (!run.continuous || framesWaitForTrigger(board)) return 0;
    const Clock::duration period = framePeriod(board);
    const Clock::duration slot = std::max<Clock::duration>(period, kBoardMemory);
    if (now <= run.due + slot) return 0;
    return uint64_t((now - run.due - slot) / period) + 1;
}

// Numbers the frames whose slot has passed and moves the grab past them;
// each counts as late, or as lost when the camera's faults lose it anyway.
void loseLateFrames(const Board &board, Engine &engine, uint64_t late)
{
    FrameCounter &counter = counterOf(engine, engine.run.target);
    for (uint64_t k = 0; k < late; ++k) {
        if (cameraLoses(board.currentCamera(), counter.index++))
            ++engine.framesLost;
        else
            ++engine.framesLate;
        ++counter.next;
    }
    engine.run.due += late * framePeriod(board);
}

// Wakes the host's waiters with the lock let go, so none of them wakes only
// to block on it.
void wakeHosts(Engine &engine, std::unique_lock<std::mutex> &held)
{
    held.unlock();
    engine.wake.notify_all();
    held.lock();
}

// After a frame written, or lost: a snap that got its frame is over; a grab,
// and a snap whose frame was lost, go on to the next.
void afterFrame(const Board &board, Run &run, const Run &started, bool delivered)
{
    // A command issued meanwhile has already set the phase it wants.
    if (run.serial != started.serial || (run.phase != Phase::Writing && run.phase != Phase::Exposing))
        return;
    if (started.continuous || !delivered)
        nextFrame(board, run);
    else
        run.phase = Phase::Idle;
}

void writeOneFrame(Board &board, Engine &engine, std::unique_lock<std::mutex> &held)
{
    Run &run = engine.run;
    FrameJob job;
    if (const uint64_t late = framesPastTheirSlot(board, run, Clock::now()); late != 0 &&
        nextBuffer(engine, run.target))
        loseLateFrames(board, engine, late);
    const Run started = run;
    switch (prepareFrame(board, engine, job)) {
    case Prepared::Gone:
        run.phase = Phase::Idle;
        notifyBoth(engine);
        return;
    case Prepared::Lost:
        afterFrame(board, run, started, false);
        return;
    case Prepared::Ready:
        break;
    }
    run.phase = Phase::Writing;
    engine.writing = true;
    engine.discardWrite = false;
    held.unlock();
    const bool whole = writeFrame(job, engine.discardWrite);
    held.lock();
    engine.writing = false;
    const bool delivered = whole && !engine.discardWrite;
    if (delivered) countFrame(engine, started.target, started.serial, started.continuous);
    afterFrame(board, run, started, delivered);
    wakeHosts(engine, held);
}

// The next tick of the board's own external trigger, if it has one and the
// line is connected.
std::optional<Clock::time_point> nextExternalTick(const Board &board, const Engine &engine)
{
    const uint64_t periodUs = board.config.externalTriggerPeriodUs;
    if (periodUs == 0 || !externalConnected(board)) return std::nullopt;
    const Clock::duration period = std::chrono::microseconds(periodUs);
    const auto ticks = (Clock::now() - engine.opened) / period + 1;
    return engine.opened + ticks * period;
}

void awaitTrigger(Board &board, Engine &engine, std::unique_lock<std::mutex> &held)
{
    if (!framesWaitForTrigger(board)) {  // the mode changed to free run meanwhile
        beginExposure(board, engine.run, Clock::now());
        return;
    }
    const uint64_t serial = engine.run.serial;
    const auto tick = nextExternalTick(board, engine);
    const Clock::time_point until = Clock::now() + kTriggerRecheck;
    board.changed.wait_until(held, tick ? std::min(*tick, until) : until);
    const bool stillWaiting = engine.run.phase == Phase::AwaitingTrigger && engine.run.serial == serial;
    if (tick && stillWaiting && Clock::now() >= *tick && externalConnected(board))
        deliverTrigger(board, engine);
}

// Sleeps to the end of the exposure: on the board's condition while more
// than kUnlockedSleep is left, so commands wake it, then with the lock let
// go, spinning through the last few microseconds. The caller looks at the
// run again.
void awaitDue(Board &board, Engine &engine, std::unique_lock<std::mutex> &held)
{
    const Clock::time_point due = engine.run.due;
    if (engine.hostDelivers) {
        board.changed.wait_until(held, due + kHandOver);
        return;
    }
    if (Clock::now() + kUnlockedSleep < due) {
        board.changed.wait_until(held, due - kUnlockedSleep);
        return;
    }
    held.unlock();
    std::this_thread::sleep_until(due - kSpin);
    while (Clock::now() < due) {
    }
    held.lock();
}

void preciseWakeUps()
{
#if defined(__linux__)
    prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
#endif
}

void frameLoop(Board *board, std::shared_ptr<Engine> engine)
{
    preciseWakeUps();
    std::unique_lock<std::mutex> held(lock());
    while (!engine->closing) {
        Run &run = engine->run;
        switch (run.phase) {
        case Phase::Idle:
            board->changed.wait(held);
            break;
        case Phase::Writing:  // by a host: it may leave the next frame to us
            board->changed.wait_until(held, Clock::now() + kHandOver);
            break;
        case Phase::AwaitingTrigger:
            awaitTrigger(*board, *engine, held);
            break;
        case Phase::Exposing:
            if (Clock::now() < run.due)
                awaitDue(*board, *engine, held);
            else
                writeOneFrame(*board, *engine, held);
            break;
        }
    }
}

void ensureFrameThread(Board &board, Engine &engine)
{
    if (engine.thread.joinable()) return;
    engine.thread = std::thread(frameLoop, &board, board.acquisition->engine);
}

// Whether frames come one period apart on their own, not on a trigger.
bool freeRunning(const Board &board, const Run &run)
{
    return run.continuous && run.phase == Phase::Exposing && !framesWaitForTrigger(board);
}

}  // namespace

std::optional<Clock::time_point> takeNextFrame(const Board &board, Engine &engine,
                                               Clock::time_point deadline, bool &taken)
{
    const bool mine = freeRunning(board, engine.run) && engine.run.due <= deadline;
    if (!mine || (engine.hostDelivers && !taken)) {
        if (taken) engine.hostDelivers = taken = false;
        return std::nullopt;
    }
    engine.hostDelivers = taken = true;
    return engine.run.due;
}

void writeTakenFrame(Engine &engine, std::unique_lock<std::mutex> &held)
{
    if (engine.board == nullptr || engine.closing || !engine.hostDelivers) return;
    if (freeRunning(*engine.board, engine.run) && Clock::now() >= engine.run.due)
        writeOneFrame(*engine.board, engine, held);
}

void wakeAll(Engine &engine)
{
    notifyBoth(engine);
}

bool haltRun(Engine &engine, std::unique_lock<std::mutex> &held, InFlight inFlight)
{
    engine.run.phase = Phase::Idle;
    if (inFlight == InFlight::Discard) engine.discardWrite = true;
    notifyBoth(engine);
    engine.wake.wait(held, [&] { return !engine.writing; });
    return !engine.closing;
}

bool startRun(Board &board, Engine &engine, std::unique_lock<std::mutex> &held, Target target,
              bool continuous)
{
    if (!haltRun(engine, held, InFlight::Finish)) return false;
    ensureFrameThread(board, engine);
    Run &run = engine.run;
    run.target = target;
    run.continuous = continuous;
    run.serial = nextSerial();
    engine.lastCommanded = target;
    if (framesWaitForTrigger(board))
        run.phase = Phase::AwaitingTrigger;
    else if (!continuous && snapsAtOnce(board)) {
        run.phase = Phase::Exposing;
        run.due = Clock::now();
    } else
        beginExposure(board, run, Clock::now());
    notifyBoth(engine);
    return true;
}

int32_t runCommand(Board &board, Engine &engine, std::unique_lock<std::mutex> &held,
                   Target target, uint32_t command)
{
    const bool ours = engine.run.target == target;
    switch (command) {
    case kCommandStop:  // a frame still exposing is dropped, one being written finishes
        if (ours && !haltRun(engine, held, InFlight::Finish)) return BFSIM_ERR_HANDLE;
        return 0;
    case kCommandAbort:
        // Like stop: a frame half old and half new, stamped with the new
        // number, would only mislead the host.
        if (ours && !haltRun(engine, held, InFlight::Finish)) return BFSIM_ERR_HANDLE;
        return 0;
    case kCommandSnap:
    case kCommandGrab:
        return startRun(board, engine, held, target, command == kCommandGrab) ? 0 : BFSIM_ERR_HANDLE;
    case kCommandReset:
        if (ours && !haltRun(engine, held, InFlight::Finish)) return BFSIM_ERR_HANDLE;
        engine.overflow = false;
        if (target == Target::Chain) {
            engine.chain.position = 0;
            engine.chain.unwaited = 0;
        }
        return 0;
    default:
        return BFSIM_ERR_ARGUMENT;
    }
}

bool deliverTrigger(Board &board, Engine &engine)
{
    if (engine.run.phase != Phase::AwaitingTrigger) {
        ++engine.triggersDropped;
        return false;
    }
    beginExposure(board, engine.run, Clock::now());
    notifyBoth(engine);
    return true;
}

void stopFrameThread(Engine &engine, std::unique_lock<std::mutex> &held)
{
    engine.closing = true;
    (void)haltRun(engine, held, InFlight::Discard);
    if (engine.thread.joinable()) {
        std::thread thread = std::move(engine.thread);
        held.unlock();
        thread.join();
        held.lock();
    }
    engine.board = nullptr;
    notifyBoth(engine);
    engine.waitersChanged.notify_all();
}

}  // namespace bfsim
