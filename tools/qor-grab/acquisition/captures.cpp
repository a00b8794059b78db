#include "captures.h"

#include <optional>

#include "bf_check.h"
#include "destinations.h"
#include "hints.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kFireTrigger1 = 1;
constexpr int32_t kLeaveTrigger2 = 0;
constexpr int32_t kOneFrame = 0;  // BF_Wait: wait for one end of frame, not the whole chain

void fireSoftwareTrigger(int32_t slot)
{
    check(BF_SetSWtrigger(kFireTrigger1, kLeaveTrigger2, slot), "BF_SetSWtrigger");
}

// A wait's status; the hint is only made for a failure, not for every frame.
void checkWait(int32_t status, const char *function, const Options &options, WaitLimit limit)
{
    if (status != BF_OK) throw BfFailure(function, status, waitHint(options, limit));
}

class SnapCapture : public Capture {
public:
    SnapCapture(int32_t slot, const FrameLayout &layout, const Options &options)
        : slot_(slot), options_(options), destination_(slot, layout)
    {
    }

    uint64_t next(FrameCounter &counter) override
    {
        snapOne();
        // Every snap is a frame of its own: none can be missed between them.
        return counter.advanceOne();
    }
    const uint8_t *frame(uint64_t) const override { return destination_.data(); }
    void release() override { destination_.release(); }

private:
    // The library fires the software trigger itself only while the external
    // trigger is off, so with --trigger sw the snap is split: start it,
    // trigger it, wait for it.
    void snapOne()
    {
        if (options_.trigger != TriggerChoice::Software) {
            checkWait(BF_GetFrame(slot_), "BF_GetFrame", options_, WaitLimit::BoardWaitTime);
            return;
        }
        uint32_t count = 0;
        check(BF_FastGetFrame(slot_), "BF_FastGetFrame");
        fireSoftwareTrigger(slot_);
        checkWait(BF_Wait4Frame(options_.timeoutMs, slot_, &count), "BF_Wait4Frame", options_,
                  WaitLimit::Timeout);
    }

    int32_t slot_;
    const Options &options_;
    SingleDestination destination_;
};

// What grab and chain share: a grab started and stopped, and a software
// trigger fired before each wait when asked for.
class StreamCapture : public Capture {
public:
    StreamCapture(int32_t slot, const Options &options, bool chained)
        : slot_(slot), options_(options), chained_(chained)
    {
    }

    void start() override { grab_.emplace(slot_, chained_); }
    uint64_t next(FrameCounter &counter) override
    {
        if (options_.trigger == TriggerChoice::Software) fireSoftwareTrigger(slot_);
        return counter.advance(waitForFrame());
    }
    void stop() override
    {
        if (grab_) grab_->stop();
    }

protected:
    // Stops a grab still running without a word (an error is on its way
    // out); the subclasses call it first thing in their destructors, as
    // their destination, destroyed before this class's members, must not
    // go while the board still writes into it.
    void endGrab() { grab_.reset(); }

    // Waits for one end of frame; gives the board's count of frames ended
    // since the previous wait.
    virtual uint32_t waitForFrame() = 0;

    int32_t slot_;
    const Options &options_;

private:
    bool chained_;
    std::optional<GrabSession> grab_;
};

class GrabCapture : public StreamCapture {
public:
    GrabCapture(int32_t slot, const FrameLayout &layout, const Options &options)
        : StreamCapture(slot, options, false), destination_(slot, layout)
    {
    }
    ~GrabCapture() override { endGrab(); }

    // The board goes on writing the same buffer: the writer copies the
    // frame out right after its end of frame.
    const uint8_t *frame(uint64_t) const override { return destination_.data(); }
    void release() override { destination_.release(); }

private:
    uint32_t waitForFrame() override
    {
        uint32_t count = 0;
        checkWait(BF_Wait4Frame(options_.timeoutMs, slot_, &count), "BF_Wait4Frame", options_,
                  WaitLimit::Timeout);
        return count;
    }

    SingleDestination destination_;
};

class ChainCapture : public StreamCapture {
public:
    ChainCapture(int32_t slot, const FrameLayout &layout, const Options &options)
        : StreamCapture(slot, options, true), chain_(slot, layout, options.buffers)
    {
    }
    ~ChainCapture() override { endGrab(); }

    // The board fills the chain's buffers in turn from the first, so frame
    // n of the run is in buffer n mod K.
    const uint8_t *frame(uint64_t index) const override
    {
        return chain_.buffer(index % chain_.size());
    }
    void release() override { chain_.release(); }

private:
    uint32_t waitForFrame() override
    {
        uint32_t count = 0;
        checkWait(BF_Wait(options_.timeoutMs, slot_, kOneFrame, &count), "BF_Wait", options_,
                  WaitLimit::Timeout);
        return count;
    }

    BufferChain chain_;
};

}  // namespace

std::unique_ptr<Capture> snapCapture(int32_t slot, const FrameLayout &layout,
                                     const Options &options)
{
    return std::make_unique<SnapCapture>(slot, layout, options);
}

std::unique_ptr<Capture> grabCapture(int32_t slot, const FrameLayout &layout,
                                     const Options &options)
{
    return std::make_unique<GrabCapture>(slot, layout, options);
}

std::unique_ptr<Capture> chainCapture(int32_t slot, const FrameLayout &layout,
                                      const Options &options)
{
    return std::make_unique<ChainCapture>(slot, layout, options);
}

}  // namespace qorgrab
