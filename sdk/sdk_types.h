/*
 * Records and handles of the frame-grabber SDK, as the library holds them.
 *
 * Every SDK implementation loaded under the library (the vendor's or the
 * simulator in sim/) uses exactly these sizes: the library keeps the
 * board-entry and signal records by value in its slot table and allocates
 * QTab records itself, so an implementation must never write past them.
 */
#ifndef QOR_SDK_TYPES_H
#define QOR_SDK_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Board handle issued by CiBrdOpen; null marks "no board". */
typedef void *CiBoardHandle;

/* Camera configuration handle issued by CiBrdCamGetCur. */
typedef void *CiCameraConfig;

/* Board-entry record filled by CiSysBrdFind and consumed by CiBrdOpen. */
typedef struct CiBoardEntry {
    uint64_t opaque[8];
} CiBoardEntry;

/* End-of-frame signal record filled by CiSignalCreate. */
typedef struct CiSignal {
    uint64_t opaque[8];
} CiSignal;

/* Per-buffer QTab record; always 88 bytes. */
typedef struct CiQTab {
    uint64_t opaque[11];
} CiQTab;

/* Time stamp written by BFTick; at most 8 bytes. */
typedef struct BFTickStamp {
    uint64_t opaque;
} BFTickStamp;

#ifdef __cplusplus
}
static_assert(sizeof(CiBoardEntry) == 64, "board-entry record size is fixed");
static_assert(sizeof(CiSignal) == 64, "signal record size is fixed");
static_assert(sizeof(CiQTab) == 88, "a QTab record is 88 bytes");
static_assert(sizeof(BFTickStamp) == 8, "BFTick writes at most 8 bytes");
#endif

/* All SDK entry points use the platform's C calling convention. */
#if defined(_WIN32)
#define SDK_CALL __cdecl
#else
#define SDK_CALL
#endif

#endif
