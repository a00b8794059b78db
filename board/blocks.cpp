#include "board/blocks.h"

#include "board/allocator.h"

namespace qor::blocks {

namespace {

// A host holds a handful of blocks at most, so a list searched from the
// front is as fast as anything, and it allocates only through the table.
Block *head = nullptr;

}  // namespace

bool remember(void *address, size_t size)
{
    Block *block = static_cast<Block *>(allocator.allocate(sizeof(Block)));
    if (block == nullptr) return false;
    *block = Block{address, size, 0, 0, head};
    head = block;
    return true;
}

Block *find(const void *address)
{
    for (Block *block = head; block != nullptr; block = block->next)
        if (block->address == address) return block;
    return nullptr;
}

void forget(Block *block)
{
    for (Block **link = &head; *link != nullptr; link = &(*link)->next) {
        if (*link != block) continue;
        *link = block->next;
        allocator.release(block);
        return;
    }
}

void dropDestination(int32_t slot)
{
    for (Block *block = head; block != nullptr; block = block->next)
        block->destinationOf &= ~slotBit(slot);
}

void dropChainBuffers(int32_t slot)
{
    for (Block *block = head; block != nullptr; block = block->next)
        block->chainBufferOf &= ~slotBit(slot);
}

size_t count()
{
    size_t live = 0;
    for (const Block *block = head; block != nullptr; block = block->next) ++live;
    return live;
}

}  // namespace qor::blocks
