#include <cstring>
#include <vector>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "board_session.h"
#include "commands.h"
#include "destinations.h"
#include "frame_counter.h"
#include "frame_sink.h"
#include "progress.h"
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

uint32_t overflowResets(int32_t slot)
{
    uint32_t resets = 0, status = 0, frameCount = 0;
    int32_t zero = 0;
    check(BF_Status(&resets, &status, &zero, &frameCount, slot), "BF_Status");
    return resets;
}

// One frame by snap. The library fires the software trigger itself only
// while the external trigger is off, so with --trigger sw the snap is split:
// start it, trigger it, wait for it.
void snapOne(int32_t slot, const Options &options)
{
    if (options.trigger != TriggerChoice::Software) {
        check(BF_GetFrame(slot), "BF_GetFrame");
        return;
    }
    uint32_t count = 0;
    check(BF_FastGetFrame(slot), "BF_FastGetFrame");
    fireSoftwareTrigger(slot);
    check(BF_Wait4Frame(options.timeoutMs, slot, &count), "BF_Wait4Frame");
}

RunSummary finishRun(Progress &progress, const FrameCounter &counter, int32_t slot)
{
    RunSummary summary;
    summary.seconds = progress.finish();
    summary.frames = counter.received();
    summary.missed = counter.missed();
    summary.overflowResets = overflowResets(slot);
    return summary;
}

}  // namespace

void runSnap(const Options &options)
{
    const FrameSink sink(options.outDir);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    SingleDestination destination(board.slot(), layout);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        snapOne(board.slot(), options);
        // Every snap is a frame of its own: none can be missed between them.
        sink.put(counter.advanceOne(), layout.view(destination.data()));
        progress.frameDone(counter.received());
    }
    const RunSummary summary = finishRun(progress, counter, board.slot());
    destination.release();
    board.close();
    printSummary(stdout, summary);
}

void runGrab(const Options &options)
{
    const FrameSink sink(options.outDir);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    SingleDestination destination(board.slot(), layout);
    // The board goes on writing the same buffer, so a frame is copied out
    // right after its end of frame and written from the copy.
    std::vector<uint8_t> copy(sink.writes() ? layout.bufferBytes : 0);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames);
    GrabSession grab(board.slot(), false);
    for (uint32_t i = 0; i < frames; ++i) {
        if (options.trigger == TriggerChoice::Software) fireSoftwareTrigger(board.slot());
        uint32_t count = 0;
        check(BF_Wait4Frame(options.timeoutMs, board.slot(), &count), "BF_Wait4Frame");
        const uint64_t index = counter.advance(count);
        if (sink.writes()) {
            std::memcpy(copy.data(), destination.data(), copy.size());
            sink.put(index, layout.view(copy.data()));
        }
        progress.frameDone(counter.received());
    }
    grab.stop();
    const RunSummary summary = finishRun(progress, counter, board.slot());
    destination.release();
    board.close();
    printSummary(stdout, summary);
}

void runChain(const Options &options)
{
    const FrameSink sink(options.outDir);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    BufferChain chain(board.slot(), layout, options.buffers);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames);
    GrabSession grab(board.slot(), true);
    for (uint32_t i = 0; i < frames; ++i) {
        if (options.trigger == TriggerChoice::Software) fireSoftwareTrigger(board.slot());
        uint32_t count = 0;
        check(BF_Wait(options.timeoutMs, board.slot(), kOneFrame, &count), "BF_Wait");
        // The board fills the chain's buffers in turn from the first, so
        // frame n of the run is in buffer n mod K.
        const uint64_t index = counter.advance(count);
        sink.put(index, layout.view(chain.buffer(index % chain.size())));
        progress.frameDone(counter.received());
    }
    grab.stop();
    const RunSummary summary = finishRun(progress, counter, board.slot());
    chain.release();
    board.close();
    printSummary(stdout, summary);
}

void runReset(const Options &options)
{
    // A board resets the acquisition it has: register one to reset.
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    SingleDestination destination(board.slot(), layout);
    check(BF_ResetAcquisition(board.slot()), "BF_ResetAcquisition");
    std::printf("acquisition reset\n");
    destination.release();
    board.close();
}

}  // namespace qorgrab
