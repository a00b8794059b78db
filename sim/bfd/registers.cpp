/*
 * BFD's register access, on the register file of the board in Cid.
 */
#include <cstring>

#include "bfd.h"
#include "bfsim.h"
#include "controls.h"

using namespace bfsim;

extern "C" {

BFD_API int32_t SDK_CALL BFRegSupported(CiBoardHandle handle, uint32_t id)
{
    if (auto r = enter("BFRegSupported", {arg(handle), arg(id)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    return board != nullptr && registerSupported(*board, id) ? 1 : 0;
}

BFD_API uint32_t SDK_CALL BFRegPeek(CiBoardHandle handle, uint32_t id)
{
    if (auto r = enter("BFRegPeek", {arg(handle), arg(id)})) return static_cast<uint32_t>(*r);
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    return board != nullptr ? registerRead(*board, id) : 0;
}

BFD_API int32_t SDK_CALL BFRegPoke(CiBoardHandle handle, uint32_t id, uint32_t value)
{
    if (auto r = enter("BFRegPoke", {arg(handle), arg(id), arg(value)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    Board *board = findBoard(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    return registerWrite(*board, id, value);
}

BFD_API int32_t SDK_CALL BFRegName(CiBoardHandle handle, uint32_t id, char *text, uint32_t size)
{
    if (auto r = enter("BFRegName", {arg(handle), arg(id), arg(text), arg(size)})) return *r;
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(handle);
    if (board == nullptr) return BFSIM_ERR_HANDLE;
    const char *name = registerName(*board, id);
    if (name == nullptr) return BFSIM_ERR_NOT_FOUND;
    // Nothing is written unless the whole name and its zero byte fit.
    const size_t needed = std::strlen(name) + 1;
    if (text == nullptr || size < needed) return BFSIM_ERR_ARGUMENT;
    std::memcpy(text, name, needed);
    return 0;
}

}  // extern "C"
