/*
 * What the simulator's own tests read of a board's inner state that no SDK
 * function reports: the controls as the capture engine sees them, the LUT
 * mapping a pixel goes through, and the periods a population file set.
 * Plain C, so that nothing but C symbols leaves Cid. Not installed: hosts
 * and tools have bfsim.h.
 */
#ifndef QOR_SIM_CID_PROBES_H
#define QOR_SIM_CID_PROBES_H

#include <stdint.h>

#ifndef BFSIM_PROBE_API
#define BFSIM_PROBE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct bfsim_probe_board {
    uint32_t triggerMode;           /* set by CiConVTrigModeSet, else the camera's */
    uint32_t triggerParams[3];
    int triggered;                  /* non-zero when frames wait for a trigger */
    int externalConnected;          /* non-zero while the external line is connected */
    double timingPeriodMs;          /* the timing generator's period; 0 while none is set */
    uint64_t externalTriggerPeriodUs;  /* the board's, from the population */
    uint64_t framePeriodUs;         /* the current camera's */
} bfsim_probe_board;

/* Fills *out for the open board behind `handle`; 0, BFSIM_ERR_HANDLE for a
 * handle of no open board, BFSIM_ERR_ARGUMENT for a null `out`. */
BFSIM_PROBE_API int32_t bfsim_probe_board_get(void *handle, bfsim_probe_board *out);

/* Writes what `value` becomes through the LUT of `lutBank`/`lutType` as
 * CiAqSetup would register them on that board; results as above. */
BFSIM_PROBE_API int32_t bfsim_probe_lut(void *handle, uint32_t lutBank, uint32_t lutType,
                                        uint32_t value, uint32_t *out);

#ifdef __cplusplus
}
#endif

#endif
