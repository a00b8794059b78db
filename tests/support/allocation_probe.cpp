#include "support/allocation_probe.h"

#include <atomic>

#include "board/allocator.h"

namespace qortest {

namespace {

// Atomics: the concurrency suite allocates from several threads at once.
std::atomic<int> gAllocations{0};
std::atomic<int> gFailAt{0};
std::atomic<int> gHeld{0};

void *take(void *(*allocate)(size_t), size_t bytes)
{
    const int nth = ++gAllocations;
    if (nth == gFailAt.load()) return nullptr;
    void *block = allocate(bytes);
    if (block != nullptr) ++gHeld;
    return block;
}

void give(void (*release)(void *), void *block)
{
    if (block != nullptr) --gHeld;
    release(block);
}

void *allocate(size_t bytes) { return take(qor::kSystemAllocator.allocate, bytes); }
void release(void *block) { give(qor::kSystemAllocator.release, block); }
void *allocatePages(size_t bytes) { return take(qor::kSystemAllocator.allocatePages, bytes); }
void releasePages(void *block) { give(qor::kSystemAllocator.releasePages, block); }

}  // namespace

AllocationProbe::AllocationProbe()
{
    gAllocations = 0;
    gFailAt = 0;
    gHeld = 0;
    qor::allocator = {allocate, release, allocatePages, releasePages};
}

AllocationProbe::~AllocationProbe()
{
    qor::allocator = qor::kSystemAllocator;
}

void AllocationProbe::failAt(int nth)
{
    gFailAt = nth == 0 ? 0 : gAllocations + nth;
}

int AllocationProbe::allocations() const
{
    return gAllocations;
}

int AllocationProbe::held() const
{
    return gHeld;
}

}  // namespace qortest
