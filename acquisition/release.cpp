#include "acquisition/release.h"

#include "acquisition/commands.h"
#include "board/allocator.h"
#include "board/blocks.h"
#include "board/shared_lock.h"
#include "cid.h"

namespace qor {

namespace {

// Cancels any wait on the slot's signal and frees it.
void releaseSignal(BoardSlot &slot)
{
    CiSignalCancel(slot.board, &slot.signal);
    if (CiSignalFree(slot.board, &slot.signal) == 0) slot.signalLive = 0;
}

// The destination and its freed mark change under the shared lock, since
// BF_FreeBuffer on another slot reads and marks them.
void forgetDestination(BoardSlot &slot)
{
    SharedGuard held(sharedLock());
    slot.destination = nullptr;
    slot.destinationFreed = 0;
    blocks::dropDestination(indexOf(slot));
}

}  // namespace

void stopDestination(const BoardSlot &slot)
{
    CiAqCommand(slot.board, CI_CMD_STOP, kModeHalt, kEngine, kNoFlags);
}

void cleanUpEngine(BoardSlot &slot)
{
    if (CiAqCleanUp(slot.board, static_cast<int32_t>(kEngine)) == 0)
        slot.destinationRegistered = 0;
}

void releaseArrays(BoardSlot &slot, BufferSet &chain)
{
    allocator.release(chain.qtabs);
    allocator.release(chain.qtabPtrs);
    chain.qtabs = nullptr;
    chain.qtabPtrs = nullptr;
    chain.physicalCount = 0;
    chain.physicalReleased = 0;
    chain.relativeReleased = 0;
    SharedGuard held(sharedLock());
    blocks::dropChainBuffers(indexOf(slot));
    slot.chainBufferFreed = 0;
}

bool releaseQTabs(CiBoardHandle board, BufferSet &chain)
{
    if (chain.qtabs == nullptr) return true;
    // Every physical QTab goes before the first relative one. A release that
    // stopped on a refused record resumes at that record: the ones before it
    // are released already and must not be again.
    for (; chain.physicalReleased < chain.physicalCount; ++chain.physicalReleased)
        if (CiPhysQTabFree(board, &chain.qtabs[chain.physicalReleased]) != 0) return false;
    for (; chain.relativeReleased < chain.count; ++chain.relativeReleased)
        if (CiRelQTabFree(board, &chain.qtabs[chain.relativeReleased]) != 0) return false;
    return true;
}

int32_t releaseAcquisition(BoardSlot &slot, BufferSet &chain, Release how)
{
    const bool chainHeld = holdsChain(slot, chain);
    const bool destinationHeld = slot.destination != nullptr;
    if (how == Release::StoppingFirst) {
        if (chainHeld) CiConAqCommand(slot.board, CI_CMD_ABORT, kNoFlags);
        if (destinationHeld) stopDestination(slot);
    }
    if (chainHeld) {
        if (!releaseQTabs(slot.board, chain)) return BF_E_QTAB_FREE;
        releaseArrays(slot, chain);
        chain.count = 0;
    }
    if (slot.signalLive != 0) releaseSignal(slot);
    if (destinationHeld) forgetDestination(slot);
    if (chainHeld || destinationHeld || slot.destinationRegistered != 0) cleanUpEngine(slot);
    slot.chainActive = 0;
    return BF_OK;
}

}  // namespace qor
