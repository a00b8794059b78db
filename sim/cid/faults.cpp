/*
 * Fault injection: any SDK function can be made to fail on its Nth next
 * call, or on every call from the Nth on, with a result of the test's choice.
 */
#include <algorithm>
#include <string_view>

#include "state.h"

namespace bfsim {

std::optional<int32_t> takeFault(const char *function)
{
    if (state().faults.empty()) return std::nullopt;
    auto armed = state().faults.find(std::string_view(function));
    if (armed == state().faults.end()) return std::nullopt;
    std::optional<int32_t> result;
    std::vector<Fault> &faults = armed->second;
    for (Fault &fault : faults) {
        if (fault.remaining > 1) {
            --fault.remaining;
            continue;
        }
        // The earliest armed fault decides when two fire on one call.
        if (!result) result = fault.result;
        fault.remaining = 0;  // fired: a persistent fault fires again on every call
    }
    faults.erase(std::remove_if(faults.begin(), faults.end(),
                                [](const Fault &f) { return f.remaining == 0 && !f.persistent; }),
                 faults.end());
    if (faults.empty()) state().faults.erase(armed);
    return result;
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API void bfsim_fault(const char *function, int nth, int persistent, int32_t result)
{
    if (function == nullptr) return;
    std::lock_guard<std::mutex> held(lock());
    // Anything below 1 means the very next call, as 1 does.
    state().faults[function].push_back(Fault{std::max(nth, 1), persistent != 0, result});
}

extern "C" BFSIM_API void bfsim_fault_clear(void)
{
    std::lock_guard<std::mutex> held(lock());
    state().faults.clear();
}
