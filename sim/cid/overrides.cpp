/*
 * Overrides: answers a test imposes on inquiries and on the outputs of
 * functions whose results the library only reads.
 */
#include "state.h"

namespace bfsim {

std::optional<uint32_t> outputOverride(const char *function)
{
    const auto &outputs = state().outputs;
    auto found = outputs.find(function);
    if (found == outputs.end()) return std::nullopt;
    return found->second;
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API void bfsim_set_inquiry(uint32_t type, uint32_t number, uint32_t code,
                                            uint32_t value)
{
    std::lock_guard<std::mutex> held(lock());
    if (Board *board = findBoard(type, number)) board->inquiryOverrides[code] = value;
}

extern "C" BFSIM_API void bfsim_set_output(const char *function, uint32_t value)
{
    if (function == nullptr) return;
    std::lock_guard<std::mutex> held(lock());
    state().outputs[function] = value;
}

extern "C" BFSIM_API void bfsim_clear_output(const char *function)
{
    if (function == nullptr) return;
    std::lock_guard<std::mutex> held(lock());
    state().outputs.erase(function);
}
