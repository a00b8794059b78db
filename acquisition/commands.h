/*
 * What the capture and chain functions share: the commands of the SDK's two
 * command families, the choice between them, and the checks made before a
 * board is told to move frames.
 */
#ifndef QOR_ACQUISITION_COMMANDS_H
#define QOR_ACQUISITION_COMMANDS_H

#include <cstdint>
#include <optional>

#include "board/slots.h"
#include "cid.h"

namespace qor {

// Both kinds of acquisition run on the board's first engine.
constexpr uint32_t kEngine = 0;
constexpr uint32_t kNoFlags = 0;
// Trigger mode in which a snap starts the frame itself, read at open.
constexpr uint32_t kOneShotMode = 1;

// Modes of the single-destination family: starting frames, or halting them.
constexpr uint32_t kModeStart = 2;
constexpr uint32_t kModeHalt = 1;

inline bool waitSucceeded(int32_t result)
{
    // A wait ends normally with one frame (0) or with frames missed.
    return result == 0 || result == CI_WAIT_FRAMES_MISSED;
}

// The board may be told to move frames: a chain or a single destination is
// registered, and frames would not go into memory that BF_FreeBuffer has
// released since (the destination, or a buffer of the chain).
bool canAcquire(const BoardSlot &slot);

// Issues a command that starts capture (snap, grab) in the family in
// force, and returns the SDK's result; nothing when the single destination
// was released meanwhile by a BF_FreeBuffer on another slot. Both hold the
// shared lock, so that release's stop always follows a start it let pass.
std::optional<int32_t> startCapture(const BoardSlot &slot, uint32_t command);

// Issues `command` in the family of the acquisition in force: the chain's
// while chainActive is set (which takes no mode), else the single
// destination's with `mode`. Returns the SDK's result.
int32_t issueCommand(const BoardSlot &slot, uint32_t command, uint32_t mode);

// Gives the slot a live end-of-frame signal with an empty queue. One signal
// serves the slot: a live one is kept, as creating another over its record
// would leave the first one never freed.
void provideSignal(BoardSlot &slot);

// After a snap, fires the software trigger unless the board triggers on its
// own (mode 1) or the host has handed triggering to the external line.
void fireSoftwareTriggerIfNeeded(const BoardSlot &slot);

}  // namespace qor

#endif
