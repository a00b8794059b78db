/*
 * Commands and status: the two command families, waiting for a snap, the
 * status, frame count and overflow a host polls, the chain's table reset,
 * software and external triggers.
 */
#include "cid.h"
#include "controls.h"
#include "engine_state.h"
#include "entry.h"

namespace bfsim {
namespace {

bool chainReady(const Engine &engine)
{
    return !engine.chain.engaged.empty() && engine.chain.dmaStarted;
}

// What the controller reports on: the target last commanded, else the one
// the acquisition mode selects.
Target reportedTarget(const Engine &engine)
{
    if (engine.lastCommanded != Target::None) return engine.lastCommanded;
    return engine.aqMode == kChainedAqMode ? Target::Chain : Target::Single;
}

// The camera's frame counter as the target sees it: lost frames count too.
uint32_t frameCounterOf(const Engine &engine, Target target)
{
    if (target == Target::Chain) return engine.chain.counter.next;
    return engine.single ? engine.single->counter.next : 0;
}

bool startsCapture(uint32_t command)
{
    return command == CI_CMD_SNAP || command == CI_CMD_GRAB;
}

bool snapPending(const Engine &engine)
{
    return engine.run.phase != Phase::Idle && !engine.run.continuous;
}

}  // namespace
}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiAqCommand(CiBoardHandle handle, uint32_t command, uint32_t mode,
                                     uint32_t engineNumber, uint32_t flags)
{
    return boardCall("CiAqCommand", {arg(handle), arg(command), arg(mode), arg(engineNumber), arg(flags)},
                     handle, BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> shared = sharedEngine(board);
        Engine &engine = *shared;
        if (engineNumber != kDestinationEngine || !engine.single) return BFSIM_ERR_NOT_SET_UP;
        if (startsCapture(command) && !engine.chain.engaged.empty()) {
            recordMisuse("capture started on the destination while a chain is engaged on the engine");
            return BFSIM_ERR_BUSY;
        }
        return runCommand(board, engine, held, Target::Single, command);
    });
}

CID_API int32_t SDK_CALL CiConAqCommand(CiBoardHandle handle, uint32_t command, uint32_t flags)
{
    return boardCall("CiConAqCommand", {arg(handle), arg(command), arg(flags)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> shared = sharedEngine(board);
        Engine &engine = *shared;
        if (!chainReady(engine)) return BFSIM_ERR_NOT_SET_UP;
        if (startsCapture(command) && engine.single) {
            recordMisuse("capture started on the chain while a destination is registered on the engine");
            return BFSIM_ERR_BUSY;
        }
        return runCommand(board, engine, held, Target::Chain, command);
    });
}

CID_API int32_t SDK_CALL CiAqWaitDone(CiBoardHandle handle, uint32_t engineNumber)
{
    return boardCall("CiAqWaitDone", {arg(handle), arg(engineNumber)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> engine = sharedEngine(board);
        // A grab never completes and nothing pending is done already.
        if (!snapPending(*engine)) return 0;
        const uint64_t snap = engine->run.serial;
        const uint32_t waitMs = inquire(board, CI_INQ_WAIT_TIME).value_or(board.currentCamera().waitTimeMs);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        const bool ended = sleepUntil(*engine, held, deadline, [&] {
            return engine->closing || engine->run.serial != snap || !snapPending(*engine);
        });
        if (!ended) return BFSIM_WAIT_TIMEOUT;
        return engine->lastCompletedSnap == snap ? 0 : BFSIM_WAIT_CANCELLED;
    });
}

