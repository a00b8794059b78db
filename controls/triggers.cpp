// External and software triggers. The only state kept is the slot's
// extTrigger flag, which the capture functions consult before they fire a
// software trigger of their own.
#include "board/platform.h"
#include "board/slots.h"
#include "cid.h"
#include "bfd.h"
#include "user32.h"

namespace {

// The mode an enabled external trigger needs, with its parameters. Boards
// opened in mode 2 or 6 already take external triggers as they are.
constexpr uint32_t kExternalTriggerMode = CI_TRIG_TRIGGERED_ALT;
constexpr uint32_t kExternalTriggerParams[3] = {CI_TRIG_PARAM_1, CI_TRIG_PARAM_2,
                                               CI_TRIG_PARAM_3};
constexpr uint32_t kModesTakingExternalTrigger[] = {CI_TRIG_TRIGGERED, CI_TRIG_CONTINUOUS};

constexpr const char *kR64ModeText =
    "Trigger mode not supported by R64. Please use One-shot trigger mode";
constexpr const char *kR64ModeCaption = "Trigger Error";
constexpr uint32_t kR64ModeStyle = QOR_MB_ICONERROR | QOR_MB_TOPMOST;

bool takesExternalTrigger(uint32_t vtrigMode)
{
    for (uint32_t mode : kModesTakingExternalTrigger)
        if (vtrigMode == mode) return true;
    return false;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_TriggerMode(int32_t *enable, int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // A host that passes no flag has asked for nothing we can act on; refuse
    // it the way a refused mode is refused rather than guess a direction.
    if (enable == nullptr) return BF_E_TRIGGER_MODE;

    if (*enable == 0) {
        // Disconnecting cannot leave the board in a state the library must
        // track, so the result is not looked at.
        CiConExTrigConnect(slot->board, CI_EXTRIG_LINE, CI_EXTRIG_DISCONNECT);
        slot->extTrigger = 0;
        return BF_OK;
    }

    // The line stays connected even if the mode below is refused.
    CiConExTrigConnect(slot->board, CI_EXTRIG_LINE, CI_EXTRIG_CONNECT);
    if (!takesExternalTrigger(slot->vtrigMode)) {
        const int32_t refused =
            CiConVTrigModeSet(slot->board, kExternalTriggerMode, kExternalTriggerParams[0],
                              kExternalTriggerParams[1], kExternalTriggerParams[2]);
        if (refused != 0) {
            // Only R64 boards get told why: they support the one-shot mode instead.
            if (BFIsR64(slot->board) != 0)
                qor::platform::messageBox(kR64ModeText, kR64ModeCaption, kR64ModeStyle);
            return BF_E_TRIGGER_MODE;
        }
    }
    // vtrigMode keeps the mode read at open: capture decides by that value.
    slot->extTrigger = 1;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_SetSWtrigger(int32_t trigger1, int32_t trigger2, int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // A trigger that arrives with no frame waiting is simply dropped by the
    // board, so the results carry nothing worth reporting.
    if (trigger1 != 0) CiConSwTrig(slot->board, CI_SWTRIG_1, CI_SWTRIG_FIRE);
    if (trigger2 != 0) CiConSwTrig(slot->board, CI_SWTRIG_2, CI_SWTRIG_FIRE);
    return BF_OK;
}
