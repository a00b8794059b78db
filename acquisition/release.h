/*
 * The one release path. Whatever a slot holds on its board (a chain's QTabs
 * and arrays, the end-of-frame signal, a single destination and its
 * registration) is released here, each step only if it is live, and every
 * teardown goes through it: BF_Cleanup, BF_BufferCleanup, BF_Setup and
 * BF_BufferSetup replacing the other kind of acquisition, BF_BufferSetup
 * unwinding a built chain, and BF_Close. A step the SDK refuses stays
 * recorded as held, so the next release resumes there and nothing is
 * forgotten while the board holds it.
 */
#ifndef QOR_ACQUISITION_RELEASE_H
#define QOR_ACQUISITION_RELEASE_H

#include <cstdint>

#include "board/slots.h"

namespace qor {

// How a release begins: as the partner calls do, or (closing) by first
// stopping capture into what it releases.
enum class Release { AsPartnerCall, StoppingFirst };

// Releases everything the slot holds, in this order: the chain's QTabs
// (all physical, then all relative) and arrays; the signal (cancelled, then
// freed); the destination record; the engine's registration
// (CiAqCleanUp). BF_E_QTAB_FREE when a QTab release is refused: the release
// stops there, with the chain still in force. Otherwise BF_OK, even when the
// signal's free or the engine's clean-up was refused: holdsNothing() tells.
int32_t releaseAcquisition(BoardSlot &slot, BufferSet &chain, Release how);

// Whether the slot's chain is in force, or its record still holds QTab arrays.
inline bool holdsChain(const BoardSlot &slot, const BufferSet &chain)
{
    return slot.chainActive != 0 || chain.qtabs != nullptr || chain.qtabPtrs != nullptr;
}

// Whether the slot has an acquisition of either kind, or a registration the
// board still holds.
inline bool holdsAcquisition(const BoardSlot &slot, const BufferSet &chain)
{
    return holdsChain(slot, chain) || slot.destination != nullptr ||
           slot.destinationRegistered != 0;
}

// Whether nothing at all is left on the board: no acquisition, no signal.
inline bool holdsNothing(const BoardSlot &slot, const BufferSet &chain)
{
    return !holdsAcquisition(slot, chain) && slot.signalLive == 0;
}

// The stop BF_Stop sends to a single destination: when it returns, nothing
// more is written into the destination.
void stopDestination(const BoardSlot &slot);

// CiAqCleanUp on the acquiring engine: ends capture and drops the
// destination registration and the engaged chain.
void cleanUpEngine(BoardSlot &slot);

// Releases the chain's QTabs: the physical ones, then the relative ones,
// each in record order. False when the SDK refuses one: the release stops
// there, and the records not yet released stay in `chain` for the next try,
// which resumes at the refused record.
bool releaseQTabs(CiBoardHandle board, BufferSet &chain);

// Releases both QTab arrays and forgets which records they held, where a
// stopped release had got to, and which blocks the chain wrote into.
void releaseArrays(BoardSlot &slot, BufferSet &chain);

}  // namespace qor

#endif
