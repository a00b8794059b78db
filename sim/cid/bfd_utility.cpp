/*
 * BFD's utility functions, carried out here in Cid for BFD to forward to:
 * time stamps (nanoseconds of the monotonic clock, differences in
 * milliseconds) and debug output (to stderr, and kept for tests).
 */
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>

#include "bfd_bridge.h"
#include "bfsim.h"
#include "entry.h"

using namespace bfsim;

namespace {

using Held = std::unique_lock<std::mutex>;
constexpr uint64_t kNanosPerMs = 1000000;

// A stamp holds nanoseconds of the steady clock, so deltas keep their
// precision until they are rounded to milliseconds.
uint64_t stampValue(const BFTickStamp &stamp)
{
    uint64_t value;
    std::memcpy(&value, &stamp, sizeof value);
    return value;
}

}  // namespace

extern "C" {

BFSIM_BRIDGE_API BFTickStamp *bfsim_bfd_tick(BFTickStamp *tick)
{
    return sdkCall<BFTickStamp *>("BFTick", {arg(tick)}, [&](Held &) -> BFTickStamp * {
        if (tick == nullptr) return nullptr;
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        const uint64_t value = static_cast<uint64_t>(now.count());
        std::memcpy(tick, &value, sizeof value);
        return tick;
    });
}

BFSIM_BRIDGE_API uint32_t bfsim_bfd_tick_delta(BFTickStamp *start, BFTickStamp *end)
{
    return sdkCall<uint32_t>("BFTickDelta", {arg(start), arg(end)}, [&](Held &) -> uint32_t {
        if (start == nullptr || end == nullptr) return 0;
        const uint64_t from = stampValue(*start);
        const uint64_t to = stampValue(*end);
        // Stamps given in the wrong order mean no time has passed, rather than
        // nearly 2^32 ms.
        if (to <= from) return 0;
        const uint64_t ms = (to - from) / kNanosPerMs;
        constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
        return static_cast<uint32_t>(ms < kMax ? ms : kMax);
    });
}

BFSIM_BRIDGE_API int32_t bfsim_bfd_output_debug_string(const char *text)
{
    return sdkCall<int32_t>("BFOutputDebugString", {arg(text)}, [&](Held &) -> int32_t {
        if (text == nullptr) return BFSIM_ERR_ARGUMENT;
        std::fprintf(stderr, "[BFD] %s\n", text);
        recordDebugOutput(text);
        return 0;
    });
}

}  // extern "C"
