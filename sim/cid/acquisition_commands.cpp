/*
 * Commands and status: the two command families, waiting for a snap, the
 * status, frame count and overflow a host polls, the chain's table reset,
 * software and external triggers.
 */
#include "cid.h"
#include "controls.h"
#include "engine_state.h"

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

uint64_t framesOf(const Engine &engine, Target target)
{
    if (target == Target::Chain) return engine.chain.frames;
    return engine.single ? engine.single->frames : 0;
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
    if (auto r = enter("CiAqCommand", {arg(handle), arg(command), arg(mode), arg(engineNumber), arg(flags)}))
        return *r;
    std::unique_lock<std::mutex> held(lock());
    Board *board = boardOf(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    std::shared_ptr<Engine> shared = board->acquisition->engine;
    Engine &engine = *shared;
    if (engineNumber != kDestinationEngine || !engine.single) return BFSIM_ERR_NOT_SET_UP;
    return runCommand(*board, engine, held, Target::Single, command);
}

CID_API int32_t SDK_CALL CiConAqCommand(CiBoardHandle handle, uint32_t command, uint32_t flags)
{
    if (auto r = enter("CiConAqCommand", {arg(handle), arg(command), arg(flags)})) return *r;
    std::unique_lock<std::mutex> held(lock());
    Board *board = boardOf(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    std::shared_ptr<Engine> shared = board->acquisition->engine;
    Engine &engine = *shared;
    if (!chainReady(engine)) return BFSIM_ERR_NOT_SET_UP;
    return runCommand(*board, engine, held, Target::Chain, command);
}

CID_API int32_t SDK_CALL CiAqWaitDone(CiBoardHandle handle, uint32_t engineNumber)
{
    if (auto r = enter("CiAqWaitDone", {arg(handle), arg(engineNumber)})) return *r;
    std::unique_lock<std::mutex> held(lock());
    Board *board = boardOf(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    std::shared_ptr<Engine> engine = board->acquisition->engine;
    // A grab never completes and nothing pending is done already.
    if (!snapPending(*engine)) return 0;
    const uint64_t snap = engine->run.serial;
    const uint32_t waitMs = inquire(*board, CI_INQ_WAIT_TIME).value_or(board->currentCamera().waitTimeMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    const bool ended = engine->wake.wait_until(held, deadline, [&] {
        return engine->closing || engine->run.serial != snap || !snapPending(*engine);
    });
    if (!ended) return BFSIM_WAIT_TIMEOUT;
    return engine->lastCompletedSnap == snap ? 0 : BFSIM_WAIT_CANCELLED;
}

CID_API int32_t SDK_CALL CiAqOverflowCheck(CiBoardHandle handle, uint32_t *overflow)
{
    if (auto r = enter("CiAqOverflowCheck", {arg(handle), arg(overflow)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Engine *engine = engineOf(handle);
    if (engine == nullptr) return BFSIM_ERR_HANDLE;
    if (overflow == nullptr) return BFSIM_ERR_ARGUMENT;
    // Reading the flag acknowledges it, as the hardware's does.
    *overflow = outputOverride("CiAqOverflowCheck").value_or(engine->overflow ? 1 : 0);
    engine->overflow = false;
    return 0;
}

CID_API int32_t SDK_CALL CiConAqStatus(CiBoardHandle handle, uint32_t *status, uint32_t flags)
{
    if (auto r = enter("CiConAqStatus", {arg(handle), arg(status), arg(flags)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Engine *engine = engineOf(handle);
    if (engine == nullptr) return BFSIM_ERR_HANDLE;
    if (status == nullptr) return BFSIM_ERR_ARGUMENT;
    *status = outputOverride("CiConAqStatus").value_or(engine->run.phase != Phase::Idle ? 1 : 0);
    return 0;
}

CID_API int32_t SDK_CALL CiConGetFrameCount(CiBoardHandle handle, uint32_t *count, uint32_t flags)
{
    if (auto r = enter("CiConGetFrameCount", {arg(handle), arg(count), arg(flags)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Engine *engine = engineOf(handle);
    if (engine == nullptr) return BFSIM_ERR_HANDLE;
    if (count == nullptr) return BFSIM_ERR_ARGUMENT;
    const uint64_t frames = framesOf(*engine, reportedTarget(*engine));
    *count = outputOverride("CiConGetFrameCount").value_or(static_cast<uint32_t>(frames));
    return 0;
}

CID_API int32_t SDK_CALL CiConCTabReset(CiBoardHandle handle)
{
    if (auto r = enter("CiConCTabReset", {arg(handle)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Engine *engine = engineOf(handle);
    if (engine == nullptr) return BFSIM_ERR_HANDLE;
    if (engine->chain.engaged.empty()) return BFSIM_ERR_NOT_SET_UP;
    engine->chain.position = 0;
    return 0;
}

CID_API int32_t SDK_CALL CiConSwTrig(CiBoardHandle handle, uint32_t trigger, uint32_t mode)
{
    if (auto r = enter("CiConSwTrig", {arg(handle), arg(trigger), arg(mode)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Board *board = boardOf(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    if (trigger < kSoftwareTriggerFirst || trigger > kSoftwareTriggerLast) return BFSIM_ERR_ARGUMENT;
    // A trigger with no frame waiting for it is dropped, as on the wire.
    deliverTrigger(*board, *board->acquisition->engine);
    return 0;
}

BFSIM_API void bfsim_fire_external_trigger(uint32_t type, uint32_t number)
{
    std::lock_guard<std::mutex> held(lock());
    Board *board = findBoard(type, number);
    if (board == nullptr || !board->open) return;
    board = boardOf(board->handle);
    if (board == nullptr || !externalConnected(*board)) return;
    deliverTrigger(*board, *board->acquisition->engine);
}

BFSIM_API uint64_t bfsim_frames_completed(uint32_t type, uint32_t number)
{
    std::lock_guard<std::mutex> held(lock());
    Board *board = findBoard(type, number);
    Engine *engine = board && board->open ? engineOf(board->handle) : nullptr;
    return engine ? engine->framesCompleted : 0;
}

BFSIM_API int bfsim_wait_frames(uint32_t type, uint32_t number, uint64_t frames, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> held(lock());
    Board *board = findBoard(type, number);
    Engine *found = board && board->open ? engineOf(board->handle) : nullptr;
    if (found == nullptr) return -1;
    std::shared_ptr<Engine> engine = board->acquisition->engine;
    const bool reached = engine->wake.wait_for(held, std::chrono::milliseconds(timeoutMs), [&] {
        return engine->closing || engine->framesCompleted >= frames;
    });
    return reached && !engine->closing ? 0 : -1;
}

}  // extern "C"
