/*
 * BFD's functions: each is carried out by the board model in Cid, reached
 * through its C bridge.
 */
#include "bfd.h"
#include "bfd_bridge.h"

extern "C" {

BFD_API int32_t SDK_CALL BFQTabModeRequest(CiBoardHandle handle, uint32_t mode, uint32_t *granted)
{
    return bfsim_bfd_qtab_mode_request(handle, mode, granted);
}

BFD_API int32_t SDK_CALL BFIsR64(CiBoardHandle handle)
{
    return bfsim_bfd_is_r64(handle);
}

BFD_API int32_t SDK_CALL BFIsGn2(CiBoardHandle handle)
{
    return bfsim_bfd_is_gn2(handle);
}

BFD_API int32_t SDK_CALL BFRegSupported(CiBoardHandle handle, uint32_t id)
{
    return bfsim_bfd_reg_supported(handle, id);
}

BFD_API uint32_t SDK_CALL BFRegPeek(CiBoardHandle handle, uint32_t id)
{
    return bfsim_bfd_reg_peek(handle, id);
}

BFD_API int32_t SDK_CALL BFRegPoke(CiBoardHandle handle, uint32_t id, uint32_t value)
{
    return bfsim_bfd_reg_poke(handle, id, value);
}

BFD_API int32_t SDK_CALL BFRegName(CiBoardHandle handle, uint32_t id, char *text, uint32_t size)
{
    return bfsim_bfd_reg_name(handle, id, text, size);
}

BFD_API BFTickStamp *SDK_CALL BFTick(BFTickStamp *tick)
{
    return bfsim_bfd_tick(tick);
}

BFD_API uint32_t SDK_CALL BFTickDelta(BFTickStamp *start, BFTickStamp *end)
{
    return bfsim_bfd_tick_delta(start, end);
}

BFD_API int32_t SDK_CALL BFOutputDebugString(const char *text)
{
    return bfsim_bfd_output_debug_string(text);
}

}  // extern "C"
