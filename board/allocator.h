/*
 * Every allocation the library makes goes through this one table: the
 * ordinary heap (QTab arrays, the record of live blocks) and the
 * page-aligned blocks BF_AllocBuffer hands out. Tests replace it to fail
 * the Nth allocation or to count what is still held; the library itself
 * never changes it. An entry answers null when there is no memory and
 * never throws.
 */
#ifndef QOR_BOARD_ALLOCATOR_H
#define QOR_BOARD_ALLOCATOR_H

#include <cstddef>

namespace qor {

struct Allocator {
    void *(*allocate)(size_t bytes);       // ordinary heap; null when there is no memory
    void (*release)(void *block);          // null releases nothing
    void *(*allocatePages)(size_t bytes);  // on a 4096-byte boundary; null when there is no memory
    void (*releasePages)(void *block);     // null releases nothing
};

// The system's heap and page allocator.
extern const Allocator kSystemAllocator;
// The table in use: kSystemAllocator unless a test installed another.
extern Allocator allocator;

}  // namespace qor

#endif
