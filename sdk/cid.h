/*
 * Board-level interface of the frame-grabber SDK (Cid.dll).
 *
 * Every function returns 0 on success and non-zero on failure unless its
 * line says otherwise. Integers written through pointers are 32-bit.
 * An implementation built as Cid itself defines CID_API to export them.
 */
#ifndef QOR_SDK_CID_H
#define QOR_SDK_CID_H

#include "sdk_types.h"

#ifndef CID_API
#define CID_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Board inquiry codes answered by CiBrdInquire. */
enum {
    CI_INQ_BOARD_MODEL = 3,          /* 4142 on a model without LUTs */
    CI_INQ_WIDTH = 0x10001,          /* pixels per line */
    CI_INQ_LINES = 0x10002,          /* lines per frame (L) */
    CI_INQ_CAMERA_MODE = 0x10003,    /* camera value; kept only when 2 */
    CI_INQ_BIT_DEPTH = 0x10004,      /* bits per pixel */
    CI_INQ_BYTES_PER_PIXEL = 0x10005,/* bytes per pixel (P) */
    CI_INQ_WAIT_TIME = 0x10006,      /* frame time-out in ms */
    CI_INQ_CAMERA_INFO = 0x10007,    /* camera value reported to hosts */
    CI_INQ_SYNC_SOURCE = 0x1001D     /* Gn2: chooses the value of register 2655 */
};

/* Commands of CiAqCommand and CiConAqCommand. */
enum { CI_CMD_STOP = 0, CI_CMD_ABORT = 1, CI_CMD_SNAP = 2, CI_CMD_GRAB = 3, CI_CMD_RESET = 5 };

/* Kind of signal CiSignalCreate makes for the board's end of frame. */
enum { CI_SIGNAL_END_OF_FRAME = 4 };

/* CiSignalWait's result when more than one frame ended since the last wait. */
enum { CI_WAIT_FRAMES_MISSED = 0x10001 };

/* CiConExTrigConnect: the external trigger line and its two actions. */
enum { CI_EXTRIG_LINE = 1, CI_EXTRIG_CONNECT = 19, CI_EXTRIG_DISCONNECT = 20 };

/* CiConSwTrig: the two software triggers and the action that fires one. */
enum { CI_SWTRIG_1 = 1, CI_SWTRIG_2 = 2, CI_SWTRIG_FIRE = 17 };

/* CiConAqMode's mode for acquisition through chained QTabs (the highest mode). */
enum { CI_AQ_MODE_CHAINED = 3 };

/* CiConDMACommand's command that starts the engaged chain. */
enum { CI_DMA_START = 10 };

/* The LUT bank of CiAqSetup and CiRelQTabCreate that passes pixels through
 * no LUT (banks 0..3 hold tables). */
enum { CI_LUT_BANK_NONE = 4 };

/* Trigger modes of CiConVTrigModeSet: 0 and 6 run free, 1 is one-shot, 2 and
 * 3 make every frame wait for a trigger. A grab runs in mode 6; the external
 * trigger takes mode 3. */
enum {
    CI_TRIG_FREE_RUN = 0,
    CI_TRIG_ONE_SHOT = 1,
    CI_TRIG_TRIGGERED = 2,
    CI_TRIG_TRIGGERED_ALT = 3,
    CI_TRIG_CONTINUOUS = 6
};

/* The three parameters set with the grab's and the external trigger's modes. */
enum { CI_TRIG_PARAM_1 = 11, CI_TRIG_PARAM_2 = 239, CI_TRIG_PARAM_3 = 239 };

/* Board model that carries no lookup tables. */
#define CI_MODEL_NO_LUT 4142u

