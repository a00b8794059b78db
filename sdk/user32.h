/*
 * The two Windows user-interface calls the library makes, with user32's own
 * C signatures. On Windows they come from USER32.dll; elsewhere the SDK's
 * libraries provide them (the simulator prints the message to stderr).
 */
#ifndef QOR_SDK_USER32_H
#define QOR_SDK_USER32_H

#include <stdint.h>

#ifndef USER32_API
#define USER32_API
#endif

#if defined(_WIN32)
#define USER32_CALL __stdcall
#else
#define USER32_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Style bits of MessageBoxA used by the library. */
#define QOR_MB_ICONERROR 0x00000010u
#define QOR_MB_TOPMOST 0x00040000u

/* The window holding the keyboard focus on the calling thread, or null. */
USER32_API void *USER32_CALL GetFocus(void);
/* Shows a modal message box; returns the button pressed, or 0 on failure. */
USER32_API int USER32_CALL MessageBoxA(void *owner, const char *text, const char *caption,
                                       uint32_t style);

#ifdef __cplusplus
}
#endif

#endif
