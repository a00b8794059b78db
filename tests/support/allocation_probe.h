/*
 * Test support: while an AllocationProbe lives, every allocation the
 * library makes goes through it, so a test can refuse the Nth one and see
 * how many blocks the library still holds.
 */
#ifndef QOR_TESTS_ALLOCATION_PROBE_H
#define QOR_TESTS_ALLOCATION_PROBE_H

namespace qortest {

class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe &) = delete;
    AllocationProbe &operator=(const AllocationProbe &) = delete;

    // Refuses the nth allocation counted from now (1 = the next); 0 refuses none.
    void failAt(int nth);
    // Allocations asked for since the probe was made (refused ones included).
    int allocations() const;
    // Blocks handed out and not yet released.
    int held() const;
};

}  // namespace qortest

#endif
