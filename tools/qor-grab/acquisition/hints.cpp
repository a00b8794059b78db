#include "hints.h"

namespace qorgrab {

std::string listHint()
{
    return "`qor-grab list` shows the boards present and their cameras";
}

std::string noCameraHint(uint32_t camera)
{
    return "the board has no camera " + std::to_string(camera) + "; " + listHint();
}

std::string waitHint(const Options &options, WaitLimit limit)
{
    if (options.trigger == TriggerChoice::External)
        return "with --trigger ext every frame waits for the external trigger line; check its "
               "wiring, or try --trigger sw";
    if (limit == WaitLimit::BoardWaitTime)
        return "no frame ended within the board's wait time for a snap; a slow camera needs "
               "the board's wait time raised, or --trigger sw, whose snaps wait --timeout";
    return "no frame ended within --timeout " + std::to_string(options.timeoutMs) +
           " ms; a slow camera needs a longer --timeout";
}

std::string windowHint(const Window &window, const CameraGeometry &camera)
{
    return "the board refused a window of " + std::to_string(window.width) + " x " +
           std::to_string(window.height) + "; its camera gives " + std::to_string(camera.width) +
           " x " + std::to_string(camera.lines) + " and a window must fit inside that; " +
           listHint();
}

}  // namespace qorgrab
