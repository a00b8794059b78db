/*
 * Test and control interface of the simulated frame-grabber SDK.
 *
 * The simulated Cid and BFD libraries implement the SDK's functions on a
 * model of boards; this header lets tests, tools and fuzzers drive that
 * model: load a board population, journal every SDK call, inject faults,
 * override answers, fire external triggers and count live objects.
 * All functions are thread-safe.
 * The simulated SDK itself is safe to call from many threads at once.
 */
#ifndef QOR_BFSIM_H
#define QOR_BFSIM_H

#include <stddef.h>
#include <stdint.h>

#ifndef BFSIM_API
#define BFSIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Board generations, as BFIsR64/BFIsGn2 report them. */
enum bfsim_generation { BFSIM_GEN_PLAIN = 0, BFSIM_GEN_R64 = 1, BFSIM_GEN_GN2 = 2 };

/* Failure results of the simulated SDK functions. A handle the simulator did
 * not issue fails with BFSIM_ERR_HANDLE (functions answering a value answer
 * 0). Nothing is written through a null pointer: a null output that is the
 * call's whole point fails with BFSIM_ERR_ARGUMENT, while the optional ones
 * (CiConVTrigModeGet's, BFQTabModeRequest's `granted`) are skipped. */
#define BFSIM_ERR_HANDLE 0x8101      /* a handle the simulator did not issue, or a closed board */
#define BFSIM_ERR_ARGUMENT 0x8102    /* an argument out of range, or a null pointer */
#define BFSIM_ERR_BUSY 0x8103        /* the board is already open */
#define BFSIM_ERR_UNSUPPORTED 0x8104 /* the board (model, generation) lacks the feature */
#define BFSIM_ERR_NOT_FOUND 0x8105   /* no such board, camera, inquiry or register */
#define BFSIM_ERR_READ_ONLY 0x8106   /* the register cannot be written */

/* Trigger modes of CiConVTrigModeSet. 0 and 6 run free at the camera's frame
 * period, 1 is one-shot (a snap starts a frame at once), 2 and 3 make every
 * frame wait for a software or external trigger. Every other mode is refused,
 * and a board of generation R64 refuses mode 3 too. */
#define BFSIM_TRIG_FREE_RUN 0
#define BFSIM_TRIG_ONE_SHOT 1
#define BFSIM_TRIG_TRIGGERED 2
#define BFSIM_TRIG_TRIGGERED_ALT 3
#define BFSIM_TRIG_CONTINUOUS 6

/* CiConExTrigConnect: the one external line and its two actions. */
#define BFSIM_EXT_TRIGGER_LINE 1
#define BFSIM_EXT_CONNECT 19
#define BFSIM_EXT_DISCONNECT 20

/* Mask types CiLutSetMask answers: "none needed" for 8 bits, else the LUT
 * type of the mask that keeps the low 10, 12, 14 or 16 bits. */
#define BFSIM_MASK_NONE 3
#define BFSIM_MASK_10_BITS 4
#define BFSIM_MASK_12_BITS 5
#define BFSIM_MASK_14_BITS 6
#define BFSIM_MASK_16_BITS 7

/* What GetFocus answers on builds where the simulator provides it. */
#define BFSIM_FOCUS_WINDOW ((uintptr_t)0x0F0C0500u)

/* The register file every board carries: id, name, and for some the value
 * the board starts with. Ids not listed here (e.g. BFSIM_REG_UNSUPPORTED, and
 * every id above 4000) do not exist. Names are unique except GAIN/Gain and
 * SCRATCH/Scratch, which differ only in letter case. */
