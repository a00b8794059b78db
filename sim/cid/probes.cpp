/*
 * The tests' probes into a board: read under the model's lock, never
 * journaled, never faulted, so a probe changes nothing a test asserts on.
 */
#include "probes.h"

#include <mutex>

#include "bfsim.h"
#include "controls.h"
#include "model.h"

using namespace bfsim;

extern "C" {

BFSIM_PROBE_API int32_t bfsim_probe_board_get(void *handle, bfsim_probe_board *out)
{
    if (out == nullptr) return BFSIM_ERR_ARGUMENT;
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    bfsim_probe_board probe{};
    probe.triggerMode = triggerMode(*board);
    constexpr uint32_t kParams = sizeof probe.triggerParams / sizeof probe.triggerParams[0];
    for (uint32_t i = 0; i < kParams; ++i) probe.triggerParams[i] = triggerParam(*board, i);
    probe.triggered = triggered(*board) ? 1 : 0;
    probe.externalConnected = externalConnected(*board) ? 1 : 0;
    probe.timingPeriodMs = timingPeriodMs(*board);
    probe.externalTriggerPeriodUs = board->config.externalTriggerPeriodUs;
    probe.framePeriodUs = board->currentCamera().framePeriodUs;
    *out = probe;
    return 0;
}

BFSIM_PROBE_API int32_t bfsim_probe_lut(void *handle, uint32_t lutBank, uint32_t lutType,
                                        uint32_t value, uint32_t *out)
{
    if (out == nullptr) return BFSIM_ERR_ARGUMENT;
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    *out = applyLut(*board, lutBank, lutType, value);
    return 0;
}

}  // extern "C"