CID_API int32_t SDK_CALL CiAqOverflowCheck(CiBoardHandle handle, uint32_t *overflow)
{
    return boardCall("CiAqOverflowCheck", {arg(handle), arg(overflow)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        if (overflow == nullptr) return BFSIM_ERR_ARGUMENT;
        // Reading the flag acknowledges it, as the hardware's does.
        *overflow = outputOverride("CiAqOverflowCheck").value_or(engine.overflow ? 1 : 0);
        engine.overflow = false;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConAqStatus(CiBoardHandle handle, uint32_t *status, uint32_t flags)
{
    return boardCall("CiConAqStatus", {arg(handle), arg(status), arg(flags)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (status == nullptr) return BFSIM_ERR_ARGUMENT;
        *status = outputOverride("CiConAqStatus").value_or(engineOf(board).run.phase != Phase::Idle ? 1 : 0);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConGetFrameCount(CiBoardHandle handle, uint32_t *count, uint32_t flags)
{
    return boardCall("CiConGetFrameCount", {arg(handle), arg(count), arg(flags)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (count == nullptr) return BFSIM_ERR_ARGUMENT;
        const Engine &engine = engineOf(board);
        *count = outputOverride("CiConGetFrameCount").value_or(frameCounterOf(engine, reportedTarget(engine)));
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConCTabReset(CiBoardHandle handle)
{
    return boardCall("CiConCTabReset", {arg(handle)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        if (engine.chain.engaged.empty()) return BFSIM_ERR_NOT_SET_UP;
        engine.chain.position = 0;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConSwTrig(CiBoardHandle handle, uint32_t trigger, uint32_t mode)
{
    return boardCall("CiConSwTrig", {arg(handle), arg(trigger), arg(mode)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (trigger < kSoftwareTriggerFirst || trigger > kSoftwareTriggerLast) return BFSIM_ERR_ARGUMENT;
        // A trigger with no frame waiting for it is dropped, as on the wire.
        deliverTrigger(board, engineOf(board));
        return 0;
    });
}

// The open board of a type and number, or null. Call under lock().
static Board *openBoardNamed(uint32_t type, uint32_t number)
{
    Board *board = findBoard(type, number);
    return board != nullptr && board->open ? findBoard(board->handle) : nullptr;
}

BFSIM_API void bfsim_fire_external_trigger(uint32_t type, uint32_t number)
{
    std::lock_guard<std::mutex> held(lock());
    Board *board = openBoardNamed(type, number);
    if (board == nullptr) return;
    // A pulse on a line nobody connected reaches no frame.
    if (!externalConnected(*board))
        ++engineOf(*board).triggersDropped;
    else
        deliverTrigger(*board, engineOf(*board));
}

BFSIM_API uint64_t bfsim_frames_completed(uint32_t type, uint32_t number)
{
    std::lock_guard<std::mutex> held(lock());
    Board *board = openBoardNamed(type, number);
    return board ? engineOf(*board).framesCompleted : 0;
}

BFSIM_API int bfsim_wait_frames(uint32_t type, uint32_t number, uint64_t frames, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> held(lock());
    Board *board = openBoardNamed(type, number);
    if (board == nullptr) return -1;
    std::shared_ptr<Engine> engine = sharedEngine(*board);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool reached = sleepUntil(*engine, held, deadline, [&] {
        return engine->closing || engine->framesCompleted >= frames;
    });
    return reached && !engine->closing ? 0 : -1;
}

BFSIM_API int bfsim_engine_info_get(uint32_t type, uint32_t number, bfsim_engine_info *out)
{
    std::lock_guard<std::mutex> held(lock());
    Board *board = openBoardNamed(type, number);
    if (board == nullptr || out == nullptr) return -1;
    const Engine &engine = engineOf(*board);
    *out = bfsim_engine_info{};
    out->phase = static_cast<int>(engine.run.phase);
    out->signalWaiters = engine.signalWaiters;
    out->framesCompleted = engine.framesCompleted;
    out->framesLost = engine.framesLost;
    out->triggersDropped = engine.triggersDropped;
    out->framesLate = engine.framesLate;
    return 0;
}

BFSIM_API int bfsim_wait_signal_waiters(uint32_t type, uint32_t number, int waiters, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> held(lock());
    Board *board = openBoardNamed(type, number);
    if (board == nullptr) return -1;
    std::shared_ptr<Engine> engine = sharedEngine(*board);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool reached = engine->waitersChanged.wait_until(held, deadline, [&] {
        return engine->closing || engine->signalWaiters >= waiters;
    });
    return reached && !engine->closing ? 0 : -1;
}

}  // extern "C"
