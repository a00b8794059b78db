/*
 * End-of-frame signals. Each counts the frames completed on its board since
 * the last wait; a wait consumes that count and says whether frames were
 * missed. The host's signal record holds only a stamp pointing back into the
 * board's registry.
 */
#include "cid.h"
#include "engine_state.h"
#include "entry.h"

namespace bfsim {
namespace {

SignalState *findSignal(Engine &engine, const CiSignal *record)
{
    const std::optional<uint64_t> serial = stampedSerial(record, kSignalMagic);
    if (!serial) return nullptr;
    auto found = engine.signals.find(*serial);
    if (found == engine.signals.end() || found->second.record != record) return nullptr;
    return &found->second;
}

// The live signal a record holds. A record that holds none was never
// created or is freed already: a real SDK would act on freed memory.
SignalState *liveSignal(Engine &engine, const CiSignal *record)
{
    SignalState *state = findSignal(engine, record);
    if (state == nullptr) recordMisuse("signal record holds no live signal (never created, or freed)");
    return state;
}

void writeCount(uint32_t *count, uint64_t frames)
{
    if (count == nullptr) return;
    *count = outputOverride("CiSignalWait").value_or(static_cast<uint32_t>(frames));
}

}  // namespace

void signalFrame(Engine &engine)
{
    for (auto &entry : engine.signals) ++entry.second.pending;
}

}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiSignalCreate(CiBoardHandle handle, uint32_t kind, CiSignal *signal)
{
    return boardCall("CiSignalCreate", {arg(handle), arg(kind), arg(signal)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (signal == nullptr || kind != kSignalEndOfFrame) return BFSIM_ERR_ARGUMENT;
        // A record that still holds a live signal is overwritten: that signal
        // stays live, unreachable, and counted, as the host leaked it.
        if (findSignal(engineOf(board), signal) != nullptr)
            recordMisuse("signal created into a record that holds a live signal");
        const uint64_t serial = nextSerial();
        engineOf(board).signals[serial].record = signal;
        stampRecord(signal, kSignalMagic, serial);
        countObject(BFSIM_OBJ_SIGNALS, +1);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiSignalQueueClear(CiBoardHandle handle, CiSignal *signal)
{
    return boardCall("CiSignalQueueClear", {arg(handle), arg(signal)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        SignalState *state = liveSignal(engine, signal);
        if (state == nullptr) return BFSIM_ERR_NOT_LIVE;
        state->pending = 0;
        engine.chain.unwaited = 0;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiSignalWait(CiBoardHandle handle, CiSignal *signal, uint32_t timeout,
                                      uint32_t *count)
{
    return boardCall("CiSignalWait", {arg(handle), arg(signal), arg(timeout), arg(count)}, handle,
                     BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &held) {
        if (liveSignal(engineOf(board), signal) == nullptr) return BFSIM_ERR_NOT_LIVE;
        // Held by value: the board may be closed while we sleep.
        std::shared_ptr<Engine> engine = sharedEngine(board);
        const uint64_t serial = *stampedSerial(signal, kSignalMagic);
        const uint64_t cancels = engine->signals.at(serial).cancels;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
        SignalWaiter counted(*engine);
        bool writesFrames = false;  // this wait writes the grab's frames as they fall due
        const auto result = [&](uint64_t frames, int32_t status) {
            giveBackFrames(*engine, writesFrames);
            writeCount(count, frames);
            return status;
        };
        for (;;) {
            auto found = engine->signals.find(serial);
            if (engine->closing || found == engine->signals.end() || found->second.cancels != cancels)
                return result(0, BFSIM_WAIT_CANCELLED);
            if (const uint64_t frames = found->second.pending) {
                found->second.pending = 0;
                engine->chain.unwaited = 0;
                return result(frames, frames == 1 ? 0 : kWaitFramesMissed);
            }
            if (Clock::now() >= deadline) return result(0, BFSIM_WAIT_TIMEOUT);
            const std::optional<Clock::time_point> due =
                engine->board ? takeNextFrame(*engine->board, *engine, deadline, writesFrames) : std::nullopt;
            counted.sleep(held, due ? std::min(*due, deadline) : deadline);
            if (writesFrames) writeTakenFrame(*engine, held);
        }
    });
}

CID_API int32_t SDK_CALL CiSignalCancel(CiBoardHandle handle, CiSignal *signal)
{
    return boardCall("CiSignalCancel", {arg(handle), arg(signal)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        SignalState *state = liveSignal(engine, signal);
        if (state == nullptr) return BFSIM_ERR_NOT_LIVE;
        ++state->cancels;
        wakeAll(engine);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiSignalFree(CiBoardHandle handle, CiSignal *signal)
{
    return boardCall("CiSignalFree", {arg(handle), arg(signal)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        if (liveSignal(engine, signal) == nullptr) return BFSIM_ERR_NOT_LIVE;
        // Waiters find the signal gone and return cancelled.
        engine.signals.erase(*stampedSerial(signal, kSignalMagic));
        unstampRecord(signal);
        countObject(BFSIM_OBJ_SIGNALS, -1);
        wakeAll(engine);
        return 0;
    });
}

}  // extern "C"
