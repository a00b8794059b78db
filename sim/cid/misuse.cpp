/*
 * Misuse: calls a real SDK would punish, and the simulator survives. A
 * signal or QTab freed twice, a wait on a freed signal, an engine handed to
 * a second acquisition, a buffer smaller than its frame, a closed board's
 * handle: each is recorded with the call and the journal entry it came
 * from, so a test can fail on it rather than pass by the simulator's grace.
 */
#include <cstdio>
#include <cstdlib>

#include "entry.h"
#include "state.h"

namespace bfsim {
namespace {

// The SDK call running on this thread; a call that sleeps keeps its name.
thread_local const char *runningCall = nullptr;

bool reportToStderr()
{
    static const bool on = std::getenv("QOR_SIM_REPORT_MISUSE") != nullptr;
    return on;
}

}  // namespace

void enterCall(const char *function)
{
    runningCall = function;
}

void leaveCall()
{
    runningCall = nullptr;
}

void recordMisuse(const char *reason)
{
    SimState &s = state();
    bfsim_misuse misuse{};
    copyText(misuse.function, sizeof misuse.function, runningCall ? runningCall : "?");
    copyText(misuse.reason, sizeof misuse.reason, reason);
    misuse.journalIndex = s.journalOn ? static_cast<int64_t>(s.journal.size()) - 1 : -1;
    s.misuses.push_back(misuse);
    if (reportToStderr()) std::fprintf(stderr, "bfsim misuse: %s: %s\n", misuse.function, reason);
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API int bfsim_misuse_count(void)
{
    std::lock_guard<std::mutex> held(lock());
    return static_cast<int>(state().misuses.size());
}

extern "C" BFSIM_API int bfsim_misuse_get(int index, bfsim_misuse *out)
{
    std::lock_guard<std::mutex> held(lock());
    const SimState &s = state();
    if (out == nullptr || index < 0 || static_cast<size_t>(index) >= s.misuses.size()) return -1;
    *out = s.misuses[static_cast<size_t>(index)];
    return 0;
}

extern "C" BFSIM_API void bfsim_misuse_clear(void)
{
    std::lock_guard<std::mutex> held(lock());
    state().misuses.clear();
}