#define BFSIM_REG_BOARD_ID 0u            /* read-only: type code << 16 | board number */
#define BFSIM_REG_BOARD_ID_NAME "BOARD_ID"
#define BFSIM_REG_FPGA_VERSION 1u        /* read-only */
#define BFSIM_REG_FPGA_VERSION_NAME "FPGA_VERSION"
#define BFSIM_FPGA_VERSION_VALUE 0x00020013u
#define BFSIM_REG_UNSUPPORTED 5u
#define BFSIM_REG_GAIN 12u
#define BFSIM_REG_GAIN_NAME "GAIN"
#define BFSIM_GAIN_VALUE 0x100u
#define BFSIM_REG_OFFSET 13u
#define BFSIM_REG_OFFSET_NAME "OFFSET"
#define BFSIM_REG_SCRATCH 64u
#define BFSIM_REG_SCRATCH_NAME "SCRATCH"
#define BFSIM_SCRATCH_VALUE 0xA5A5A5A5u
#define BFSIM_REG_CTAB_CONTROL 1672u
#define BFSIM_REG_CTAB_CONTROL_NAME "CTAB_CONTROL"
#define BFSIM_REG_ENGINE_MODE 1734u
#define BFSIM_REG_ENGINE_MODE_NAME "ENGINE_MODE"
#define BFSIM_REG_GAIN_FINE 2000u
#define BFSIM_REG_GAIN_FINE_NAME "Gain"
#define BFSIM_REG_GN2_ACQ_CONTROL 2648u      /* Gn2 boards only */
#define BFSIM_REG_GN2_ACQ_CONTROL_NAME "GN2_ACQUISITION_CONTROL"
#define BFSIM_REG_GN2_SYNC_SOURCE 2655u      /* Gn2 boards only */
#define BFSIM_REG_GN2_SYNC_SOURCE_NAME "GN2_SYNC_SOURCE"
#define BFSIM_REG_GN2_SYNC_ENABLE 2656u      /* Gn2 boards only */
#define BFSIM_REG_GN2_SYNC_ENABLE_NAME "GN2_SYNC_ENABLE"
#define BFSIM_REG_GN2_CONTINUOUS 2669u       /* Gn2 boards only */
#define BFSIM_REG_GN2_CONTINUOUS_NAME "GN2_CONTINUOUS_MODE"
#define BFSIM_REG_PULSE_WIDTH 3000u          /* name of 31 characters: fits 32 bytes */
#define BFSIM_REG_PULSE_WIDTH_NAME "TIMING_GENERATOR_PULSE_WIDTH_LO"
#define BFSIM_REG_SCRATCH_ALT 3100u
#define BFSIM_REG_SCRATCH_ALT_NAME "Scratch"
#define BFSIM_REG_CLOCK_DETECT 3300u         /* name of 43 characters */
#define BFSIM_REG_CLOCK_DETECT_NAME "CAMERA_LINK_CLOCK_DETECT_STATUS_AND_CONTROL"
#define BFSIM_REG_DEBUG_COUNTER 3444u        /* the highest id a name search visits */
#define BFSIM_REG_DEBUG_COUNTER_NAME "DEBUG_COUNTER"
#define BFSIM_REG_EXTENDED_CONTROL 3445u
#define BFSIM_REG_EXTENDED_CONTROL_NAME "EXTENDED_CONTROL"
#define BFSIM_REG_EXTENDED_STATUS 3500u      /* read-only */
#define BFSIM_REG_EXTENDED_STATUS_NAME "EXTENDED_STATUS"
#define BFSIM_REG_BAUD_DIVIDER 3600u         /* name of 32 characters: needs 33 bytes */
#define BFSIM_REG_BAUD_DIVIDER_NAME "SERIAL_PORT_BAUD_RATE_DIVIDER_LO"
#define BFSIM_REG_EXTENDED_SCRATCH 4000u
#define BFSIM_REG_EXTENDED_SCRATCH_NAME "EXTENDED_SCRATCH"

/* Results of CiSignalWait besides 0 and 65537 (frames missed). */
#define BFSIM_WAIT_TIMEOUT 0x8001
#define BFSIM_WAIT_CANCELLED 0x8002

/* Kinds of live simulated objects. */
enum bfsim_object {
    BFSIM_OBJ_BOARDS = 0,   /* open boards */
    BFSIM_OBJ_SIGNALS = 1,  /* created, not freed signals */
    BFSIM_OBJ_REL_QTABS = 2,
    BFSIM_OBJ_PHYS_QTABS = 3,
    BFSIM_OBJ_DESTINATIONS = 4, /* destinations registered by CiAqSetup */
    BFSIM_OBJ_ALL = 99
};

/* ---- Simulation ---- */

/* Closes everything, forgets faults, overrides and the journal, and loads the
 * population from QOR_SIM_CONFIG (or the built-in default). */
BFSIM_API void bfsim_reset(void);
/* Replaces the population with the JSON text (the format QOR_SIM_CONFIG's
 * file has, described in the README); returns 0, or -1 (message on stderr,
 * population then empty). Open boards are closed first. */
BFSIM_API int bfsim_load_config(const char *json);
/* Number of live objects of a kind (BFSIM_OBJ_ALL: all kinds together). */
BFSIM_API int bfsim_live_count(int kind);

/* ---- Call journal ---- */

