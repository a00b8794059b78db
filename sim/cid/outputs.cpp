/*
 * The exposure timing generator, the encoder dividers and the
 * general-purpose outputs.
 */
#include <cmath>

#include "bfsim.h"
#include "cid.h"
#include "entry.h"
#include "controls_state.h"

namespace bfsim {

double timingPeriodMs(const Board &board)
{
    if (board.controls == nullptr || !board.controls->timing) return 0;
    return board.controls->timing->periodMs;
}

}  // namespace bfsim

using namespace bfsim;

namespace {

// A generator can only run with a positive period whose exposure and delay
// fit inside it.
bool validTiming(double periodMs, double exposureMs, double delayMs)
{
    if (!std::isfinite(periodMs) || !std::isfinite(exposureMs) || !std::isfinite(delayMs))
        return false;
    return periodMs > 0 && exposureMs >= 0 && delayMs >= 0 && exposureMs <= periodMs &&
           delayMs <= periodMs;
}

}  // namespace

extern "C" {

CID_API int32_t SDK_CALL CiConExposureControlSet(CiBoardHandle handle, double periodMs,
                                                 double exposureMs, double delayMs,
                                                 uint32_t mode, uint32_t outputMask)
{
    return boardCall("CiConExposureControlSet", {arg(handle), arg(periodMs), arg(exposureMs),
                                                   arg(delayMs), arg(mode), arg(outputMask)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (!validTiming(periodMs, exposureMs, delayMs)) return BFSIM_ERR_ARGUMENT;
        board.controls->timing = Timing{periodMs, exposureMs, delayMs, mode, outputMask};
        board.changed.notify_all();
        return 0;
    });
}

CID_API int32_t SDK_CALL CiEncoderDividerSet(CiBoardHandle handle, uint32_t divider,
                                             uint32_t encoder, uint32_t bothEdges, uint32_t flags)
{
    return boardCall("CiEncoderDividerSet",
                       {arg(handle), arg(divider), arg(encoder), arg(bothEdges), arg(flags)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (divider < 1 || encoder >= kEncoderCount) return BFSIM_ERR_ARGUMENT;
        board.controls->encoders[encoder] = EncoderDivider{divider, bothEdges, flags};
        return 0;
    });
}

CID_API int32_t SDK_CALL CiRegGPOutGet(CiBoardHandle handle, uint32_t *levels)
{
    return boardCall("CiRegGPOutGet", {arg(handle), arg(levels)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (levels == nullptr) return BFSIM_ERR_ARGUMENT;
        *levels = board.controls->gpoutLevels;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiRegGPOutSet(CiBoardHandle handle, uint32_t mask, uint32_t levels)
{
    return boardCall("CiRegGPOutSet", {arg(handle), arg(mask), arg(levels)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        uint32_t &current = board.controls->gpoutLevels;
        current = (current & ~mask) | (levels & mask);
        return 0;
    });
}

}  // extern "C"
