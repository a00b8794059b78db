/*
 * The one way into the simulated SDK. Every entry point, Cid's and BFD's,
 * runs its body through sdkCall() or boardCall(): the lock is taken once,
 * the call is journaled, an injected fault answers instead of the body, and
 * the board behind the handle is looked up, all in that order. Holding the
 * lock from the journal entry to the effect keeps the journal's order the
 * order in which the calls took effect.
 */
#ifndef QOR_SIM_CID_ENTRY_H
#define QOR_SIM_CID_ENTRY_H

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <type_traits>

#include "model.h"

namespace bfsim {

// The lock held for one SDK call, with what the journal and faults decided.
// The call's name stays known to its thread for the call's length, so a
// misuse found deep inside is recorded against it.
struct Entry {
    Entry(const char *function, std::initializer_list<int64_t> args);
    ~Entry();
    std::unique_lock<std::mutex> held;
    std::optional<int32_t> fault;
};

// Records a misuse of the running call. Call under lock(); defined in misuse.cpp.
void recordMisuse(const char *reason);

// An injected fault's result as the function's own type: a function
// answering a value answers the result as that value, one answering a
// pointer as that address.
template <class Result> Result faultAs(int32_t result)
{
    if constexpr (std::is_pointer_v<Result>)
        return reinterpret_cast<Result>(static_cast<intptr_t>(result));
    else
        return static_cast<Result>(result);
}

// An entry point that takes no board: `body(held)` gives its result.
template <class Result, class Body>
Result sdkCall(const char *function, std::initializer_list<int64_t> args, Body body)
{
    Entry entry(function, args);
    if (entry.fault) return faultAs<Result>(*entry.fault);
    return body(entry.held);
}

// An entry point on an open board: `body(board, held)` gives its result,
// and `noBoard` answers a handle the simulator did not issue or whose board
// is closed or closing.
template <class Result, class Body>
Result boardCall(const char *function, std::initializer_list<int64_t> args, void *handle,
                 Result noBoard, Body body)
{
    Entry entry(function, args);
    if (entry.fault) return faultAs<Result>(*entry.fault);
    Board *board = findBoard(handle);
    if (board == nullptr) {
        // A real SDK would follow the handle into freed memory.
        recordMisuse(handle == nullptr ? "null board handle"
                                       : "handle of a closed or unknown board");
        return noBoard;
    }
    return body(*board, entry.held);
}

}  // namespace bfsim

#endif