/* Board registry. */
/* Writes how many boards of the board-type code are installed. */
CID_API int32_t SDK_CALL CiSysBrdEnum(uint32_t type, uint32_t *count);
/* Fills the entry record of board `number` of the type; fails when there is none. */
CID_API int32_t SDK_CALL CiSysBrdFind(uint32_t type, uint32_t number, CiBoardEntry *entry);
/* Opens the board of an entry record and writes its handle; refuses a board already open. */
CID_API int32_t SDK_CALL CiBrdOpen(CiBoardEntry *entry, CiBoardHandle *board, uint32_t mode);
/* Closes a board; refuses an unknown or closed handle. */
CID_API int32_t SDK_CALL CiBrdClose(CiBoardHandle board);
/* Writes the 32-bit answer to an inquiry code for the current camera. */
CID_API int32_t SDK_CALL CiBrdInquire(CiBoardHandle board, uint32_t code, uint32_t *value);
/* Switches the board to another camera configuration. */
CID_API int32_t SDK_CALL CiBrdCamSel(CiBoardHandle board, uint32_t camera, uint32_t mode);
/* Writes the handle of the current camera configuration. */
CID_API int32_t SDK_CALL CiBrdCamGetCur(CiBoardHandle board, CiCameraConfig *config);
/* Sets the board's interrupt mode. */
CID_API int32_t SDK_CALL CiConInt(CiBoardHandle board, uint32_t kind, uint32_t enable);

/* Single-destination acquisition. */
/* Registers a destination of `size` bytes, `stride` bytes per line, with its LUT bank and type. */
CID_API int32_t SDK_CALL CiAqSetup(CiBoardHandle board, void *dest, uint32_t size, int32_t stride,
                                   uint32_t format, uint32_t lutBank, uint32_t lutType,
                                   uint8_t options, uint32_t frames, uint32_t mode, uint32_t flags);
/* Forgets the acquisition of an engine and stops any capture into it. */
CID_API int32_t SDK_CALL CiAqCleanUp(CiBoardHandle board, int32_t engine);
/* Sets the acquired window; fails when it is larger than the camera's frame. */
CID_API int32_t SDK_CALL CiAqFrameSize(CiBoardHandle board, uint32_t xSize, uint32_t ySize, int32_t engine);
/* Issues a command (0 stop, 1 abort, 2 snap, 3 grab, 5 reset) to the single destination. */
CID_API int32_t SDK_CALL CiAqCommand(CiBoardHandle board, uint32_t command, uint32_t mode,
                                     uint32_t engine, uint32_t flags);
/* Blocks until the current snap has completed (bounded by the board's wait time). */
CID_API int32_t SDK_CALL CiAqWaitDone(CiBoardHandle board, uint32_t engine);
/* Writes non-zero when the board overflowed since the last check. */
CID_API int32_t SDK_CALL CiAqOverflowCheck(CiBoardHandle board, uint32_t *overflow);

/* Controller: commands, status and triggers. */
/* Issues a command (same numbering as CiAqCommand) to the buffer chain. */
CID_API int32_t SDK_CALL CiConAqCommand(CiBoardHandle board, uint32_t command, uint32_t flags);
/* Writes non-zero while a frame is being acquired. */
CID_API int32_t SDK_CALL CiConAqStatus(CiBoardHandle board, uint32_t *status, uint32_t flags);
/* Writes the number of frames acquired since the acquisition was set up. */
CID_API int32_t SDK_CALL CiConGetFrameCount(CiBoardHandle board, uint32_t *count, uint32_t flags);
/* Rewinds the chain's table so the next frame lands in the first buffer. */
CID_API int32_t SDK_CALL CiConCTabReset(CiBoardHandle board);
/* Fires software trigger `trigger` (1 or 2). */
CID_API int32_t SDK_CALL CiConSwTrig(CiBoardHandle board, uint32_t trigger, uint32_t mode);
/* Writes the board's trigger mode and its three parameters. */
CID_API int32_t SDK_CALL CiConVTrigModeGet(CiBoardHandle board, uint32_t *mode, uint32_t *param1,
                                           uint32_t *param2, uint32_t *param3);
/* Sets the trigger mode and its parameters; fails for a mode the board does not support. */
CID_API int32_t SDK_CALL CiConVTrigModeSet(CiBoardHandle board, uint32_t mode, uint32_t param1,
                                           uint32_t param2, uint32_t param3);
/* Connects (19) or disconnects (20) the external trigger line `line`. */
CID_API int32_t SDK_CALL CiConExTrigConnect(CiBoardHandle board, uint32_t line, uint32_t action);
/* Selects the acquisition mode (3: chained QTabs). */
CID_API int32_t SDK_CALL CiConAqMode(CiBoardHandle board, uint32_t mode);
/* Issues a DMA command to the engaged chain. */
CID_API int32_t SDK_CALL CiConDMACommand(CiBoardHandle board, uint32_t command, uint32_t engine,
                                         uint32_t param1, uint32_t param2);

