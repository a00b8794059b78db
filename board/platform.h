/*
 * The few calls that differ between Windows and other systems: page-aligned
 * allocation and the modal message box. Nothing else in the library
 * depends on the platform.
 */
#ifndef QOR_BOARD_PLATFORM_H
#define QOR_BOARD_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace qor::platform {

constexpr size_t kPageAlignment = 4096;

// `size` bytes on a 4096-byte boundary, or null.
void *alignedAlloc(size_t size);
// Releases a block from alignedAlloc; null releases nothing.
void alignedFree(void *block);

// A modal message box owned by the focused window; returns when dismissed.
void messageBox(const char *text, const char *caption, uint32_t style);

}  // namespace qor::platform

#endif
