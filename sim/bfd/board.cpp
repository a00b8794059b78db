/*
 * BFD's board queries: QTab mode and board generation.
 */
#include "bfd.h"
#include "bfsim.h"
#include "model.h"

using namespace bfsim;

namespace {

constexpr uint32_t kGranted = 1;

// The generation of an open board, or nothing for a handle not issued.
std::optional<uint32_t> generationOf(CiBoardHandle handle)
{
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    if (board == nullptr) return std::nullopt;
    return board->config.generation;
}

}  // namespace

extern "C" {

BFD_API int32_t SDK_CALL BFQTabModeRequest(CiBoardHandle handle, uint32_t mode, uint32_t *granted)
{
    if (auto r = enter("BFQTabModeRequest", {arg(handle), arg(mode), arg(granted)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    if (findBoard(handle) == nullptr) return BFSIM_ERR_HANDLE;
    // The simulated boards grant every QTab mode.
    if (granted != nullptr) *granted = outputOverride("BFQTabModeRequest").value_or(kGranted);
    return 0;
}

BFD_API int32_t SDK_CALL BFIsR64(CiBoardHandle handle)
{
    if (auto r = enter("BFIsR64", {arg(handle)})) return *r;
    return generationOf(handle) == std::optional<uint32_t>(BFSIM_GEN_R64) ? 1 : 0;
}

BFD_API int32_t SDK_CALL BFIsGn2(CiBoardHandle handle)
{
    if (auto r = enter("BFIsGn2", {arg(handle)})) return *r;
    return generationOf(handle) == std::optional<uint32_t>(BFSIM_GEN_GN2) ? 1 : 0;
}

}  // extern "C"