/* One journaled SDK call: its name and its arguments as integers (pointers
 * as addresses, doubles rounded toward zero). */
typedef struct bfsim_call {
    char function[32];
    int argc;
    int64_t args[12];
} bfsim_call;

BFSIM_API void bfsim_journal_enable(int on);
BFSIM_API void bfsim_journal_clear(void);
/* Number of calls recorded since the last clear. */
BFSIM_API size_t bfsim_journal_size(void);
/* Copies call `index` into *out; returns 0, or -1 past the end. */
BFSIM_API int bfsim_journal_get(size_t index, bfsim_call *out);

/* ---- Fault injection ---- */

/* The `nth` next call of `function` (1 = the very next) returns `result`;
 * with `persistent` non-zero, every call from the nth on does. A function
 * whose normal answer is a value (BFRegPeek, BFIsGn2, BFRegSupported…)
 * returns `result` as that value. */
BFSIM_API void bfsim_fault(const char *function, int nth, int persistent, int32_t result);
/* Forgets every fault. */
BFSIM_API void bfsim_fault_clear(void);

/* ---- Overrides ---- */

/* The board's answer to inquiry `code`, whatever the camera says, until reset.
 * The board is named by type code and number. */
BFSIM_API void bfsim_set_inquiry(uint32_t type, uint32_t number, uint32_t code, uint32_t value);
/* The value `function` writes through its output pointer, until cleared:
 * CiAqOverflowCheck (flag), CiConAqStatus (status), CiConGetFrameCount,
 * CiLutSetMask (mask type), BFQTabModeRequest (granted), CiSignalWait (count). */
BFSIM_API void bfsim_set_output(const char *function, uint32_t value);
BFSIM_API void bfsim_clear_output(const char *function);

/* ---- Triggers and outputs ---- */

/* Fires the external trigger line of a board. */
BFSIM_API void bfsim_fire_external_trigger(uint32_t type, uint32_t number);

/* ---- Inspection ---- */

/* Messages shown through MessageBoxA since the last reset (Linux builds). */
BFSIM_API int bfsim_message_box_count(void);

/* One message shown through MessageBoxA, text and caption cut to fit. */
typedef struct bfsim_message_box {
    uintptr_t owner;
    uint32_t style;
    char caption[64];
    char text[192];
} bfsim_message_box;

/* Copies message `index` (0 = first since the last reset); 0, or -1 past the end. */
BFSIM_API int bfsim_message_box_get(int index, bfsim_message_box *out);

/* Messages written through BFOutputDebugString since the last reset. */
BFSIM_API int bfsim_debug_output_count(void);
/* Copies message `index` into `text` (cut to `size` bytes, always ended by a
 * zero byte); 0, or -1 past the end or for a null or empty buffer. */
BFSIM_API int bfsim_debug_output_get(int index, char *text, size_t size);

/* ---- Misuse ---- */

/* A call a real SDK would punish and the simulator survives: cancelling,
 * freeing, waiting on or clearing a signal record that holds no live signal
 * (never created, or freed already), creating a signal or relative QTab
 * into a record that still holds a live one, freeing a QTab that is not live
 * (or a relative QTab before its physical one), linking or engaging QTabs
 * that are not live, registering a destination (CiAqSetup) or starting
 * capture (snap, grab) on the single destination while a chain is engaged on
 * the engine, engaging a chain or starting capture on it while a destination
 * is registered there, a destination or QTab buffer smaller than its frame
 * (size below stride times lines), and any call with a null handle or the
 * handle of a closed or unknown board. Each is recorded against the call,
 * besides the call's own failure result; bfsim_reset forgets them. With
 * QOR_SIM_REPORT_MISUSE set in the environment each is also printed on
 * stderr as it happens. */
typedef struct bfsim_misuse {
    char function[32];     /* the SDK function misused */
    char reason[96];       /* what was wrong */
    int64_t journalIndex;  /* its entry in the journal, or -1 when the journal was off */
} bfsim_misuse;

/* Misuses recorded since the last reset or clear. */
BFSIM_API int bfsim_misuse_count(void);
/* Copies misuse `index` (0 = first); 0, or -1 past the end. */
BFSIM_API int bfsim_misuse_get(int index, bfsim_misuse *out);
/* Forgets the misuses recorded so far (tests that commit one on purpose). */
BFSIM_API void bfsim_misuse_clear(void);

/* ---- Capture engine ---- */

