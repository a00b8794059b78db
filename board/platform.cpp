#include "board/platform.h"

#include <cstdlib>

#if defined(_WIN32)
#include <malloc.h>
#endif

#include "user32.h"

namespace qor::platform {

void *alignedAlloc(size_t size)
{
#if defined(_WIN32)
    return _aligned_malloc(size, kPageAlignment);
#else
    void *block = nullptr;
    return posix_memalign(&block, kPageAlignment, size) == 0 ? block : nullptr;
#endif
}

void alignedFree(void *block)
{
#if defined(_WIN32)
    _aligned_free(block);
#else
    std::free(block);
#endif
}

void messageBox(const char *text, const char *caption, uint32_t style)
{
    MessageBoxA(GetFocus(), text, caption, style);
}

}  // namespace qor::platform
