/*
 * The call journal, and the first step of every SDK function.
 */
#include <algorithm>
#include <cstring>

#include "entry.h"
#include "state.h"

namespace bfsim {

void copyText(char *out, size_t size, const char *text)
{
    if (out == nullptr || size == 0) return;
    const size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
}

void journalCall(const char *function, std::initializer_list<int64_t> args)
{
    SimState &s = state();
    if (!s.journalOn) return;
    bfsim_call call{};
    copyText(call.function, sizeof call.function, function);
    constexpr size_t kMaxArgs = sizeof call.args / sizeof call.args[0];
    call.argc = static_cast<int>(std::min(args.size(), kMaxArgs));
    std::copy_n(args.begin(), call.argc, call.args);
    s.journal.push_back(call);
}

Entry::Entry(const char *function, std::initializer_list<int64_t> args) : held(lock())
{
    ensureLoaded();
    journalCall(function, args);
    enterCall(function);
    fault = takeFault(function);
}

Entry::~Entry()
{
    leaveCall();
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API void bfsim_journal_enable(int on)
{
    std::lock_guard<std::mutex> held(lock());
    state().journalOn = on != 0;
}

extern "C" BFSIM_API void bfsim_journal_clear(void)
{
    std::lock_guard<std::mutex> held(lock());
    state().journal.clear();
}

extern "C" BFSIM_API size_t bfsim_journal_size(void)
{
    std::lock_guard<std::mutex> held(lock());
    return state().journal.size();
}

extern "C" BFSIM_API int bfsim_journal_get(size_t index, bfsim_call *out)
{
    std::lock_guard<std::mutex> held(lock());
    const SimState &s = state();
    if (out == nullptr || index >= s.journal.size()) return -1;
    *out = s.journal[index];
    return 0;
}
