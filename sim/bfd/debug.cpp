/*
 * BFD's debug output: to stderr, and kept for tests.
 */
#include <cstdio>

#include "bfd.h"
#include "bfsim.h"
#include "model.h"

using namespace bfsim;

extern "C" BFD_API int32_t SDK_CALL BFOutputDebugString(const char *text)
{
    if (auto r = enter("BFOutputDebugString", {arg(text)})) return *r;
    if (text == nullptr) return BFSIM_ERR_ARGUMENT;
    std::fprintf(stderr, "[BFD] %s\n", text);
    std::lock_guard<std::mutex> held(lock());
    recordDebugOutput(text);
    return 0;
}
