/*
 * What the capture and chain functions share: the commands of the SDK's two
 * command families, the choice between them, and the checks made before a
 * board is told to move frames.
 */
#ifndef QOR_ACQUISITION_COMMANDS_H
#define QOR_ACQUISITION_COMMANDS_H

#include <cstdint>

#include "board/slots.h"

namespace qor {

// Command numbers, the same in both families.
constexpr uint32_t kCommandStop = 0;
constexpr uint32_t kCommandAbort = 1;
constexpr uint32_t kCommandSnap = 2;
constexpr uint32_t kCommandGrab = 3;
constexpr uint32_t kCommandReset = 5;

// Modes of the single-destination family: starting frames, or halting them.
constexpr uint32_t kModeStart = 2;
constexpr uint32_t kModeHalt = 1;

// CiSignalWait's two normal endings: one frame, or frames were missed.
constexpr int32_t kWaitOneFrame = 0;
constexpr int32_t kWaitFramesMissed = 0x10001;

// Signal kind of the board's end of frame.
constexpr uint32_t kEndOfFrameSignal = 4;

inline bool waitSucceeded(int32_t result)
{
    return result == kWaitOneFrame || result == kWaitFramesMissed;
}

// The board may be told to move frames: a chain or a single destination is
// registered, and frames would not go into a single destination that
// BF_FreeBuffer has released since it was registered.
bool canAcquire(const BoardSlot &slot);

// Issues `command` in the family of the acquisition in force: the chain's
// while chainActive is set (which takes no mode), else the single
// destination's with `mode`. Returns the SDK's result.
int32_t issueCommand(const BoardSlot &slot, uint32_t command, uint32_t mode);

// After a snap, fires the software trigger unless the board triggers on its
// own (mode 1) or the host has handed triggering to the external line.
void fireSoftwareTriggerIfNeeded(const BoardSlot &slot);

}  // namespace qor

#endif
