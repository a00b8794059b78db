// Acquisition into a chain of the caller's buffers: one relative and one
// physical QTab per buffer, linked into a ring that the board fills in turn.
#include "acquisition/commands.h"
#include "acquisition/geometry.h"
#include "acquisition/release.h"
#include "bfd.h"
#include "board/allocator.h"
#include "board/blocks.h"
#include "board/shared_lock.h"
#include "board/slots.h"
#include "cid.h"

namespace {

constexpr uint32_t kChainedQTabMode = CI_AQ_MODE_CHAINED;

// The fixed part of each buffer's relative QTab: pixel format, LUT bank (no
// LUT: the slot's LUT state plays no part in a chain), direction, kind and
// flags.
constexpr uint32_t kQTabFormat = 3;
constexpr uint32_t kQTabLutBank = CI_LUT_BANK_NONE;
constexpr uint32_t kQTabDirection = 3;
constexpr uint32_t kQTabKind = 2;
constexpr uint32_t kQTabFlags = 0;
constexpr uint32_t kPhysicalQTabFlags = 0;

// Starts the engaged chain's DMA on engine 1.
constexpr uint32_t kDmaStart = CI_DMA_START;
constexpr uint32_t kDmaEngine = 1;
constexpr uint32_t kDmaParam = 0;

constexpr const char *kRelativeQTabFailed = "Error creating Relative Qtab";
constexpr const char *kPhysicalQTabFailed = "Error creating Physical Qtab\n";

// A set-up that fails while making its QTabs releases those it made:
// `physical` and `relative` leading records hold one of each kind. A
// release the SDK refuses stops the unwinding there, and what is still
// live stays recorded as a chain in force, which BF_BufferCleanup (or
// BF_Close) finishes releasing. The set-up answers `status` either way:
// its own failure is what the host needs to hear.
int32_t unwind(qor::BoardSlot &slot, qor::BufferSet &chain, int32_t physical, int32_t relative,
               int32_t status)
{
    chain.physicalCount = physical;
    chain.count = relative;
    if (!qor::releaseQTabs(slot.board, chain)) {
        slot.chainActive = 1;
        return status;
    }
    qor::releaseArrays(slot, chain);
    chain.count = 0;
    return status;
}

// Once linked, the chain is complete, so a later failure tears it down the
// way the host would: as a chain in force, with BF_BufferCleanup's
// releases, whose own status gives way to `status`. A release failing in
// that teardown leaves the chain in force for the host's next
// BF_BufferCleanup.
int32_t releaseBuiltChain(qor::BoardSlot &slot, qor::BufferSet &chain, int32_t bufferCount,
                          int32_t status)
{
    chain.count = bufferCount;
    chain.physicalCount = bufferCount;
    slot.chainActive = 1;
    qor::releaseAcquisition(slot, chain, qor::Release::AsPartnerCall);
    return status;
}

// Counts the buffers of the list that are live blocks from BF_AllocBuffer;
// false when one is smaller than a frame of `frameSize` bytes, which the
// board would write past.
bool blocksHoldFrames(void *const *buffers, int32_t count, uint32_t frameSize, int32_t &blocks)
{
    qor::SharedGuard held(qor::sharedLock());
    blocks = 0;
    for (int32_t i = 0; i < count; ++i) {
        const qor::blocks::Block *block = qor::blocks::find(buffers[i]);
        if (block == nullptr) continue;
        if (block->size < frameSize) return false;
        ++blocks;
    }
    return true;
}

// Records which live blocks the chain writes into, so BF_FreeBuffer stops
// it before releasing one. Fewer live blocks than the set-up counted means
// another slot released one meanwhile: the chain is marked as holding
// freed memory, and nothing captures into it.
void registerChainBuffers(qor::BoardSlot &slot, void *const *buffers, int32_t count,
                          int32_t blocksCounted)
{
    qor::SharedGuard held(qor::sharedLock());
    const qor::blocks::SlotSet bit = qor::blocks::slotBit(qor::indexOf(slot));
    int32_t blocks = 0;
    for (int32_t i = 0; i < count; ++i) {
        qor::blocks::Block *block = qor::blocks::find(buffers[i]);
        if (block == nullptr) continue;
        block->chainBufferOf |= bit;
        ++blocks;
    }
    slot.chainBufferFreed = blocks < blocksCounted ? 1 : 0;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_BufferSetup(void **buffers, uint32_t width, int32_t bufferCount,
                                           int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (buffers == nullptr) return BF_E_NULL_BUFFER_LIST;
    if (bufferCount < 1) return BF_E_BUFFER_COUNT;

    CiBoardHandle board = slot->board;
    qor::BufferSet &chain = qor::bufferSets[slotIndex];
    CiConAqMode(board, kChainedQTabMode);
    uint32_t lines = 0;
    uint32_t bytesPerPixel = 0;
    CiBrdInquire(board, CI_INQ_LINES, &lines);
    CiBrdInquire(board, CI_INQ_BYTES_PER_PIXEL, &bytesPerPixel);
    // Refused on its arguments, the set-up leaves the chain in force alone.
    if (bytesPerPixel == qor::kUnsupportedBytesPerPixel) return BF_E_BYTES_PER_PIXEL;
    const std::optional<qor::FrameGeometry> geometry =
        qor::frameGeometry(width, bytesPerPixel, lines);
    if (!geometry) return BF_E_REL_QTAB;
    int32_t blocks = 0;
    if (!blocksHoldFrames(buffers, bufferCount, geometry->size, blocks)) return BF_E_REL_QTAB;
    // One acquisition per slot: going ahead, it first releases what the slot
    // holds (an earlier chain as BF_BufferCleanup would, a single destination
    // as BF_Cleanup would), which would otherwise be lost or left writing.
    if (qor::holdsAcquisition(*slot, chain) &&
        (qor::releaseAcquisition(*slot, chain, qor::Release::AsPartnerCall) != BF_OK ||
         slot->destinationRegistered != 0))
        return BF_E_QTAB_FREE;
    chain.count = 0;
    CiCameraConfig camera = nullptr;
    CiBrdCamGetCur(board, &camera);

    const size_t records = static_cast<size_t>(bufferCount);
    chain.qtabs = static_cast<CiQTab *>(qor::allocator.allocate(records * sizeof(CiQTab)));
    if (chain.qtabs == nullptr) return BF_E_QTAB_MEMORY;
    chain.qtabPtrs = static_cast<CiQTab **>(qor::allocator.allocate(records * sizeof(CiQTab *)));
    if (chain.qtabPtrs == nullptr) {
        qor::releaseArrays(*slot, chain);
        return BF_E_QTAB_MEMORY;
    }
    chain.physicalCount = 0;
    chain.physicalReleased = 0;
    chain.relativeReleased = 0;
    registerChainBuffers(*slot, buffers, bufferCount, blocks);

    for (int32_t i = 0; i < bufferCount; ++i) {
        chain.qtabPtrs[i] = &chain.qtabs[i];
        const int32_t refused =
            CiRelQTabCreate(board, camera, buffers[i], geometry->size, geometry->stride,
                            chain.qtabPtrs[i], kQTabFormat, kQTabLutBank, kQTabDirection,
                            kQTabKind, kQTabFlags);
        if (refused != 0) {
            BFOutputDebugString(kRelativeQTabFailed);
            return unwind(*slot, chain, 0, i, BF_E_REL_QTAB);
        }
    }
    for (int32_t j = 0; j < bufferCount; ++j) {
        if (CiPhysQTabCreate(board, chain.qtabPtrs[j], kPhysicalQTabFlags) != 0) {
            BFOutputDebugString(kPhysicalQTabFailed);
            return unwind(*slot, chain, j, bufferCount, BF_E_PHYS_QTAB);
        }
    }
    if (CiPhysQTabChainLink(board, chain.qtabPtrs, static_cast<uint32_t>(bufferCount)) != 0)
        return unwind(*slot, chain, bufferCount, bufferCount, BF_E_CHAIN_LINK);

    qor::provideSignal(*slot);

    if (CiPhysQTabChainEngage(board, chain.qtabPtrs, qor::kEngine) != 0)
        return releaseBuiltChain(*slot, chain, bufferCount, BF_E_CHAIN_ENGAGE);
    if (CiConDMACommand(board, kDmaStart, kDmaEngine, kDmaParam, kDmaParam) != 0)
        return releaseBuiltChain(*slot, chain, bufferCount, BF_E_DMA_COMMAND);

    chain.count = bufferCount;
    chain.physicalCount = bufferCount;
    slot->chainActive = 1;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_BufferCleanup(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (slot->chainActive == 0) return BF_E_NO_CHAIN;

    return qor::releaseAcquisition(*slot, qor::bufferSets[slotIndex], qor::Release::AsPartnerCall);
}

extern "C" int32_t QOR_CALL BF_Wait(uint32_t timeout, int32_t slotIndex, int32_t wholeChain,
                                    uint32_t *countOut)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (wholeChain != 0 && slot->chainActive == 0) return BF_E_CHAIN_REQUIRED;
    // A signal never created, or cancelled and freed, is not the SDK's to
    // wait on any more.
    if (slot->signalLive == 0) return BF_E_NO_ACQUISITION;

    uint32_t scratch = 0;
    uint32_t *count = qor::outOr(countOut, scratch);
    if (!qor::waitSucceeded(CiSignalWait(slot->board, &slot->signal, timeout, count)))
        return BF_E_SIGNAL_WAIT;
    if (wholeChain == 0) return BF_OK;
    // One wait per buffer of the chain, each with the full time-out.
    for (int32_t k = 1; k < qor::bufferSets[slotIndex].count; ++k)
        if (!qor::waitSucceeded(CiSignalWait(slot->board, &slot->signal, timeout, count)))
            return BF_E_SIGNAL_WAIT;
    return BF_OK;
}
