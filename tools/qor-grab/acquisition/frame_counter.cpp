#include "frame_counter.h"

namespace qorgrab {

uint64_t FrameCounter::advance(uint32_t count)
{
    // A wait that succeeded saw at least its own frame, whatever was written.
    const uint64_t ended = count == 0 ? 1 : count;
    delivered_ += ended;
    missed_ += ended - 1;
    ++received_;
    return delivered_ - 1;
}

}  // namespace qorgrab
