/*
 * QTabs and the buffer chain: relative QTabs describe host buffers,
 * physical ones make them usable by the DMA engine, a link orders them into
 * a ring, engaging hands the ring to the engine and a DMA command starts it.
 * The QTab records are the host's memory, often uninitialised when handed
 * in, so a record counts as live only when its stamp matches the registry.
 */
#include <algorithm>

#include "cid.h"
#include "engine_state.h"
#include "entry.h"

namespace bfsim {
namespace {

// The registry key of a record stamped by CiRelQTabCreate, if it is live.
std::optional<uint64_t> findQTab(const Engine &engine, const CiQTab *record)
{
    const std::optional<uint64_t> serial = stampedSerial(record, kQTabMagic);
    if (!serial) return std::nullopt;
    auto found = engine.qtabs.find(*serial);
    if (found == engine.qtabs.end() || found->second.record != record) return std::nullopt;
    return serial;
}

// As findQTab, for a record the host hands in as live: one that is not was
// never created or is freed already.
std::optional<uint64_t> liveQTab(const Engine &engine, const CiQTab *record)
{
    std::optional<uint64_t> serial = findQTab(engine, record);
    if (!serial) recordMisuse("QTab record holds no live QTab (never created, or freed)");
    return serial;
}

// A live physical QTab behind the record, recording a misuse when there is none.
std::optional<uint64_t> livePhysical(const Engine &engine, const CiQTab *record)
{
    std::optional<uint64_t> serial = liveQTab(engine, record);
    if (!serial) return std::nullopt;
    if (engine.qtabs.at(*serial).physical) return serial;
    recordMisuse("QTab has no live physical table");
    return std::nullopt;
}

// The record's own description of its buffer, after the stamp; the
// registry's copy is the one the engine trusts.
void describe(CiQTab *record, const Destination &buffer)
{
    record->opaque[2] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer.base));
    record->opaque[3] = buffer.size;
    record->opaque[4] = buffer.stride;
    record->opaque[5] = buffer.lutBank;
}

bool contains(const std::vector<uint64_t> &ring, uint64_t serial)
{
    return std::find(ring.begin(), ring.end(), serial) != ring.end();
}

// The serials of `count` records, each a live physical QTab.
std::optional<std::vector<uint64_t>> physicalRing(const Engine &engine, CiQTab *const *records, size_t count)
{
    std::vector<uint64_t> ring;
    for (size_t i = 0; i < count; ++i) {
        const std::optional<uint64_t> serial = livePhysical(engine, records[i]);
        if (!serial) return std::nullopt;
        ring.push_back(*serial);
    }
    return ring;
}

