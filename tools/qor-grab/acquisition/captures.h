// The ways the acquisition commands take their frames, each the pieces
// that differ within the one run loop: the destination registered, how the
// next frame is waited for, and where it then lies.
#ifndef QOR_GRAB_CAPTURES_H
#define QOR_GRAB_CAPTURES_H

#include <cstdint>
#include <memory>

#include "acquisition_setup.h"
#include "cli_options.h"
#include "frame_counter.h"

namespace qorgrab {

// Registers its destination when made, and releases what release() was not
// reached for when destroyed. `options` must outlive it.
class Capture {
public:
    virtual ~Capture() = default;
    // Starts the board acquiring, where frames do not come one by one.
    virtual void start() {}
    // Waits for the next frame, counts it (and any missed before it) in
    // `counter`, and gives its index in the run.
    virtual uint64_t next(FrameCounter &counter) = 0;
    // Where the frame next() gave `index` for lies.
    virtual const uint8_t *frame(uint64_t index) const = 0;
    // Stops what start() started; throws on a failing status.
    virtual void stop() {}
    // Hands the destination back; throws on a failing status.
    virtual void release() = 0;
};

// snap: one frame at a time into one destination.
std::unique_ptr<Capture> snapCapture(int32_t slot, const FrameLayout &layout,
                                     const Options &options);
// grab: continuously into one destination.
std::unique_ptr<Capture> grabCapture(int32_t slot, const FrameLayout &layout,
                                     const Options &options);
// chain: continuously into --buffers buffers filled in turn.
std::unique_ptr<Capture> chainCapture(int32_t slot, const FrameLayout &layout,
                                      const Options &options);

}  // namespace qorgrab

#endif