/* Failures of the capture engine's functions besides those above. */
#define BFSIM_ERR_NOT_SET_UP 0x8107  /* nothing set up for the command: no destination, no started chain */
#define BFSIM_ERR_NOT_LIVE 0x8108    /* a signal or QTab record that holds no live object */

/* Every frame shows the camera's source (camera key "source"). The default,
 * "ramp", is a test pattern: pixel (x, y) of frame f holds
 * bfsim_pattern_value(x, y, f, bitDepth), i.e. (x + y + f) mod 2^bitDepth.
 * "scene" and "files" are described in the README; bfsim_check_frame and
 * bfsim_render_frame know every source. Values are little-endian in the
 * camera's bytes per pixel, passed through the LUT the destination was set
 * up with (bank 4: none). Then the first 4 bytes of the frame are
 * overwritten, after any LUT, with f as a little-endian 32-bit number:
 * pixels 0..3 when P = 1, pixels 0 and 1 (low, high half) when P = 2,
 * pixel 0 when P = 4. A camera with "stamp": false writes no number: its
 * frames are the source's pixels, byte for byte.
 * Frames are numbered from the camera's firstFrameNumber (default 0) since
 * CiAqSetup registered the destination, or since CiPhysQTabChainEngage
 * engaged the chain, wrapping at 2^32; a frame the camera loses (dropEvery,
 * dropProbability) takes a number but no buffer. Without losses, a chain's
 * frame f lands in its buffer (f - firstFrameNumber) mod count unless a
 * table reset, reset or clean-up intervened.
 * Lines are `stride` bytes apart and cut to the stride; the acquired window
 * (CiAqFrameSize, else the camera's frame) is cut to the buffer: nothing is
 * ever written past the size registered. */
BFSIM_API uint32_t bfsim_pattern_value(uint32_t x, uint32_t y, uint32_t frame, uint32_t bitDepth);

/* A frame as it lies in a buffer, for bfsim_check_frame and
 * bfsim_render_frame. */
typedef struct bfsim_frame_format {
    uint32_t width;          /* pixels per line (the acquired window) */
    uint32_t lines;          /* lines */
    uint32_t stride;         /* bytes from one line to the next, >= width * bytesPerPixel */
    uint32_t bytesPerPixel;  /* 1..4; 0: the camera's */
    uint32_t bitDepth;       /* 0: the camera's */
    const uint32_t *lut;     /* null, or what each source value is stored as */
    uint32_t lutSize;        /* entries of lut; a value indexes it modulo this */
} bfsim_frame_format;

/* 0 when `buffer` holds frame number `frame` of camera `camera` of board
 * (type, number) of the population, open or not: the stamp (unless the
 * camera writes none), and every pixel of the window as the camera's source
 * makes it, through `lut`. Otherwise -1,
 * with the first difference (or what is wrong with the request) written
 * into `why`, cut to `whySize` bytes, when `why` is not null. */
BFSIM_API int bfsim_check_frame(uint32_t type, uint32_t number, uint32_t camera, const void *buffer,
                                const bfsim_frame_format *format, uint32_t frame, char *why,
                                size_t whySize);
/* Writes frame number `frame` of that camera into `buffer`, stamp included
 * when the camera writes one, as the board would; 0, or -1 for no such camera or a format that does not
 * fit its pixels. Bytes of a line past the window are left alone. */
BFSIM_API int bfsim_render_frame(uint32_t type, uint32_t number, uint32_t camera, void *buffer,
                                 const bfsim_frame_format *format, uint32_t frame);

/* What the capture engine of an open board is doing, for tests that must
 * know rather than guess after a pause. */
enum bfsim_phase {
    BFSIM_PHASE_IDLE = 0,
    BFSIM_PHASE_AWAITING_TRIGGER = 1,
    BFSIM_PHASE_EXPOSING = 2,
    BFSIM_PHASE_WRITING = 3
};

typedef struct bfsim_engine_info {
    int phase;                 /* bfsim_phase */
    int signalWaiters;         /* callers asleep in CiSignalWait */
    uint64_t framesCompleted;  /* as bfsim_frames_completed */
    uint64_t framesLost;       /* lost by the camera (dropEvery, dropProbability) */
    uint64_t triggersDropped;  /* triggers that found no frame waiting, or the line not connected */
    uint64_t framesLate;       /* lost by the camera: not written by the end of its slot */
} bfsim_engine_info;

