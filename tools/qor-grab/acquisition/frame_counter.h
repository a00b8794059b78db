// Keeps track of which frame of the run each end of frame belongs to.
#ifndef QOR_GRAB_FRAME_COUNTER_H
#define QOR_GRAB_FRAME_COUNTER_H

#include <cstdint>

namespace qorgrab {

class FrameCounter {
public:
    // A successful wait that wrote `count`, the board's count of frames
    // ended since the previous wait: more than one means the ones before the
    // last were missed. Returns the run's index (from 0) of the frame now in
    // the buffer.
    uint64_t advance(uint32_t count);
    // A frame that is known to be the only one since the last (a snap).
    uint64_t advanceOne() { return advance(1); }

    uint64_t received() const { return received_; }
    uint64_t missed() const { return missed_; }

private:
    uint64_t delivered_ = 0;  // frames the board ended, received or not
    uint64_t received_ = 0;
    uint64_t missed_ = 0;
};

}  // namespace qorgrab

#endif
