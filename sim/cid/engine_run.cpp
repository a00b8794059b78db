/*
 * Runs and the frame thread. A command sets the run's phase under the lock;
 * one thread per acquiring board moves it on: waits for a trigger, waits out
 * the frame's exposure, writes the frame with the lock released, and counts
 * it. Commands that stop a run wait until no frame is being written, so the
 * host may free its buffers as soon as they return.
 */
#include <chrono>

#include "cid.h"
#include "controls.h"
#include "engine_state.h"

namespace bfsim {
namespace {

// Wakes the frame thread even when a controls change (trigger mode, line)
// arrives without anyone notifying it.
constexpr auto kTriggerRecheck = std::chrono::milliseconds(20);

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
    double ms = framesWaitForTrigger(board) ? timingPeriodMs(board) : 0.0;
    if (ms <= 0.0) ms = board.currentCamera().framePeriodMs;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
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

// Every value the frame holds, one per diagonal, through the destination's
// LUT: width + lines LUT look-ups instead of one per pixel.
void fillRamp(const Board &board, FrameJob &job)
{
    const uint32_t bitDepth = inquired(board, CI_INQ_BIT_DEPTH, board.currentCamera().bitDepth);
    job.ramp.resize(size_t(job.width) + job.lines);
    for (size_t k = 0; k < job.ramp.size(); ++k) {
        uint32_t value = rampValue(0, 0, k + uint64_t(job.frame), bitDepth);
        if (job.dest.lutBank != kNoLutBank) value = applyLut(board, job.dest.lutBank, job.dest.lutType, value);
        job.ramp[k] = value;
    }
}

// Picks the buffer of the next frame; false when the target is gone.
bool prepareFrame(const Board &board, Engine &engine, FrameJob &job)
{
    if (engine.run.target == Target::Single) {
        if (!engine.single) return false;
        job.dest = engine.single->buffer;
        job.frame = static_cast<uint32_t>(engine.single->frames);
    } else {
        Chain &chain = engine.chain;
        if (chain.engaged.empty() || !chain.dmaStarted) return false;
        auto entry = engine.qtabs.find(chain.engaged[chain.position % chain.engaged.size()]);
        if (entry == engine.qtabs.end() || !entry->second.physical) return false;
        if (chain.unwaited >= chain.engaged.size()) engine.overflow = true;
        job.dest = entry->second.buffer;
        job.frame = static_cast<uint32_t>(chain.frames);
        // Advanced now, so a CiConCTabReset during the write still sends
        // the next frame to buffer 0.
        chain.position = (chain.position + 1) % chain.engaged.size();
    }
    acquiredGeometry(board, engine, job);
    fillRamp(board, job);
    return true;
}

void countFrame(Engine &engine, Target target, uint64_t serial, bool continuous)
{
    if (target == Target::Single && engine.single) ++engine.single->frames;
    if (target == Target::Chain) {
        ++engine.chain.frames;
        ++engine.chain.unwaited;
    }
    if (!continuous) engine.lastCompletedSnap = serial;
    ++engine.framesCompleted;
    signalFrame(engine);
}

void beginExposure(const Board &board, Run &run, Clock::time_point start)
{
    run.phase = Phase::Exposing;
    run.due = start + framePeriod(board);
}

// After a frame of a grab: the next one waits for its trigger, or follows
// one period after the last, never earlier than now (a late camera drops
// frames rather than bursting to catch up).
void nextFrame(const Board &board, Run &run)
{
    if (framesWaitForTrigger(board)) {
        run.phase = Phase::AwaitingTrigger;
        return;
    }
    run.phase = Phase::Exposing;
    run.due = std::max(run.due + framePeriod(board), Clock::now());
}

void writeOneFrame(Board &board, Engine &engine, std::unique_lock<std::mutex> &held)
{
    Run &run = engine.run;
    FrameJob job;
    if (!prepareFrame(board, engine, job)) {
        run.phase = Phase::Idle;
        notifyBoth(engine);
        return;
    }
    const Run started = run;
    run.phase = Phase::Writing;
    engine.writing = true;
    engine.discardWrite = false;
    held.unlock();
    const bool whole = writeFrame(job, engine.discardWrite);
    held.lock();
    engine.writing = false;
    if (whole && !engine.discardWrite) countFrame(engine, started.target, started.serial, started.continuous);
    // A command issued meanwhile has already set the phase it wants.
    if (run.phase == Phase::Writing && run.serial == started.serial) {
        if (started.continuous)
            nextFrame(board, run);
        else
            run.phase = Phase::Idle;
    }
    notifyBoth(engine);
}

// The next tick of the board's own external trigger, if it has one and the
// line is connected.
std::optional<Clock::time_point> nextExternalTick(const Board &board, const Engine &engine)
{
    const uint32_t periodMs = board.config.externalTriggerPeriodMs;
    if (periodMs == 0 || !externalConnected(board)) return std::nullopt;
    const Clock::duration period = std::chrono::milliseconds(periodMs);
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

void frameLoop(Board *board, std::shared_ptr<Engine> engine)
{
    std::unique_lock<std::mutex> held(lock());
    while (!engine->closing) {
        Run &run = engine->run;
        switch (run.phase) {
        case Phase::Idle:
        case Phase::Writing:  // only ever seen by the writer itself
            board->changed.wait(held);
            break;
        case Phase::AwaitingTrigger:
            awaitTrigger(*board, *engine, held);
            break;
        case Phase::Exposing:
            if (Clock::now() < run.due)
                board->changed.wait_until(held, run.due);
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

}  // namespace

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
    if (engine.run.phase != Phase::AwaitingTrigger) return false;
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
}

}  // namespace bfsim
