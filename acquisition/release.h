/*
 * Releasing what a slot holds on its board, shared by the partner calls
 * (BF_Cleanup, BF_BufferCleanup), by BF_BufferSetup when it replaces a
 * chain or unwinds a failed one, by BF_FreeBuffer when it takes a
 * destination away, and by BF_Close. A release the SDK refuses stays
 * recorded as held, so a later call can try it again and nothing is
 * forgotten while the board holds it.
 */
#ifndef QOR_ACQUISITION_RELEASE_H
#define QOR_ACQUISITION_RELEASE_H

#include <cstdint>

#include "board/slots.h"

namespace qor {

// The stop BF_Stop sends to a single destination: when it returns, nothing
// more is written into the destination.
void stopDestination(const BoardSlot &slot);

// Cancels any wait on the slot's signal and frees it.
void releaseSignal(BoardSlot &slot);

// CiAqCleanUp on the acquiring engine: ends capture and drops the
// destination registration and the engaged chain.
void cleanUpEngine(BoardSlot &slot);

// BF_Cleanup's releases: the signal, the destination, the engine.
void releaseDestination(BoardSlot &slot);

// Releases the chain's QTabs: the physical ones, then the relative ones,
// each in record order. False when the SDK refuses one: the release stops
// there, and the records not yet released stay in `chain` for the next try,
// which resumes at the refused record.
bool releaseQTabs(CiBoardHandle board, BufferSet &chain);

// BF_BufferCleanup's releases: the QTabs, the arrays, the signal, the
// engine. BF_E_QTAB_FREE when a QTab release is refused: the chain stays
// held for the next call.
int32_t releaseChain(BoardSlot &slot, BufferSet &chain);

// Whether the slot's chain record still holds QTab arrays.
inline bool holdsChain(const BoardSlot &slot, const BufferSet &chain)
{
    return slot.chainActive != 0 || chain.qtabs != nullptr || chain.qtabPtrs != nullptr;
}

// Releases both QTab arrays and forgets which records they held and where a
// stopped release had got to.
void releaseArrays(BufferSet &chain);

}  // namespace qor

#endif
