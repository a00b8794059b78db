/*
 * What the simulator showed the user: debug messages and message boxes,
 * kept for tests since the last reset.
 */
#include "state.h"

namespace bfsim {

void recordDebugOutput(const char *text)
{
    state().debugOutput.emplace_back(text);
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API int bfsim_message_box_count(void)
{
    std::lock_guard<std::mutex> held(lock());
    return static_cast<int>(state().messageBoxes.size());
}

extern "C" BFSIM_API int bfsim_message_box_get(int index, bfsim_message_box *out)
{
    std::lock_guard<std::mutex> held(lock());
    const auto &shown = state().messageBoxes;
    if (out == nullptr || index < 0 || static_cast<size_t>(index) >= shown.size()) return -1;
    *out = shown[static_cast<size_t>(index)];
    return 0;
}

extern "C" BFSIM_API int bfsim_debug_output_count(void)
{
    std::lock_guard<std::mutex> held(lock());
    return static_cast<int>(state().debugOutput.size());
}

extern "C" BFSIM_API int bfsim_debug_output_get(int index, char *text, size_t size)
{
    std::lock_guard<std::mutex> held(lock());
    const auto &written = state().debugOutput;
    if (text == nullptr || size == 0 || index < 0 || static_cast<size_t>(index) >= written.size())
        return -1;
    copyText(text, size, written[static_cast<size_t>(index)].c_str());
    return 0;
}
