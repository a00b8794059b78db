/*
 * BFD's time stamps: milliseconds of the monotonic clock.
 */
#include <chrono>
#include <cstring>
#include <limits>

#include "bfd.h"
#include "model.h"

using namespace bfsim;

namespace {

using Clock = std::chrono::steady_clock;

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

BFD_API BFTickStamp *SDK_CALL BFTick(BFTickStamp *tick)
{
    if (auto r = enter("BFTick", {arg(tick)}))
        return reinterpret_cast<BFTickStamp *>(static_cast<intptr_t>(*r));
    if (tick == nullptr) return nullptr;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        Clock::now().time_since_epoch());
    const uint64_t value = static_cast<uint64_t>(now.count());
    std::memcpy(tick, &value, sizeof value);
    return tick;
}

BFD_API uint32_t SDK_CALL BFTickDelta(BFTickStamp *start, BFTickStamp *end)
{
    if (auto r = enter("BFTickDelta", {arg(start), arg(end)})) return static_cast<uint32_t>(*r);
    if (start == nullptr || end == nullptr) return 0;
    const uint64_t from = stampValue(*start);
    const uint64_t to = stampValue(*end);
    // Stamps given in the wrong order mean no time has passed, rather than
    // nearly 2^32 ms.
    if (to <= from) return 0;
    constexpr uint64_t kNanosPerMs = 1000000;
    const uint64_t ms = (to - from) / kNanosPerMs;
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(ms < kMax ? ms : kMax);
}

}  // extern "C"
