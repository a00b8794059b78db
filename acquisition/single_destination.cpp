// Single-destination acquisition: the caller's one buffer, registered with
// the board together with an end-of-frame signal.
#include "acquisition/commands.h"
#include "acquisition/geometry.h"
#include "acquisition/live_blocks.h"
#include "board/allocator.h"
#include "board/slots.h"
#include "cid.h"

namespace {

constexpr int32_t kHighestEngine = 1;

// The fixed part of a destination's registration: pixel format, option
// byte, frames, acquisition mode and flags.
constexpr uint32_t kDestinationFormat = 3;
constexpr uint8_t kDestinationOptions = 0;
constexpr uint32_t kDestinationFrames = 1;
constexpr uint32_t kDestinationMode = 1;
constexpr uint32_t kDestinationFlags = 0;

}  // namespace

extern "C" int32_t QOR_CALL BF_AllocBuffer(int32_t *sizeIn, void **bufferOut, int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // Nothing to allocate without a positive size, and a block with nowhere
    // to go could never be released.
    const int32_t size = sizeIn != nullptr ? *sizeIn : 0;
    if (size <= 0 || bufferOut == nullptr) {
        qor::writeOut(bufferOut, static_cast<void *>(nullptr));
        return BF_E_ALLOC_FAILED;
    }

    void *block = qor::allocator.allocatePages(static_cast<size_t>(size));
    if (block != nullptr && !qor::liveBlocks::remember(block)) {
        qor::allocator.releasePages(block);
        block = nullptr;
    }
    *bufferOut = block;
    if (block == nullptr) return BF_E_ALLOC_FAILED;

    slot->bufferAllocated = 1;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_FreeBuffer(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (slot->bufferAllocated == 0) return BF_OK;

    slot->bufferAllocated = 0;
    // The block released is the registered destination. Anything this
    // library did not hand out, or has released already, stays with the
    // caller.
    void *block = slot->destination;
    if (!qor::liveBlocks::forget(block)) return BF_OK;
    qor::allocator.releasePages(block);
    // `destination` stays set so BF_Cleanup can still forget it, but no
    // board that registered this block may be told to write into it again.
    for (qor::BoardSlot &registered : qor::boardSlots)
        if (registered.destination == block) registered.destinationFreed = 1;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Setup(void *dest, uint32_t width, int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (dest == nullptr) return BF_E_NULL_DESTINATION;

    uint32_t lines = 0;
    uint32_t bytesPerPixel = 0;
    CiBrdInquire(slot->board, CI_INQ_LINES, &lines);
    CiBrdInquire(slot->board, CI_INQ_BYTES_PER_PIXEL, &bytesPerPixel);
    if (bytesPerPixel == qor::kUnsupportedBytesPerPixel) return BF_E_BYTES_PER_PIXEL;
    const std::optional<qor::FrameGeometry> geometry =
        qor::frameGeometry(width, bytesPerPixel, lines);
    if (!geometry) return BF_E_ACQ_SETUP;

    slot->destination = dest;
    slot->destinationFreed = 0;
    const int32_t refused =
        CiAqSetup(slot->board, dest, geometry->size, static_cast<int32_t>(geometry->stride),
                  kDestinationFormat, slot->lutBank, slot->lutType, kDestinationOptions,
                  kDestinationFrames, kDestinationMode, kDestinationFlags);
    if (refused != 0) {
        slot->destination = nullptr;
        return BF_E_ACQ_SETUP;
    }

    // A second set-up creates the signal again over the first one's record.
    if (CiSignalCreate(slot->board, CI_SIGNAL_END_OF_FRAME, &slot->signal) == 0)
        slot->signalLive = 1;
    CiSignalQueueClear(slot->board, &slot->signal);
    // A chain still in force is only set aside, not released.
    slot->chainActive = 0;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Cleanup(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (slot->destination == nullptr) return BF_E_NO_ACQUISITION;
    if (slot->chainActive != 0) return BF_E_CHAIN_ACTIVE;

    CiSignalCancel(slot->board, &slot->signal);
    CiSignalFree(slot->board, &slot->signal);
    slot->signalLive = 0;
    slot->destination = nullptr;
    slot->destinationFreed = 0;
    CiAqCleanUp(slot->board, qor::kEngine);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_AqFrameSize(int32_t slotIndex, uint32_t xSize, uint32_t ySize,
                                           int32_t engine)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (engine > kHighestEngine) return BF_E_ENGINE;

    // The engine's acquisition is dropped before resizing; the slot still
    // records it, and the caller registers it again with BF_Setup.
    CiAqCleanUp(slot->board, engine);
    if (CiAqFrameSize(slot->board, xSize, ySize, engine) != 0) return BF_E_FRAME_SIZE;
    return BF_OK;
}
