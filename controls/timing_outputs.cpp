// Exposure timing generator, encoder divider and general-purpose outputs:
// thin pass-throughs that keep no state and leave every value's meaning to
// the board.
#include "board/slots.h"
#include "cid.h"

namespace {

// The divider call's trailing flags; no option is ever asked for.
constexpr uint32_t kEncoderDividerFlags = 0;
// Output lines are numbered from 1; only five bits of a line index exist.
constexpr uint32_t kOutputLineBits = 0x1F;

// The one-bit mask of output line `bitNumber`, counted from 1 and wrapping
// modulo 32 (line 0 is line 32). Done unsigned so no value can overflow.
uint32_t outputLineMask(int32_t bitNumber)
{
    const uint32_t index = (static_cast<uint32_t>(bitNumber) - 1u) & kOutputLineBits;
    return 1u << index;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_NTGSetup(int32_t slotIndex, double periodMs, double exposureMs,
                                        double delayMs, uint32_t mode, int32_t bitNumber)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    const uint32_t outputMask = outputLineMask(bitNumber);
    return CiConExposureControlSet(slot->board, periodMs, exposureMs, delayMs, mode, outputMask) == 0
               ? BF_OK
               : BF_E_NTG_SETUP;
}

extern "C" int32_t QOR_CALL BF_NTGEncDiv(int32_t slotIndex, uint32_t divider, uint32_t encoder,
                                         uint32_t bothEdges)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    return CiEncoderDividerSet(slot->board, divider, encoder, bothEdges, kEncoderDividerFlags) == 0
               ? BF_OK
               : BF_E_ENCODER_DIVIDER;
}

extern "C" int32_t QOR_CALL BF_GetGPOUT(int32_t slotIndex, uint32_t *levelsOut)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // The board writes the levels straight through the host's pointer, so a
    // null one cannot be handed on: the levels cannot be read into it.
    if (levelsOut == nullptr) return BF_E_GPOUT_GET;
    return CiRegGPOutGet(slot->board, levelsOut) == 0 ? BF_OK : BF_E_GPOUT_GET;
}

extern "C" int32_t QOR_CALL BF_SetGPOUT(int32_t slotIndex, uint32_t mask, uint32_t levels)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    return CiRegGPOutSet(slot->board, mask, levels) == 0 ? BF_OK : BF_E_GPOUT_SET;
}
