#include "acquisition/commands.h"

#include "board/shared_lock.h"
#include "cid.h"

namespace qor {

namespace {

// With the shared lock held: the freed marks may be set from another slot.
bool canAcquireLocked(const BoardSlot &slot)
{
    if (slot.chainActive != 0) return slot.chainBufferFreed == 0;
    return slot.destination != nullptr && slot.destinationFreed == 0;
}

}  // namespace

bool canAcquire(const BoardSlot &slot)
{
    SharedGuard held(sharedLock());
    return canAcquireLocked(slot);
}

std::optional<int32_t> startCapture(const BoardSlot &slot, uint32_t command)
{
    SharedGuard held(sharedLock());
    if (!canAcquireLocked(slot)) return std::nullopt;
    return issueCommand(slot, command, kModeStart);
}

int32_t issueCommand(const BoardSlot &slot, uint32_t command, uint32_t mode)
{
    if (slot.chainActive != 0) return CiConAqCommand(slot.board, command, kNoFlags);
    return CiAqCommand(slot.board, command, mode, kEngine, kNoFlags);
}

void provideSignal(BoardSlot &slot)
{
    if (slot.signalLive == 0 &&
        CiSignalCreate(slot.board, CI_SIGNAL_END_OF_FRAME, &slot.signal) == 0)
        slot.signalLive = 1;
    // A signal the board refused to create has no queue to clear.
    if (slot.signalLive != 0) CiSignalQueueClear(slot.board, &slot.signal);
}

void fireSoftwareTriggerIfNeeded(const BoardSlot &slot)
{
    if (slot.vtrigMode == kOneShotMode || slot.extTrigger != 0) return;
    // A trigger with no frame waiting is dropped by the board; nothing to report.
    CiConSwTrig(slot.board, CI_SWTRIG_1, CI_SWTRIG_FIRE);
}

}  // namespace qor
