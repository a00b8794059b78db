/*
 * The simulator's capture engine: destinations, commands, the frame thread,
 * the test pattern, end-of-frame signals and QTab chains.
 */
#ifndef QOR_SIM_ACQUISITION_H
#define QOR_SIM_ACQUISITION_H

#include <memory>
#include <mutex>

#include "model.h"

namespace bfsim {

// The engine's own state stays private to its sources (cid/engine_state.h).
struct Engine;

// Shared rather than owned outright: a host thread blocked in a signal wait
// keeps the engine alive while the board it belonged to is closed or
// forgotten, and wakes to find it closed instead of freed.
struct Acquisition {
    std::shared_ptr<Engine> engine;
};

// Gives a board that has just been opened its engine state. Call under lock().
void acquisitionOpened(Board &board);
// Stops any capture of a board being closed or forgotten and drops its engine
// state. Called with `held` owning lock(); may release and retake it to join
// the frame thread. Objects the host never released stay counted as live.
void acquisitionClosing(Board &board, std::unique_lock<std::mutex> &held);

}  // namespace bfsim

#endif
