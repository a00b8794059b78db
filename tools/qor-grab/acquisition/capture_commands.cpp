#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "board_session.h"
#include "camera_losses.h"
#include "commands.h"
#include "destinations.h"
#include "frame_counter.h"
#include "frame_writer.h"
#include "hints.h"
#include "image_output.h"
#include "output_path.h"
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

// A wait's status; the hint is only made for a failure, not for every frame.
void checkWait(int32_t status, const char *function, const Options &options, WaitLimit limit)
{
    if (status != BF_OK) throw BfFailure(function, status, waitHint(options, limit));
}

// One frame by snap. The library fires the software trigger itself only
// while the external trigger is off, so with --trigger sw the snap is split:
// start it, trigger it, wait for it.
void snapOne(int32_t slot, const Options &options)
{
    if (options.trigger != TriggerChoice::Software) {
        checkWait(BF_GetFrame(slot), "BF_GetFrame", options, WaitLimit::BoardWaitTime);
        return;
    }
    uint32_t count = 0;
    check(BF_FastGetFrame(slot), "BF_FastGetFrame");
    fireSoftwareTrigger(slot);
    checkWait(BF_Wait4Frame(options.timeoutMs, slot, &count), "BF_Wait4Frame", options,
              WaitLimit::Timeout);
}

// The writer for --out, if given, sized for the run's frames.
std::unique_ptr<FrameWriter> openWriter(const Options &options, const FrameLayout &layout)
{
    const uint64_t frameBytes = uint64_t{layout.width} * layout.lines * layout.camera.bytesPerPixel;
    auto output = openImageOutput(options.out, options.format, options.samples, frameBytes * framesFor(options));
    if (!output) return nullptr;
    return std::make_unique<FrameWriter>(std::move(output),
                                         FrameWriter::queueFramesFor(layout.bufferBytes));
}

// Hands a frame to the writer, if there is one.
void offer(FrameWriter *writer, const FrameView &frame, uint64_t index)
{
    if (writer) writer->offer(frame, index);
}

RunSummary finishRun(Progress &progress, const FrameCounter &counter, FrameWriter *writer,
                     const BoardSession &board)
{
    RunSummary summary;
    summary.seconds = progress.finish();
    summary.frames = counter.received();
    summary.missedByHost = counter.missed();
    summary.lostByCamera = framesLostByCamera(familyTypeCode(board.family()), board.number());
    summary.overflowResets = overflowResets(board.slot());
    if (writer) {
        writer->finish();
        summary.unwritten = writer->dropped();
    }
    return summary;
}

}  // namespace

void runSnap(const Options &options)
{
    prepareOutputPath(options.out, options.overwrite);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    const auto writer = openWriter(options, layout);
    SingleDestination destination(board.slot(), layout);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames, progressWanted(options.progress));
    for (uint32_t i = 0; i < frames; ++i) {
        snapOne(board.slot(), options);
        // Every snap is a frame of its own: none can be missed between them.
        offer(writer.get(), layout.view(destination.data()), counter.advanceOne());
        progress.frameDone(counter.received());
    }
    const RunSummary summary = finishRun(progress, counter, writer.get(), board);
    destination.release();
    board.close();
    printSummary(stdout, summary);
}

void runGrab(const Options &options)
{
    prepareOutputPath(options.out, options.overwrite);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    const auto writer = openWriter(options, layout);
    SingleDestination destination(board.slot(), layout);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames, progressWanted(options.progress));
    GrabSession grab(board.slot(), false);
    for (uint32_t i = 0; i < frames; ++i) {
        if (options.trigger == TriggerChoice::Software) fireSoftwareTrigger(board.slot());
        uint32_t count = 0;
        checkWait(BF_Wait4Frame(options.timeoutMs, board.slot(), &count), "BF_Wait4Frame",
                  options, WaitLimit::Timeout);
        // The board goes on writing the same buffer: the writer copies the
        // frame out right after its end of frame.
        offer(writer.get(), layout.view(destination.data()), counter.advance(count));
        progress.frameDone(counter.received());
    }
    grab.stop();
    const RunSummary summary = finishRun(progress, counter, writer.get(), board);
    destination.release();
    board.close();
    printSummary(stdout, summary);
}

void runChain(const Options &options)
{
    prepareOutputPath(options.out, options.overwrite);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    const auto writer = openWriter(options, layout);
    BufferChain chain(board.slot(), layout, options.buffers);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames, progressWanted(options.progress));
    GrabSession grab(board.slot(), true);
    for (uint32_t i = 0; i < frames; ++i) {
        if (options.trigger == TriggerChoice::Software) fireSoftwareTrigger(board.slot());
        uint32_t count = 0;
        checkWait(BF_Wait(options.timeoutMs, board.slot(), kOneFrame, &count), "BF_Wait", options,
                  WaitLimit::Timeout);
        // The board fills the chain's buffers in turn from the first, so
        // frame n of the run is in buffer n mod K.
        const uint64_t index = counter.advance(count);
        offer(writer.get(), layout.view(chain.buffer(index % chain.size())), index);
        progress.frameDone(counter.received());
    }
    grab.stop();
    const RunSummary summary = finishRun(progress, counter, writer.get(), board);
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
