/*
 * The library's whole state: the board slot table, the buffer-chain table
 * parallel to it, and the count of open boards. Every exported function but
 * BF_Open starts with openSlot().
 */
#ifndef QOR_BOARD_SLOTS_H
#define QOR_BOARD_SLOTS_H

#include <cstdint>

#include "cid.h"
#include "qor_bitflow.h"
#include "sdk_types.h"

namespace qor {

constexpr int32_t kSlotTableSize = 10;
// The "no LUT" bank; bank 0 is the LUT written by BF_LoadLUT or BF_MaskBits.
constexpr uint8_t kNoLutBank = CI_LUT_BANK_NONE;

struct BoardSlot {
    void *destination;          // single destination registered by BF_Setup
    CiBoardEntry boardEntry;    // filled by CiSysBrdFind
    CiBoardHandle board;        // null: no open board
    uint32_t inq10007;
    uint32_t overflowResets;    // survives close; reset only by the first open
    int32_t extTrigger;
    int32_t bufferAllocated;
    int32_t grabActive;
    uint8_t lutType;
    uint8_t lutBank;            // 4 (no LUT) or 0
    uint32_t vtrigMode;         // trigger mode read at open
    uint32_t vtrigParams[3];
    CiSignal signal;            // end-of-frame signal of either kind of acquisition
    uint32_t inq10003;          // 2, or 0 for any other answer
    int32_t chainActive;        // a buffer chain is in force
    // Not part of the slot's published layout:
    // - whether `signal` has been created and not yet freed, so it is
    //   neither waited on nor released once it is gone;
    // - whether BF_FreeBuffer (on this slot or another) released the
    //   registered destination, or a buffer of the chain in force, so that
    //   nothing starts capture into freed memory;
    // - whether the board still holds a destination registration that
    //   CiAqCleanUp has not dropped, so the next release drops it;
    // - whether a BF_Open on some thread is opening a board into this slot,
    //   so no other open chooses it.
    int32_t signalLive;
    int32_t destinationFreed;
    int32_t chainBufferFreed;
    int32_t destinationRegistered;
    int32_t opening;
};

struct BufferSet {
    CiQTab *qtabs;
    CiQTab **qtabPtrs;
    int32_t count;
    // Not part of the published layout: how many leading records hold a
    // physical QTab (`count` once the chain is built, fewer when a set-up
    // stopped while making them); and how many leading records a release
    // that stopped on a refused one had already released (physical,
    // relative), so the next one resumes there instead of releasing those
    // records a second time.
    int32_t physicalCount;
    int32_t physicalReleased;
    int32_t relativeReleased;
};

extern int32_t openCount;
extern uint32_t slotCount;
extern BoardSlot boardSlots[kSlotTableSize];
extern BufferSet bufferSets[kSlotTableSize];

// The slot of an index whose board is open, or null: the check every
// exported function but BF_Open makes first (answering BF_E_SLOT_NOT_OPEN).
// Indexes outside the table are refused before the table is read.
BoardSlot *openSlot(int32_t index);

// The index of a slot of the table.
inline int32_t indexOf(const BoardSlot &slot)
{
    return static_cast<int32_t>(&slot - boardSlots);
}

// Records that no LUT is in use: type 0 in the no-LUT bank, the pair the
// next set-up hands to the board.
inline void recordNoLut(BoardSlot &slot)
{
    slot.lutType = 0;
    slot.lutBank = kNoLutBank;
}

// Writes `value` through `out` unless the caller passed null.
template <class T> inline void writeOut(T *out, T value)
{
    if (out != nullptr) *out = value;
}

// Where the SDK is to write an output the caller asked for: the caller's
// pointer, or `scratch` when the caller passed null, so the SDK is never
// handed a null output.
template <class T> inline T *outOr(T *out, T &scratch)
{
    return out != nullptr ? out : &scratch;
}

}  // namespace qor

#endif
