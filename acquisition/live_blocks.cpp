#include "acquisition/live_blocks.h"

#include <new>
#include <unordered_set>

namespace qor::liveBlocks {

namespace {

// Function-local so it exists before any exported function can run.
std::unordered_set<void *> &blocks()
{
    static std::unordered_set<void *> live;
    return live;
}

}  // namespace

bool remember(void *block)
{
    try {
        blocks().insert(block);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool forget(void *block)
{
    return blocks().erase(block) != 0;
}

}  // namespace qor::liveBlocks
