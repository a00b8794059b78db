/*
 * How BFD reaches the board model: Cid runs every BFD function itself and
 * exports it under a plain C name; BFD's own functions only forward to
 * these. Nothing but C types crosses between the two libraries, so each may
 * carry its own C++ runtime.
 */
#ifndef QOR_SIM_BFD_BRIDGE_H
#define QOR_SIM_BFD_BRIDGE_H

#include "sdk_types.h"

#ifndef BFSIM_BRIDGE_API
#define BFSIM_BRIDGE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

BFSIM_BRIDGE_API int32_t bfsim_bfd_qtab_mode_request(CiBoardHandle board, uint32_t mode, uint32_t *granted);
BFSIM_BRIDGE_API int32_t bfsim_bfd_is_r64(CiBoardHandle board);
BFSIM_BRIDGE_API int32_t bfsim_bfd_is_gn2(CiBoardHandle board);
BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_supported(CiBoardHandle board, uint32_t id);
BFSIM_BRIDGE_API uint32_t bfsim_bfd_reg_peek(CiBoardHandle board, uint32_t id);
BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_poke(CiBoardHandle board, uint32_t id, uint32_t value);
BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_name(CiBoardHandle board, uint32_t id, char *text, uint32_t size);
BFSIM_BRIDGE_API BFTickStamp *bfsim_bfd_tick(BFTickStamp *tick);
BFSIM_BRIDGE_API uint32_t bfsim_bfd_tick_delta(BFTickStamp *start, BFTickStamp *end);
BFSIM_BRIDGE_API int32_t bfsim_bfd_output_debug_string(const char *text);

#ifdef __cplusplus
}
#endif

#endif
