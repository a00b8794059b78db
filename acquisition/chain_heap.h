/*
 * The heap a buffer chain's two QTab arrays come from. It is a pair of
 * function pointers so that tests can make either allocation fail and count
 * releases; the library never changes it.
 */
#ifndef QOR_ACQUISITION_CHAIN_HEAP_H
#define QOR_ACQUISITION_CHAIN_HEAP_H

#include <cstddef>

namespace qor {

struct ChainHeap {
    void *(*allocate)(size_t bytes);  // null when there is no memory
    void (*release)(void *block);     // null releases nothing
};

// std::malloc and std::free unless a test says otherwise.
extern ChainHeap chainHeap;

}  // namespace qor

#endif
