/*
 * Test and control interface of the simulated frame-grabber SDK.
 *
 * The simulated Cid and BFD libraries implement the SDK's functions on a
 * model of boards; this header lets tests, tools and fuzzers drive that
 * model: load a board population, journal every SDK call, inject faults,
 * override answers, fire external triggers and count live objects.
 * All functions are thread-safe.
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
/* Replaces the population with the JSON text; returns 0, or -1 (message on
 * stderr, population then empty). Open boards are closed first. */
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

#ifdef __cplusplus
}
#endif

#endif
