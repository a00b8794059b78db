#include "acquisition_setup.h"

#include <algorithm>
#include <limits>

#include "bf_check.h"
#include "hints.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kFrameEngine = 0;

// The LUT kinds by the pixel values they cover: 256 entries apply to every
// byte lane, 4096 and 32768 entries to 16-bit pixels.
struct LutKind {
    int32_t kind;
    uint32_t maxDepth;
    uint32_t entryBytes;
};
constexpr LutKind kLutKinds[] = {
    {2, 8, 1},   // 256 entries, all lanes
    {0, 12, 2},  // 4096 entries
    {1, 15, 2},  // 32768 entries
};

void applyWindow(const BoardSession &board, const Window &window)
{
    const int32_t status = BF_AqFrameSize(board.slot(), window.width, window.height, kFrameEngine);
    if (status == BF_E_FRAME_SIZE)
        throw BfFailure("BF_AqFrameSize", status, windowHint(window, board.imageInfo()));
    check(status, "BF_AqFrameSize");
}

void applyTrigger(int32_t slot, TriggerChoice trigger)
{
    if (trigger == TriggerChoice::Unchanged) return;
    // Software triggering also needs the board in its triggered mode, which
    // enabling the trigger sets; the frames then wait for BF_SetSWtrigger.
    int32_t enable = trigger == TriggerChoice::Off ? 0 : 1;
    check(BF_TriggerMode(&enable, slot), "BF_TriggerMode");
}

void applyLut(int32_t slot, LutChoice lut, uint32_t bitDepth)
{
    if (lut == LutChoice::Mask) {
        check(BF_MaskBits(slot), "BF_MaskBits");
    } else if (lut == LutChoice::Invert) {
        InvertingLut table = invertingLut(bitDepth);
        check(BF_LoadLUT(table.kind, table.entries.data(), table.length, slot), "BF_LoadLUT");
    }
}

FrameLayout layoutFor(const CameraGeometry &camera, const std::optional<Window> &window)
{
    FrameLayout layout;
    layout.camera = camera;
    layout.width = window ? window->width : camera.width;
    layout.lines = window ? window->height : camera.lines;
    const uint64_t stride = uint64_t{layout.width} * camera.bytesPerPixel;
    // The library sizes the destination by the camera's lines, whatever the
    // window; the buffer must hold both.
    const uint64_t bytes = stride * std::max(layout.lines, camera.lines);
    if (stride > std::numeric_limits<uint32_t>::max() ||
        bytes > uint64_t(std::numeric_limits<int32_t>::max()))
        throw ToolFailure("a frame of " + std::to_string(layout.width) + " x " +
                          std::to_string(layout.lines) + " pixels is too large to acquire");
    if (layout.width == 0 || layout.lines == 0 || camera.bytesPerPixel == 0)
        throw ToolFailure("the board reports an empty frame");
    layout.stride = static_cast<uint32_t>(stride);
    layout.bufferBytes = static_cast<size_t>(bytes);
    return layout;
}

}  // namespace

FrameView FrameLayout::view(const uint8_t *data) const
{
    return FrameView{data, width, lines, stride, camera.bytesPerPixel, camera.bitDepth};
}

InvertingLut invertingLut(uint32_t bitDepth)
{
    for (const LutKind &kind : kLutKinds) {
        if (bitDepth == 0 || bitDepth > kind.maxDepth) continue;
        const uint32_t length = 1u << (kind.entryBytes == 1 ? 8 : kind.maxDepth);
        const uint32_t maxValue = (1u << bitDepth) - 1;
        InvertingLut lut{kind.kind, {}, static_cast<int32_t>(length)};
        lut.entries.reserve(size_t{length} * kind.entryBytes);
        for (uint32_t i = 0; i < length; ++i) {
            const uint32_t inverted = maxValue - (i & maxValue);
            for (uint32_t b = 0; b < kind.entryBytes; ++b)
                lut.entries.push_back(static_cast<uint8_t>(inverted >> (8 * b)));
        }
        return lut;
    }
    throw ToolFailure("no lookup table kind covers a bit depth of " + std::to_string(bitDepth));
}

FrameLayout prepareAcquisition(BoardSession &board, const Options &options)
{
    const int32_t slot = board.slot();
    if (options.camera) board.selectCamera(*options.camera);
    if (options.window) applyWindow(board, *options.window);
    applyTrigger(slot, options.trigger);
    const CameraGeometry camera = board.imageInfo();
    applyLut(slot, options.lut, camera.bitDepth);
    return layoutFor(camera, options.window);
}

}  // namespace qorgrab
