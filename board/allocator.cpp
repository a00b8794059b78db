#include "board/allocator.h"

#include <cstdlib>

#include "board/platform.h"

namespace qor {

// Both constant-initialised, so they are in place before any call.
const Allocator kSystemAllocator{std::malloc, std::free, platform::alignedAlloc,
                                 platform::alignedFree};
Allocator allocator{std::malloc, std::free, platform::alignedAlloc, platform::alignedFree};

}  // namespace qor
