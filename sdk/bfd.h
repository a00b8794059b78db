/*
 * Utility interface of the frame-grabber SDK (BFD.dll): registers, board
 * generation, ticks and debug output. An implementation built as BFD itself
 * defines BFD_API to export them.
 */
#ifndef QOR_SDK_BFD_H
#define QOR_SDK_BFD_H

#include "sdk_types.h"

#ifndef BFD_API
#define BFD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Asks for QTab mode `mode`; writes whether it was granted. 0 on success. */
BFD_API int32_t SDK_CALL BFQTabModeRequest(CiBoardHandle board, uint32_t mode, uint32_t *granted);
/* Non-zero when the board is of the R64 generation. */
BFD_API int32_t SDK_CALL BFIsR64(CiBoardHandle board);
/* Non-zero when the board is of the Gn2 generation. */
BFD_API int32_t SDK_CALL BFIsGn2(CiBoardHandle board);
/* Non-zero when register `id` exists on the board. */
BFD_API int32_t SDK_CALL BFRegSupported(CiBoardHandle board, uint32_t id);
/* The register's 32-bit value (0 for a register that does not exist). */
BFD_API uint32_t SDK_CALL BFRegPeek(CiBoardHandle board, uint32_t id);
/* Writes a register. 0 on success. */
BFD_API int32_t SDK_CALL BFRegPoke(CiBoardHandle board, uint32_t id, uint32_t value);
/* Writes the register's zero-ended name into `text` when it fits in `size` bytes. 0 on success. */
BFD_API int32_t SDK_CALL BFRegName(CiBoardHandle board, uint32_t id, char *text, uint32_t size);
/* Records the current time in `tick` and returns `tick`. */
BFD_API BFTickStamp *SDK_CALL BFTick(BFTickStamp *tick);
/* Milliseconds from `start` to `end`. */
BFD_API uint32_t SDK_CALL BFTickDelta(BFTickStamp *start, BFTickStamp *end);
/* Writes a debug message. 0 on success. */
BFD_API int32_t SDK_CALL BFOutputDebugString(const char *text);

#ifdef __cplusplus
}
#endif

#endif
