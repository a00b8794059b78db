/*
 * The page-aligned blocks BF_AllocBuffer has handed out and BF_FreeBuffer
 * has not yet released. BF_FreeBuffer releases whatever destination is
 * registered, so without this record a caller's own buffer, or a block
 * released once already, would go to the aligned release. The record's own
 * memory comes from the library's allocation table.
 */
#ifndef QOR_ACQUISITION_LIVE_BLOCKS_H
#define QOR_ACQUISITION_LIVE_BLOCKS_H

#include <cstddef>

namespace qor::liveBlocks {

// Every function is called with the shared lock held.

// Records a block just handed out; false when there is no memory to
// record it, and the block must not be handed out.
bool remember(void *block);
// Forgets `block`; true when it was live, and so is the caller's to release.
bool forget(void *block);
// How many blocks are live.
size_t count();

}  // namespace qor::liveBlocks

#endif
