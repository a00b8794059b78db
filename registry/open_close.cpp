// Opening, describing and closing boards: the only functions that bring a
// board into a slot and take it out again. They sit above the acquisition
// layer because closing releases whatever the slot still holds through the
// one release path.
#include "acquisition/release.h"
#include "board/shared_lock.h"
#include "board/slots.h"
#include "bfd.h"
#include "cid.h"

namespace {

constexpr int32_t kNoSlot = -1;

// Board-type codes of the SDK. Every open asks for the count of each, in
// this order, whatever family it wants.
constexpr uint32_t kType16 = 16;
constexpr uint32_t kType32 = 32;
constexpr uint32_t kType64 = 64;
constexpr uint32_t kType208 = 208;
constexpr uint32_t kNoType = 0;

constexpr uint32_t kOpenMode = 65;
constexpr uint32_t kQTabMode = 1;
constexpr uint32_t kInterruptKind = 2;
constexpr uint32_t kInterruptEnable = 1;
// Inquiry 0x10003 is only worth keeping when it says 2.
constexpr uint32_t kCameraModeKept = 2;
constexpr uint32_t kCameraSelectMode = 1;

struct BoardCounts {
    uint32_t type16;
    uint32_t type32;
    uint32_t type64;
    uint32_t type208;
};

// Family 0 means type 208 only: a missing 208 board is not made up for by
// another family.
uint32_t chooseType(int32_t family, const BoardCounts &counts)
{
    if (family == BF_FAMILY_208 && counts.type208 != 0) return kType208;
    if (counts.type16 != 0 && family == BF_FAMILY_16) return kType16;
    if (counts.type32 != 0 && family == BF_FAMILY_32) return kType32;
    if (counts.type64 != 0 && family == BF_FAMILY_64) return kType64;
    return kNoType;
}

// With no board open, whatever earlier boards left in the slots is stale.
// Run with the shared lock held, and only while no open is under way.
// The records the SDK fills (entry, signal) and the values re-read at every
// open are left as they are; so are the chain records.
void resetSlotsForFirstOpen()
{
    const uint32_t slots = qor::slotCount < static_cast<uint32_t>(qor::kSlotTableSize)
                               ? qor::slotCount
                               : static_cast<uint32_t>(qor::kSlotTableSize);
    for (uint32_t i = 0; i < slots; ++i) {
        qor::BoardSlot &slot = qor::boardSlots[i];
        slot.destination = nullptr;
        slot.destinationFreed = 0;
        slot.chainBufferFreed = 0;
        slot.board = nullptr;
        slot.overflowResets = 0;
        slot.extTrigger = 0;
        slot.bufferAllocated = 0;
        slot.grabActive = 0;
        slot.chainActive = 0;
        qor::recordNoLut(slot);
    }
}

void resetIfNoBoardIsOpen()
{
    qor::SharedGuard held(qor::sharedLock());
    if (qor::openCount != 0) return;
    for (const qor::BoardSlot &slot : qor::boardSlots)
        if (slot.opening != 0) return;
    resetSlotsForFirstOpen();
}

// Takes the lowest slot that holds no board and that no other open is
// filling. Boards closed in the reverse order of opening leave this equal
// to the open count; closed out of order, it still never hands out a slot
// in use.
int32_t claimFreeSlot()
{
    qor::SharedGuard held(qor::sharedLock());
    for (int32_t i = 0; i < qor::kSlotTableSize; ++i) {
        qor::BoardSlot &slot = qor::boardSlots[i];
        if (slot.board != nullptr || slot.opening != 0) continue;
        slot.opening = 1;
        return i;
    }
    return kNoSlot;
}

// Ends the open of a claimed slot: with the board it opened, or with none.
void settleClaim(qor::BoardSlot &slot, CiBoardHandle board)
{
    qor::SharedGuard held(qor::sharedLock());
    slot.opening = 0;
    if (board == nullptr) return;
    slot.board = board;
    ++qor::openCount;
}

// A closed slot holds no acquisition: the release path has left nothing.
// What the first open resets (overflowResets, extTrigger, bufferAllocated)
// stays for a board opened into the slot while another board is open. The
// count and the handle change under the shared lock, as BF_Open reads them.
void forgetBoard(qor::BoardSlot &slot)
{
    qor::SharedGuard held(qor::sharedLock());
    --qor::openCount;
    slot.board = nullptr;
    slot.grabActive = 0;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_Open(void * /*reserved*/, uint32_t *bitDepthOut,
                                    uint32_t *bytesPerPixelOut, uint32_t *widthOut,
                                    uint32_t *linesOut, uint32_t boardNumber, int32_t family,
                                    int32_t *slotOut)
{
    qor::writeOut(slotOut, kNoSlot);
    resetIfNoBoardIsOpen();

    BoardCounts counts{};
    CiSysBrdEnum(kType16, &counts.type16);
    CiSysBrdEnum(kType32, &counts.type32);
    CiSysBrdEnum(kType64, &counts.type64);
    CiSysBrdEnum(kType208, &counts.type208);
    const uint32_t type = chooseType(family, counts);
    if (type == kNoType) return BF_E_NO_BOARD;

    const int32_t index = claimFreeSlot();
    if (index == kNoSlot) return BF_E_OPEN_FAILED;
    qor::BoardSlot &slot = qor::boardSlots[index];
    if (CiSysBrdFind(type, boardNumber, &slot.boardEntry) != 0) {
        settleClaim(slot, nullptr);
        return BF_E_NO_BOARD;
    }
    // Opened into a local: a refused open must not leave anything in the
    // slot's handle, which alone marks the slot as open.
    CiBoardHandle board = nullptr;
    if (CiBrdOpen(&slot.boardEntry, &board, kOpenMode) != 0) {
        settleClaim(slot, nullptr);
        return BF_E_OPEN_FAILED;
    }
    // A signal or registration left in the slot belonged to the board that
    // was here before.
    slot.signalLive = 0;
    slot.destinationRegistered = 0;

    uint32_t granted = 0;
    BFQTabModeRequest(board, kQTabMode, &granted);
    qor::recordNoLut(slot);
    CiConInt(board, kInterruptKind, kInterruptEnable);

    uint32_t scratch = 0;
    CiBrdInquire(board, CI_INQ_CAMERA_INFO, &slot.inq10007);
    CiBrdInquire(board, CI_INQ_BIT_DEPTH, qor::outOr(bitDepthOut, scratch));
    CiBrdInquire(board, CI_INQ_BYTES_PER_PIXEL, qor::outOr(bytesPerPixelOut, scratch));
    CiBrdInquire(board, CI_INQ_WIDTH, qor::outOr(widthOut, scratch));
    CiBrdInquire(board, CI_INQ_LINES, qor::outOr(linesOut, scratch));
    // A local, so an inquiry that writes nothing cannot keep a stale 2.
    uint32_t cameraMode = 0;
    CiBrdInquire(board, CI_INQ_CAMERA_MODE, &cameraMode);
    slot.inq10003 = cameraMode == kCameraModeKept ? cameraMode : 0;
    CiConVTrigModeGet(board, &slot.vtrigMode, &slot.vtrigParams[0], &slot.vtrigParams[1],
                      &slot.vtrigParams[2]);

    // Only now can other threads see the slot as open.
    settleClaim(slot, board);
    qor::writeOut(slotOut, index);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_ImageInfo(uint32_t *cameraInfoOut, uint32_t *bitDepthOut,
                                         uint32_t *bytesPerPixelOut, uint32_t *widthOut,
                                         uint32_t *linesOut, void **destinationOut,
                                         int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    qor::writeOut(destinationOut, slot->destination);
    // Asked afresh: a camera switch since the open changes the answers.
    uint32_t scratch = 0;
    CiBrdInquire(slot->board, CI_INQ_CAMERA_INFO, qor::outOr(cameraInfoOut, scratch));
    CiBrdInquire(slot->board, CI_INQ_BIT_DEPTH, qor::outOr(bitDepthOut, scratch));
    CiBrdInquire(slot->board, CI_INQ_BYTES_PER_PIXEL, qor::outOr(bytesPerPixelOut, scratch));
    CiBrdInquire(slot->board, CI_INQ_WIDTH, qor::outOr(widthOut, scratch));
    CiBrdInquire(slot->board, CI_INQ_LINES, qor::outOr(linesOut, scratch));
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_SelectCamera(uint32_t camera, int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // The destination was sized for the current camera; a chain's QTabs are
    // the caller's business, so a chain does not hold the camera back.
    if (slot->chainActive == 0 && slot->destination != nullptr) return BF_E_DESTINATION_ACTIVE;

    if (CiBrdCamSel(slot->board, camera, kCameraSelectMode) != 0) return BF_E_CAMERA_SELECT;
    CiBrdInquire(slot->board, CI_INQ_CAMERA_INFO, &slot->inq10007);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Close(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    // The board goes only once nothing is left on it; a release it refuses
    // keeps the slot open, with what is still held recorded, for the next try.
    qor::BufferSet &chain = qor::bufferSets[slotIndex];
    if (qor::releaseAcquisition(*slot, chain, qor::Release::StoppingFirst) != BF_OK ||
        !qor::holdsNothing(*slot, chain))
        return BF_E_CLOSE;
    if (CiBrdClose(slot->board) != 0) return BF_E_CLOSE;
    forgetBoard(*slot);
    return BF_OK;
}