/* End-of-frame signals. */
/* Creates a signal of `kind` (4: end of frame) into the record. */
CID_API int32_t SDK_CALL CiSignalCreate(CiBoardHandle board, uint32_t kind, CiSignal *signal);
/* Forgets the frames counted on a signal so far. */
CID_API int32_t SDK_CALL CiSignalQueueClear(CiBoardHandle board, CiSignal *signal);
/* Waits up to `timeout` ms: 0 after one frame, 65537 when frames were missed; writes the count. */
CID_API int32_t SDK_CALL CiSignalWait(CiBoardHandle board, CiSignal *signal, uint32_t timeout,
                                      uint32_t *count);
/* Wakes every waiter of the signal with a cancelled result. */
CID_API int32_t SDK_CALL CiSignalCancel(CiBoardHandle board, CiSignal *signal);
/* Releases the signal. */
CID_API int32_t SDK_CALL CiSignalFree(CiBoardHandle board, CiSignal *signal);

/* Chained acquisition through QTabs. */
/* Describes one buffer (size, stride) into a relative QTab record. */
CID_API int32_t SDK_CALL CiRelQTabCreate(CiBoardHandle board, CiCameraConfig config, void *buffer,
                                         uint32_t size, uint32_t stride, CiQTab *qtab,
                                         uint32_t format, uint32_t lutBank, uint32_t direction,
                                         uint32_t kind, uint32_t flags);
/* Makes the physical table of a relative QTab. */
CID_API int32_t SDK_CALL CiPhysQTabCreate(CiBoardHandle board, CiQTab *qtab, uint32_t flags);
/* Links `count` physical QTabs into one ring, in array order. */
CID_API int32_t SDK_CALL CiPhysQTabChainLink(CiBoardHandle board, CiQTab **qtabs, uint32_t count);
/* Hands a linked chain to the board's DMA engine. */
CID_API int32_t SDK_CALL CiPhysQTabChainEngage(CiBoardHandle board, CiQTab **qtabs, uint32_t engine);
/* Releases the physical table of a QTab. */
CID_API int32_t SDK_CALL CiPhysQTabFree(CiBoardHandle board, CiQTab *qtab);
/* Releases a relative QTab. */
CID_API int32_t SDK_CALL CiRelQTabFree(CiBoardHandle board, CiQTab *qtab);

/* Lookup tables. */
/* Writes `length` entries into the LUT of `lutType`, `bank`, for the lanes of `laneMask`. */
CID_API int32_t SDK_CALL CiLutWrite(CiBoardHandle board, uint32_t lutType, uint32_t bank,
                                    uint8_t laneMask, uint32_t offset, int32_t length,
                                    const void *entries);
/* Programs the bit-masking LUT for `depth` bits and writes its mask type (one byte). */
CID_API int32_t SDK_CALL CiLutSetMask(CiBoardHandle board, uint32_t depth, uint8_t *maskType);

/* Timing generator, encoder and outputs. */
/* Programs the exposure timing generator; `outputMask` selects the output line. */
CID_API int32_t SDK_CALL CiConExposureControlSet(CiBoardHandle board, double periodMs,
                                                 double exposureMs, double delayMs,
                                                 uint32_t mode, uint32_t outputMask);
/* Divides the encoder input's pulses by `divider`. */
CID_API int32_t SDK_CALL CiEncoderDividerSet(CiBoardHandle board, uint32_t divider,
                                             uint32_t encoder, uint32_t bothEdges, uint32_t flags);
/* Writes the levels of the general-purpose outputs, one bit an output. */
CID_API int32_t SDK_CALL CiRegGPOutGet(CiBoardHandle board, uint32_t *levels);
/* Sets the outputs selected by `mask` to the bits of `levels`. */
CID_API int32_t SDK_CALL CiRegGPOutSet(CiBoardHandle board, uint32_t mask, uint32_t levels);

#ifdef __cplusplus
}
#endif

#endif
