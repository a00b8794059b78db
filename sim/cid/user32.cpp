/*
 * GetFocus and MessageBoxA where there is no user32 (every build but
 * Windows): the message goes to stderr and is kept for tests, and the box
 * is "dismissed" at once with OK, so nothing ever blocks on a user.
 */
#if !defined(_WIN32)

#include <cinttypes>
#include <cstdio>

#include "entry.h"
#include "state.h"
#include "user32.h"

namespace {

constexpr int kIdOk = 1;

}  // namespace

using namespace bfsim;

extern "C" {

USER32_API void *USER32_CALL GetFocus(void)
{
    return sdkCall<void *>("GetFocus", {}, [](std::unique_lock<std::mutex> &) {
        return reinterpret_cast<void *>(BFSIM_FOCUS_WINDOW);
    });
}

USER32_API int USER32_CALL MessageBoxA(void *owner, const char *text, const char *caption,
                                       uint32_t style)
{
    return sdkCall<int>("MessageBoxA", {arg(owner), arg(text), arg(caption), arg(style)},
                        [&](std::unique_lock<std::mutex> &) {
        const char *shownText = text != nullptr ? text : "";
        const char *shownCaption = caption != nullptr ? caption : "";
        std::fprintf(stderr, "[MessageBoxA] %s: %s (style 0x%" PRIx32 ")\n", shownCaption, shownText,
                     style);
        bfsim_message_box shown{};
        shown.owner = reinterpret_cast<uintptr_t>(owner);
        shown.style = style;
        copyText(shown.caption, sizeof shown.caption, shownCaption);
        copyText(shown.text, sizeof shown.text, shownText);
        state().messageBoxes.push_back(shown);
        return kIdOk;
    });
}

}  // extern "C"

#endif