/* Fills *out for an open board; 0, or -1 when it is not open. */
BFSIM_API int bfsim_engine_info_get(uint32_t type, uint32_t number, bfsim_engine_info *out);
/* Blocks until at least `waiters` callers are asleep in CiSignalWait on the
 * open board: a test then knows a cancel, free or close finds them waiting.
 * 0, or -1 on time-out or when the board is not (or no longer) open. */
BFSIM_API int bfsim_wait_signal_waiters(uint32_t type, uint32_t number, int waiters, uint32_t timeoutMs);

/* Frames completed on an open board since it was opened (0 for none). */
BFSIM_API uint64_t bfsim_frames_completed(uint32_t type, uint32_t number);
/* Blocks until the open board has completed `frames` frames since it was
 * opened; 0, or -1 on time-out or when the board is not (or no longer) open. */
BFSIM_API int bfsim_wait_frames(uint32_t type, uint32_t number, uint64_t frames, uint32_t timeoutMs);

/* How the engine behaves where hosts could wonder:
 * - Timing: a frame takes the camera's frame period (framePeriodUs). A
 *   grab's first frame ends one period after the command, the next ones on
 *   a grid a period apart: a frame written late does not move the next,
 *   and a camera never slows. A frame of a free-running grab not begun by
 *   the end of its slot (one period after it is due, and at least 10 ms, what
 *   the board's memory holds) is lost by the camera like a dropped one, and
 *   counted in framesLate: a camera faster than its frames can be written,
 *   or a machine stalled longer than that, loses frames honestly. While a
 *   caller sleeps in CiSignalWait on a free-running grab, the frame it waits
 *   for is written in its thread when due; the board's own thread writes
 *   the frames nobody waits for, at most 1 ms after they are due. A snap
 *   ends one period after the command, at once in one-shot mode (1). In the
 *   triggered modes (2, 3) every frame waits for a trigger and ends one
 *   period (the timing generator's, when CiConExposureControlSet set one)
 *   after it; a trigger that finds no frame waiting is dropped.
 * - Lost frames: a frame the camera loses is never written nor counted by
 *   signals or bfsim_frames_completed, but it advances the frame counter
 *   (CiConGetFrameCount, the stamp of the next frame). A snap whose frame
 *   is lost takes the next one.
 * - Commands (CiAqCommand on the destination, CiConAqCommand on a chain
 *   that is engaged and started by CiConDMACommand 10): 2 snap, 3 grab;
 *   either replaces a run in progress. 0 stop and 1 abort: a frame being
 *   written finishes (and counts), one still exposing is dropped. 5 reset:
 *   the same, then clear the overflow flag and, on a chain, send the next
 *   frame to buffer 0. No command leaves a half-written frame behind. Stop,
 *   abort and reset of a target that is not running succeed.
 *   When any of these, CiAqCleanUp, the CiPhysQTabFree of an engaged table or
 *   CiBrdClose returns, nothing more is written into the host's buffers.
 * - CiAqCleanUp(engine): engine 0 or any negative engine stops the run and
 *   forgets the destination and the engaged chain (its QTabs stay live until
 *   freed); engine 1 has nothing to clean; larger engines fail. CiAqFrameSize
 *   sets the window of engine 0, 1 or (negative) both; only engine 0's is
 *   acquired.
 * - CiSignalWait consumes the frames completed since the previous wait (or
 *   CiSignalQueueClear) and writes their number: 1 with result 0, more with
 *   65537. Time-out and cancel write 0. A signal freed, or a board closed,
 *   while a wait sleeps cancels it. Every signal of a board counts the
 *   frames of both the destination and the chain.
 * - CiAqWaitDone returns 0 at once when no snap is pending (a grab never
 *   completes), else waits up to the camera's wait time: BFSIM_WAIT_TIMEOUT
 *   then, BFSIM_WAIT_CANCELLED when the snap was stopped instead.
 * - CiConAqStatus writes 1 from a snap or grab until it completes or is
 *   stopped. CiConGetFrameCount reports the frame counter (the number of
 *   the next frame) of the target last commanded (before any command: the
 *   chain in acquisition mode 3, else the destination).
 * - Overflow: a chain frame about to start while every buffer of the ring
 *   holds a frame no signal wait has reported (CiSignalWait and
 *   CiSignalQueueClear report them) sets the flag. The grab goes on
 *   overwriting. CiAqOverflowCheck reads and clears the flag; reset clears it.
 * - QTabs: a relative QTab whose physical one is live cannot be freed; a
 *   relative QTab has at most one physical one. A record is recognised by
 *   the registry, never by its bytes alone. */

#ifdef __cplusplus
}
#endif

#endif
