/*
 * BFD's board functions, carried out here in Cid for BFD to forward to:
 * QTab mode, board generation and the register file.
 */
#include <cstring>

#include "bfd_bridge.h"
#include "bfsim.h"
#include "controls.h"
#include "entry.h"

using namespace bfsim;

namespace {

constexpr uint32_t kGranted = 1;
using Held = std::unique_lock<std::mutex>;

int32_t isGeneration(const char *function, CiBoardHandle handle, uint32_t generation)
{
    return boardCall(function, {arg(handle)}, handle, int32_t{0},
                     [&](Board &board, Held &) { return board.config.generation == generation ? 1 : 0; });
}

}  // namespace

extern "C" {

BFSIM_BRIDGE_API int32_t bfsim_bfd_qtab_mode_request(CiBoardHandle handle, uint32_t mode, uint32_t *granted)
{
    return boardCall("BFQTabModeRequest", {arg(handle), arg(mode), arg(granted)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &, Held &) {
        // The simulated boards grant every QTab mode.
        if (granted != nullptr) *granted = outputOverride("BFQTabModeRequest").value_or(kGranted);
        return 0;
    });
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_is_r64(CiBoardHandle handle)
{
    return isGeneration("BFIsR64", handle, BFSIM_GEN_R64);
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_is_gn2(CiBoardHandle handle)
{
    return isGeneration("BFIsGn2", handle, BFSIM_GEN_GN2);
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_supported(CiBoardHandle handle, uint32_t id)
{
    return boardCall("BFRegSupported", {arg(handle), arg(id)}, handle, int32_t{0},
                     [&](Board &board, Held &) { return registerSupported(board, id) ? 1 : 0; });
}

BFSIM_BRIDGE_API uint32_t bfsim_bfd_reg_peek(CiBoardHandle handle, uint32_t id)
{
    return boardCall("BFRegPeek", {arg(handle), arg(id)}, handle, uint32_t{0},
                     [&](Board &board, Held &) { return registerRead(board, id); });
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_poke(CiBoardHandle handle, uint32_t id, uint32_t value)
{
    return boardCall("BFRegPoke", {arg(handle), arg(id), arg(value)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, Held &) { return registerWrite(board, id, value); });
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_reg_name(CiBoardHandle handle, uint32_t id, char *text, uint32_t size)
{
    return boardCall("BFRegName", {arg(handle), arg(id), arg(text), arg(size)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, Held &) {
        const char *name = registerName(board, id);
        if (name == nullptr) return BFSIM_ERR_NOT_FOUND;
        // Nothing is written unless the whole name and its zero byte fit.
        const size_t needed = std::strlen(name) + 1;
        if (text == nullptr || size < needed) return BFSIM_ERR_ARGUMENT;
        std::memcpy(text, name, needed);
        return 0;
    });
}

}  // extern "C"
