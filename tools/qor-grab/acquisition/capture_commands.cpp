#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "acquisition_setup.h"
#include "bf_check.h"
#include "board_session.h"
#include "camera_losses.h"
#include "captures.h"
#include "commands.h"
#include "destinations.h"
#include "frame_counter.h"
#include "frame_writer.h"
#include "image_output.h"
#include "output_path.h"
#include "progress.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

using MakeCapture = std::unique_ptr<Capture> (*)(int32_t slot, const FrameLayout &layout,
                                                 const Options &options);

uint32_t overflowResets(int32_t slot)
{
    uint32_t resets = 0, status = 0, frameCount = 0;
    int32_t zero = 0;
    check(BF_Status(&resets, &status, &zero, &frameCount, slot), "BF_Status");
    return resets;
}

// The writer for --out, if given, sized for the run's frames.
std::unique_ptr<FrameWriter> openWriter(const Options &options, const FrameLayout &layout)
{
    const uint64_t frameBytes = uint64_t{layout.width} * layout.lines * layout.camera.bytesPerPixel;
    auto output = openImageOutput(options.out, options.format, options.samples,
                                  frameBytes * framesFor(options));
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

// The run loop of every acquisition command; `makeCapture` gives the
// command's own way of taking frames.
void runCapture(const Options &options, MakeCapture makeCapture)
{
    prepareOutputPath(options.out, options.overwrite);
    BoardSession board(options.family, options.board);
    const FrameLayout layout = prepareAcquisition(board, options);
    const auto writer = openWriter(options, layout);
    const auto capture = makeCapture(board.slot(), layout, options);

    const uint32_t frames = framesFor(options);
    FrameCounter counter;
    Progress progress(frames, progressWanted(options.progress));
    capture->start();
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t index = capture->next(counter);
        offer(writer.get(), layout.view(capture->frame(index)), index);
        progress.frameDone(counter.received());
    }
    capture->stop();
    const RunSummary summary = finishRun(progress, counter, writer.get(), board);
    capture->release();
    board.close();
    printSummary(stdout, summary);
}

}  // namespace

void runSnap(const Options &options)
{
    runCapture(options, snapCapture);
}

void runGrab(const Options &options)
{
    runCapture(options, grabCapture);
}

void runChain(const Options &options)
{
    runCapture(options, chainCapture);
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
