/*
 * The engine's life with its board, and the single destination: CiAqSetup,
 * CiAqCleanUp and the acquired window of CiAqFrameSize.
 */
#include <algorithm>

#include "cid.h"
#include "engine_state.h"
#include "entry.h"

namespace bfsim {
namespace {

uint32_t cameraExtent(const Board &board, uint32_t code, uint32_t fallback)
{
    return inquire(board, code).value_or(fallback);
}

// Engines named by an engine argument: 0 or 1, or every one when negative.
bool engineRange(int32_t engine, int32_t &first, int32_t &last)
{
    if (engine >= kEngineCount) return false;
    first = engine < 0 ? 0 : engine;
    last = engine < 0 ? kEngineCount - 1 : engine;
    return true;
}

void forgetDestination(Engine &engine)
{
    if (!engine.single) return;
    engine.single.reset();
    countObject(BFSIM_OBJ_DESTINATIONS, -1);
}

}  // namespace

uint32_t acquiredLines(const Board &board, const Engine &engine)
{
    const uint32_t lines = cameraExtent(board, CI_INQ_LINES, board.currentCamera().lines);
    const uint32_t window = engine.windows[kDestinationEngine].lines;
    return window ? std::min(window, lines) : lines;
}

uint64_t nextSerial()
{
    static uint64_t issued = 0;  // guarded by lock()
    return ++issued;
}

void acquisitionOpened(Board &board)
{
    board.acquisition = std::make_unique<Acquisition>();
    board.acquisition->engine = std::make_shared<Engine>();
    board.acquisition->engine->board = &board;
}

void acquisitionClosing(Board &board, std::unique_lock<std::mutex> &held)
{
    if (board.acquisition == nullptr) return;
    // Kept alive here: the board's own reference goes when we return, while
    // the frame thread and any waiter may still be holding theirs.
    std::shared_ptr<Engine> engine = board.acquisition->engine;
    if (engine != nullptr) stopFrameThread(*engine, held);
    board.acquisition.reset();
}

}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiAqSetup(CiBoardHandle handle, void *dest, uint32_t size, int32_t stride,
                                   uint32_t format, uint32_t lutBank, uint32_t lutType,
                                   uint8_t options, uint32_t frames, uint32_t mode, uint32_t flags)
{
    return boardCall("CiAqSetup", {arg(handle), arg(dest), arg(size), arg(stride), arg(format),
                                   arg(lutBank), arg(lutType), arg(options), arg(frames),
                                   arg(mode), arg(flags)},
                     handle, BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> shared = sharedEngine(board);
        Engine &engine = *shared;
        if (dest == nullptr || size == 0 || stride <= 0) return BFSIM_ERR_ARGUMENT;
        if (uint64_t(stride) * acquiredLines(board, engine) > size) {
            recordMisuse("destination smaller than its frame (size below stride times lines)");
            return BFSIM_ERR_ARGUMENT;
        }
        if (!engine.chain.engaged.empty()) {
            recordMisuse("destination registered on an engine a chain is engaged on");
            return BFSIM_ERR_BUSY;
        }

        // A new destination replaces the old one; nothing more goes to the old.
        if (engine.run.target == Target::Single && !haltRun(engine, held, InFlight::Discard))
            return BFSIM_ERR_HANDLE;
        if (!engine.single) countObject(BFSIM_OBJ_DESTINATIONS, +1);
        SingleDestination single;
        single.buffer = {static_cast<uint8_t *>(dest), size, uint32_t(stride), lutBank, lutType};
        single.counter = FrameCounter(board.currentCamera().faults.firstFrameNumber);
        engine.single = single;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiAqCleanUp(CiBoardHandle handle, int32_t engineNumber)
{
    return boardCall("CiAqCleanUp", {arg(handle), arg(engineNumber)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> engine = sharedEngine(board);
        int32_t first, last;
        if (!engineRange(engineNumber, first, last)) return BFSIM_ERR_ARGUMENT;
        if (first != kDestinationEngine) return 0;  // engine 1 never acquires

        // Both the destination and an engaged chain belong to engine 0; their
        // QTabs stay live until freed, but nothing is written any more.
        if (!haltRun(*engine, held, InFlight::Discard)) return BFSIM_ERR_HANDLE;
        engine->run.target = Target::None;
        forgetDestination(*engine);
        engine->chain.engaged.clear();
        engine->chain.dmaStarted = false;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiAqFrameSize(CiBoardHandle handle, uint32_t xSize, uint32_t ySize,
                                       int32_t engineNumber)
{
    return boardCall("CiAqFrameSize", {arg(handle), arg(xSize), arg(ySize), arg(engineNumber)}, handle,
                     BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &) {
        int32_t first, last;
        if (!engineRange(engineNumber, first, last)) return BFSIM_ERR_ARGUMENT;
        const CameraConfig &camera = board.currentCamera();
        if (xSize == 0 || xSize > cameraExtent(board, CI_INQ_WIDTH, camera.width)) return BFSIM_ERR_ARGUMENT;
        if (ySize == 0 || ySize > cameraExtent(board, CI_INQ_LINES, camera.lines)) return BFSIM_ERR_ARGUMENT;
        Engine &engine = engineOf(board);
        for (int32_t e = first; e <= last; ++e) engine.windows[e] = {xSize, ySize};
        return 0;
    });
}

}  // extern "C"
