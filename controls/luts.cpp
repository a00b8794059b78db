// Lookup tables and bit masks. Neither function applies anything itself:
// both record lutType/lutBank in the slot, and BF_Setup hands the pair to the
// board when it registers the next destination.
#include "board/slots.h"
#include "cid.h"

namespace {

// Bank 0 holds the table written here or chosen by the bit mask.
constexpr uint8_t kLutInUseBank = 0;
// Mask type with which the board says no masking LUT is needed.
constexpr uint8_t kMaskTypeNone = 3;
constexpr uint32_t kLutOffset = 0;

struct LutKind {
    uint8_t lutType;
    int32_t leastLength;
    uint8_t laneMask;  // bits 0..3: the lanes the table is written to
};

// Indexed by the host's kind: 12-bit and 15-bit tables over lanes 0 and 1,
// then 8-bit tables over all four lanes or one lane each.
constexpr LutKind kLutKinds[] = {
    {1, 0x1000, 0x3}, {2, 0x8000, 0x3}, {0, 0x100, 0xF}, {0, 0x100, 0x1},
    {0, 0x100, 0x2},  {0, 0x100, 0x4},  {0, 0x100, 0x8},
};
constexpr uint32_t kLutKindCount = sizeof kLutKinds / sizeof kLutKinds[0];

// Inquiry 3 of a model without LUT hardware. A failed inquiry leaves the
// preset 0, which lets the board itself refuse the table if it must.
bool hasNoLut(CiBoardHandle board)
{
    uint32_t model = 0;
    CiBrdInquire(board, CI_INQ_BOARD_MODEL, &model);
    return model == CI_MODEL_NO_LUT;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_LoadLUT(int32_t kind, void *entries, int32_t length,
                                       int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // The registered destination already carries the LUT pair it was set up with.
    if (slot->destination != nullptr) return BF_E_LUT_DESTINATION;
    if (hasNoLut(slot->board)) return BF_E_LUT_UNSUPPORTED;
    // Tested unsigned so that negative kinds fall outside the table too.
    if (static_cast<uint32_t>(kind) >= kLutKindCount) {
        qor::recordNoLut(*slot);
        return BF_E_LUT_KIND;
    }

    // A table too short is refused before anything is recorded: the next
    // set-up must not pass frames through a table that was never written.
    const LutKind &lut = kLutKinds[kind];
    if (length < lut.leastLength) return BF_E_LUT_TOO_SHORT;

    slot->lutType = lut.lutType;
    slot->lutBank = kLutInUseBank;
    if (CiLutWrite(slot->board, slot->lutType, slot->lutBank, lut.laneMask, kLutOffset, length,
                   entries) != 0) {
        slot->lutBank = qor::kNoLutBank;
        return BF_E_LUT_WRITE;
    }
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_MaskBits(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    // A failed inquiry leaves depth 0, for the board to accept or refuse.
    uint32_t depth = 0;
    CiBrdInquire(slot->board, CI_INQ_BIT_DEPTH, &depth);
    if (hasNoLut(slot->board)) return BF_E_MASK_UNSUPPORTED;

    uint8_t maskType = kMaskTypeNone;
    if (CiLutSetMask(slot->board, depth, &maskType) != 0) return BF_E_MASK_SET;

    if (maskType == kMaskTypeNone) {
        qor::recordNoLut(*slot);
    } else {
        slot->lutType = maskType;
        slot->lutBank = kLutInUseBank;
    }
    return BF_OK;
}
