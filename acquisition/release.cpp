#include "acquisition/release.h"

#include "acquisition/commands.h"
#include "board/allocator.h"
#include "board/shared_lock.h"
#include "cid.h"

namespace qor {

void stopDestination(const BoardSlot &slot)
{
    CiAqCommand(slot.board, CI_CMD_STOP, kModeHalt, kEngine, kNoFlags);
}

void releaseSignal(BoardSlot &slot)
{
    CiSignalCancel(slot.board, &slot.signal);
    if (CiSignalFree(slot.board, &slot.signal) == 0) slot.signalLive = 0;
}

void cleanUpEngine(BoardSlot &slot)
{
    if (CiAqCleanUp(slot.board, static_cast<int32_t>(kEngine)) == 0)
        slot.destinationRegistered = 0;
}

void releaseDestination(BoardSlot &slot)
{
    releaseSignal(slot);
    {
        SharedGuard held(sharedLock());
        slot.destination = nullptr;
        slot.destinationFreed = 0;
    }
    cleanUpEngine(slot);
}

void releaseArrays(BufferSet &chain)
{
    allocator.release(chain.qtabs);
    allocator.release(chain.qtabPtrs);
    chain.qtabs = nullptr;
    chain.qtabPtrs = nullptr;
    chain.physicalCount = 0;
    chain.physicalReleased = 0;
    chain.relativeReleased = 0;
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

int32_t releaseChain(BoardSlot &slot, BufferSet &chain)
{
    if (!releaseQTabs(slot.board, chain)) return BF_E_QTAB_FREE;
    releaseArrays(chain);
    chain.count = 0;

    releaseSignal(slot);
    cleanUpEngine(slot);
    slot.chainActive = 0;
    return BF_OK;
}

}  // namespace qor
