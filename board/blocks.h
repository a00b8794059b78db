/*
 * The page-aligned blocks BF_AllocBuffer has handed out and BF_FreeBuffer
 * has not yet released, each with its size and the slots that registered
 * it: as their single destination, or as a buffer of their chain. A block
 * is known by its record, not by its address alone: once released, its
 * record ends, and a later block the allocator hands out at the same
 * address starts a record of its own that knows none of the old block's
 * slots, so a slot that registered the old one can never release the new
 * one. The records' own memory comes from the library's allocation table.
 */
#ifndef QOR_BOARD_BLOCKS_H
#define QOR_BOARD_BLOCKS_H

#include <cstddef>
#include <cstdint>

namespace qor::blocks {

// Every function is called with the shared lock held.

// A set of slots, one bit a slot index.
using SlotSet = uint32_t;

inline SlotSet slotBit(int32_t slot)
{
    return SlotSet{1} << slot;
}

struct Block {
    void *address;
    size_t size;
    SlotSet destinationOf;    // slots whose single destination it is
    SlotSet chainBufferOf;    // slots whose chain writes into it
    Block *next;
};

// Records a block just handed out; false when there is no memory to
// record it, and the block must not be handed out.
bool remember(void *address, size_t size);
// The live block at `address`, or null.
Block *find(const void *address);
// Ends a block's record, which the caller then releases.
void forget(Block *block);

// `slot` no longer registers any block as its destination, or as a buffer
// of its chain.
void dropDestination(int32_t slot);
void dropChainBuffers(int32_t slot);

// How many blocks are live.
size_t count();

}  // namespace qor::blocks

#endif