// Stops a chain run and forgets the engaged ring, before any of its tables
// goes away; false when the board was closed while the run wound down.
bool disengage(Engine &engine, std::unique_lock<std::mutex> &held)
{
    if (engine.run.target == Target::Chain) {
        if (!haltRun(engine, held, InFlight::Discard)) return false;
        engine.run.target = Target::None;
    }
    engine.chain.engaged.clear();
    engine.chain.dmaStarted = false;
    return true;
}

}  // namespace
}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiConAqMode(CiBoardHandle handle, uint32_t mode)
{
    return boardCall("CiConAqMode", {arg(handle), arg(mode)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (mode > kHighestAqMode) return BFSIM_ERR_ARGUMENT;
        engineOf(board).aqMode = mode;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiRelQTabCreate(CiBoardHandle handle, CiCameraConfig config, void *buffer,
                                         uint32_t size, uint32_t stride, CiQTab *qtab,
                                         uint32_t format, uint32_t lutBank, uint32_t direction,
                                         uint32_t kind, uint32_t flags)
{
    return boardCall("CiRelQTabCreate", {arg(handle), arg(config), arg(buffer), arg(size), arg(stride),
                                         arg(qtab), arg(format), arg(lutBank), arg(direction),
                                         arg(kind), arg(flags)},
                     handle, BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &) {
        if (buffer == nullptr || qtab == nullptr || size == 0 || stride == 0 || stride > size)
            return BFSIM_ERR_ARGUMENT;
        Engine &engine = engineOf(board);
        if (uint64_t(stride) * acquiredLines(board, engine) > size) {
            recordMisuse("QTab buffer smaller than its frame (size below stride times lines)");
            return BFSIM_ERR_ARGUMENT;
        }
        // A record still holding a live QTab is overwritten and the old QTab
        // leaks, counted, just as the host lost it.
        if (findQTab(engine, qtab)) recordMisuse("QTab created into a record that holds a live QTab");
        const uint64_t serial = nextSerial();
        QTabEntry &entry = engine.qtabs[serial];
        entry.record = qtab;
        entry.buffer = {static_cast<uint8_t *>(buffer), size, stride, lutBank, 0};
        stampRecord(qtab, kQTabMagic, serial);
        describe(qtab, entry.buffer);
        countObject(BFSIM_OBJ_REL_QTABS, +1);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiPhysQTabCreate(CiBoardHandle handle, CiQTab *qtab, uint32_t flags)
{
    return boardCall("CiPhysQTabCreate", {arg(handle), arg(qtab), arg(flags)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        const std::optional<uint64_t> serial = liveQTab(engine, qtab);
        if (!serial) return BFSIM_ERR_NOT_LIVE;
        QTabEntry &entry = engine.qtabs.at(*serial);
        if (entry.physical) {
            recordMisuse("physical table made twice for one QTab");
            return BFSIM_ERR_BUSY;
        }
        entry.physical = true;
        countObject(BFSIM_OBJ_PHYS_QTABS, +1);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiPhysQTabChainLink(CiBoardHandle handle, CiQTab **qtabs, uint32_t count)
{
    return boardCall("CiPhysQTabChainLink", {arg(handle), arg(qtabs), arg(count)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        if (qtabs == nullptr || count == 0) return BFSIM_ERR_ARGUMENT;
        auto ring = physicalRing(engine, qtabs, count);
        if (!ring) return BFSIM_ERR_NOT_LIVE;
        engine.chain.linked = std::move(*ring);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiPhysQTabChainEngage(CiBoardHandle handle, CiQTab **qtabs, uint32_t engineNumber)
{
    return boardCall("CiPhysQTabChainEngage", {arg(handle), arg(qtabs), arg(engineNumber)}, handle,
                     BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> engine = sharedEngine(board);
        if (qtabs == nullptr || engineNumber != kDestinationEngine) return BFSIM_ERR_ARGUMENT;
        Chain &chain = engine->chain;
        if (chain.linked.empty()) {
            recordMisuse("chain engaged before it was linked");
            return BFSIM_ERR_NOT_SET_UP;
        }
        // The array handed in must be the ring that was linked, in its order.
        auto ring = physicalRing(*engine, qtabs, chain.linked.size());
        if (!ring || *ring != chain.linked) return BFSIM_ERR_ARGUMENT;
        if (engine->single) {
            recordMisuse("chain engaged on an engine whose destination is still registered");
            return BFSIM_ERR_BUSY;
        }

        if (!disengage(*engine, held)) return BFSIM_ERR_HANDLE;
        // Checked again: the tables may have changed while a run wound down.
        if (physicalRing(*engine, qtabs, ring->size()) != ring) return BFSIM_ERR_NOT_LIVE;
        chain.engaged = std::move(*ring);
        chain.position = 0;
        chain.counter = FrameCounter(board.currentCamera().faults.firstFrameNumber);
        chain.unwaited = 0;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConDMACommand(CiBoardHandle handle, uint32_t command, uint32_t engineNumber,
                                         uint32_t param1, uint32_t param2)
{
    return boardCall("CiConDMACommand", {arg(handle), arg(command), arg(engineNumber), arg(param1), arg(param2)},
                     handle, BFSIM_ERR_HANDLE, [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        if (command != kDmaStartCommand) return BFSIM_ERR_ARGUMENT;
        if (engine.chain.engaged.empty()) {
            recordMisuse("DMA started with no chain engaged");
            return BFSIM_ERR_NOT_SET_UP;
        }
        engine.chain.dmaStarted = true;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiPhysQTabFree(CiBoardHandle handle, CiQTab *qtab)
{
    return boardCall("CiPhysQTabFree", {arg(handle), arg(qtab)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &held) {
        std::shared_ptr<Engine> engine = sharedEngine(board);
        std::optional<uint64_t> serial = livePhysical(*engine, qtab);
        if (!serial) return BFSIM_ERR_NOT_LIVE;
        // A ring missing one table is no ring: the engine stops filling it
        // before this returns, and the host may free the buffers right after.
        if (contains(engine->chain.engaged, *serial) && !disengage(*engine, held)) return BFSIM_ERR_HANDLE;
        serial = findQTab(*engine, qtab);  // looked up again after the lock was let go
        if (!serial || !engine->qtabs.at(*serial).physical) return BFSIM_ERR_NOT_LIVE;
        if (contains(engine->chain.linked, *serial)) engine->chain.linked.clear();
        engine->qtabs.at(*serial).physical = false;
        countObject(BFSIM_OBJ_PHYS_QTABS, -1);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiRelQTabFree(CiBoardHandle handle, CiQTab *qtab)
{
    return boardCall("CiRelQTabFree", {arg(handle), arg(qtab)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        Engine &engine = engineOf(board);
        const std::optional<uint64_t> serial = liveQTab(engine, qtab);
        if (!serial) return BFSIM_ERR_NOT_LIVE;
        // The physical table refers to this one; it has to go first.
        if (engine.qtabs.at(*serial).physical) {
            recordMisuse("relative QTab freed before its physical table");
            return BFSIM_ERR_BUSY;
        }
        engine.qtabs.erase(*serial);
        unstampRecord(qtab);
        countObject(BFSIM_OBJ_REL_QTABS, -1);
        return 0;
    });
}

}  // extern "C"
