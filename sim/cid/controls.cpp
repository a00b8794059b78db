/*
 * The trigger controls: the external line, the trigger mode, and what the
 * capture engine learns from them.
 */
#include <set>

#include "bfsim.h"
#include "cid.h"
#include "entry.h"
#include "controls_state.h"

// bfsim.h stands alone for hosts, so it keeps its own spelling of the
// trigger modes: it must not drift from the SDK's.
static_assert(BFSIM_TRIG_FREE_RUN == CI_TRIG_FREE_RUN && BFSIM_TRIG_ONE_SHOT == CI_TRIG_ONE_SHOT &&
                  BFSIM_TRIG_TRIGGERED == CI_TRIG_TRIGGERED &&
                  BFSIM_TRIG_TRIGGERED_ALT == CI_TRIG_TRIGGERED_ALT &&
                  BFSIM_TRIG_CONTINUOUS == CI_TRIG_CONTINUOUS,
              "bfsim.h's trigger modes are the SDK's");

namespace bfsim {
namespace {

const std::set<uint32_t> kSupportedModes{BFSIM_TRIG_FREE_RUN, BFSIM_TRIG_ONE_SHOT,
                                         BFSIM_TRIG_TRIGGERED, BFSIM_TRIG_TRIGGERED_ALT,
                                         BFSIM_TRIG_CONTINUOUS};

}  // namespace

void controlsOpened(Board &board)
{
    board.controls = std::make_unique<Controls>();
    resetRegisters(board);
}

uint32_t triggerMode(const Board &board)
{
    if (board.controls != nullptr && board.controls->trigMode) return *board.controls->trigMode;
    return board.currentCamera().trigMode;
}

uint32_t triggerParam(const Board &board, uint32_t index)
{
    if (index >= kTrigParamCount) return 0;
    if (board.controls != nullptr && board.controls->trigMode)
        return board.controls->trigParams[index];
    return board.currentCamera().trigParams[index];
}

bool triggered(const Board &board)
{
    const uint32_t mode = triggerMode(board);
    return mode == BFSIM_TRIG_TRIGGERED || mode == BFSIM_TRIG_TRIGGERED_ALT;
}

bool externalConnected(const Board &board)
{
    return board.controls != nullptr && board.controls->externalConnected;
}

}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiConExTrigConnect(CiBoardHandle handle, uint32_t line, uint32_t action)
{
    return boardCall("CiConExTrigConnect", {arg(handle), arg(line), arg(action)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (line != BFSIM_EXT_TRIGGER_LINE) return BFSIM_ERR_ARGUMENT;
        if (action != BFSIM_EXT_CONNECT && action != BFSIM_EXT_DISCONNECT) return BFSIM_ERR_ARGUMENT;
        board.controls->externalConnected = action == BFSIM_EXT_CONNECT;
        board.changed.notify_all();
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConVTrigModeSet(CiBoardHandle handle, uint32_t mode, uint32_t param1,
                                           uint32_t param2, uint32_t param3)
{
    return boardCall("CiConVTrigModeSet",
                       {arg(handle), arg(mode), arg(param1), arg(param2), arg(param3)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (kSupportedModes.count(mode) == 0) return BFSIM_ERR_ARGUMENT;
        if (mode == BFSIM_TRIG_TRIGGERED_ALT && board.config.generation == BFSIM_GEN_R64)
            return BFSIM_ERR_UNSUPPORTED;
        Controls &controls = *board.controls;
        controls.trigMode = mode;
        controls.trigParams[0] = param1;
        controls.trigParams[1] = param2;
        controls.trigParams[2] = param3;
        board.changed.notify_all();
        return 0;
    });
}

}  // extern "C"
