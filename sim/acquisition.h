/*
 * The simulator's capture engine: destinations, commands, the frame thread,
 * the test pattern, end-of-frame signals and QTab chains.
 */
#ifndef QOR_SIM_ACQUISITION_H
#define QOR_SIM_ACQUISITION_H

#include <mutex>

#include "model.h"

namespace bfsim {

struct Acquisition;  // defined in acquisition.cpp's own headers as the engine grows

// Gives a board that has just been opened its engine state. Call under lock().
void acquisitionOpened(Board &board);
// Stops any capture of a board being closed or forgotten and drops its engine
// state. Called with `held` owning lock(); may release and retake it to join
// the frame thread.
void acquisitionClosing(Board &board, std::unique_lock<std::mutex> &held);

}  // namespace bfsim

#endif
