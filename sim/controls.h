/*
 * The simulator's board controls: trigger line and mode, LUTs, timing
 * generator, encoder divider, general-purpose outputs and the register file.
 */
#ifndef QOR_SIM_CONTROLS_H
#define QOR_SIM_CONTROLS_H

#include "model.h"

namespace bfsim {

struct Controls;

// Gives a board that has just been opened its controls, registers at their
// defaults. Call under lock().
void controlsOpened(Board &board);

// What the capture engine asks of the controls. Call under lock().
// The trigger mode currently set (CiConVTrigModeSet, else the camera's).
uint32_t triggerMode(const Board &board);
// True when frames wait for a trigger (any mode but free run).
bool triggered(const Board &board);
// True when the external trigger line is connected.
bool externalConnected(const Board &board);
// A pixel value passed through the LUT of `lutBank`/`lutType` as CiAqSetup
// registered them (bank 4: unchanged).
uint32_t applyLut(const Board &board, uint32_t lutBank, uint32_t lutType, uint32_t value);
// The period the timing generator sets for triggered frames, in ms, or 0
// when CiConExposureControlSet has set none.
double timingPeriodMs(const Board &board);

}  // namespace bfsim

#endif
