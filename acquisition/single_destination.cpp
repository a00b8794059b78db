// Single-destination acquisition: the caller's one buffer, registered with
// the board together with an end-of-frame signal.
#include "acquisition/commands.h"
#include "acquisition/geometry.h"
#include "acquisition/release.h"
#include "board/allocator.h"
#include "board/blocks.h"
#include "board/shared_lock.h"
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

// Ends every capture into `block`, about to be released, on every open
// board that registered it: a single destination gets the stop BF_Stop
// sends, a chain the abort, after which nothing more is written into it;
// capture into it is refused from then on. Run with the shared lock held,
// so no other slot starts capture into it meanwhile, nor closes its board
// under the stop. Another slot's owner may be in any call on its slot, so
// only the stop and the mark touch it.
void endCaptureEverywhere(const qor::blocks::Block &block)
{
    for (int32_t i = 0; i < qor::kSlotTableSize; ++i) {
        qor::BoardSlot *registered = qor::openSlot(i);
        if (registered == nullptr) continue;
        const qor::blocks::SlotSet bit = qor::blocks::slotBit(i);
        if ((block.destinationOf & bit) != 0) {
            qor::stopDestination(*registered);
            registered->destinationFreed = 1;
        }
        if ((block.chainBufferOf & bit) != 0) {
            CiConAqCommand(registered->board, CI_CMD_ABORT, qor::kNoFlags);
            registered->chainBufferFreed = 1;
        }
    }
}

bool rememberBlock(void *block, size_t size)
{
    qor::SharedGuard held(qor::sharedLock());
    return qor::blocks::remember(block, size);
}

// Whether `dest` is a live block from BF_AllocBuffer too small for a frame
// of `frameSize` bytes: the board would write past its end.
bool blockTooSmall(const void *dest, uint32_t frameSize, bool &isBlock)
{
    qor::SharedGuard held(qor::sharedLock());
    const qor::blocks::Block *block = qor::blocks::find(dest);
    isBlock = block != nullptr;
    return isBlock && block->size < frameSize;
}

// Records `dest` as the slot's destination, in place of the one before.
// A block that was live when the set-up checked it and has been released
// since by another slot is recorded as freed: nothing captures into it.
void recordDestination(qor::BoardSlot &slot, void *dest, bool wasBlock)
{
    qor::SharedGuard held(qor::sharedLock());
    const int32_t index = qor::indexOf(slot);
    qor::blocks::dropDestination(index);
    qor::blocks::Block *block = qor::blocks::find(dest);
    if (block != nullptr) block->destinationOf |= qor::blocks::slotBit(index);
    slot.destination = dest;
    slot.destinationFreed = wasBlock && block == nullptr ? 1 : 0;
}

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
    if (block != nullptr && !rememberBlock(block, static_cast<size_t>(size))) {
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

    // The block released is the registered destination, if this library
    // handed it out and this slot registered that very block; anything
    // else (the caller's own buffer, a block released once already, a later
    // block at a freed one's address) stays with its owner.
    void *address = slot->destination;
    {
        qor::SharedGuard held(qor::sharedLock());
        qor::blocks::Block *block = qor::blocks::find(address);
        if (block == nullptr || (block->destinationOf & qor::blocks::slotBit(slotIndex)) == 0)
            return BF_OK;
        // `destination` stays set so BF_Cleanup can still forget it.
        endCaptureEverywhere(*block);
        qor::blocks::forget(block);
    }
    slot->bufferAllocated = 0;
    // This board also lets go of the memory; a slot with a destination has
    // no chain in force.
    qor::cleanUpEngine(*slot);
    qor::allocator.releasePages(address);
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
    bool isBlock = false;
    if (blockTooSmall(dest, geometry->size, isBlock)) return BF_E_ACQ_SETUP;

    // One acquisition per slot: a chain in force goes first, as
    // BF_BufferCleanup would release it.
    qor::BufferSet &chain = qor::bufferSets[slotIndex];
    if (qor::holdsChain(*slot, chain) &&
        qor::releaseAcquisition(*slot, chain, qor::Release::AsPartnerCall) != BF_OK)
        return BF_E_QTAB_FREE;

    // Recorded only once the board took it: a refused set-up leaves the
    // board's earlier destination, and whatever runs into it, in the slot
    // for BF_Stop and BF_Cleanup.
    const int32_t refused =
        CiAqSetup(slot->board, dest, geometry->size, static_cast<int32_t>(geometry->stride),
                  kDestinationFormat, slot->lutBank, slot->lutType, kDestinationOptions,
                  kDestinationFrames, kDestinationMode, kDestinationFlags);
    if (refused != 0) return BF_E_ACQ_SETUP;
    recordDestination(*slot, dest, isBlock);
    slot->destinationRegistered = 1;

    qor::provideSignal(*slot);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Cleanup(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (slot->destination == nullptr) return BF_E_NO_ACQUISITION;
    if (slot->chainActive != 0) return BF_E_CHAIN_ACTIVE;

    // What the board refuses here stays recorded for the next release.
    qor::releaseAcquisition(*slot, qor::bufferSets[slotIndex], qor::Release::AsPartnerCall);
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
    if (CiAqCleanUp(slot->board, engine) == 0 && engine <= static_cast<int32_t>(qor::kEngine))
        slot->destinationRegistered = 0;
    if (CiAqFrameSize(slot->board, xSize, ySize, engine) != 0) return BF_E_FRAME_SIZE;
    return BF_OK;
}
