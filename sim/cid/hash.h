/*
 * The simulator's one source of seeded randomness: a stateless hash, so a
 * random choice depends only on what it is about (seed, frame, pixel) and a
 * run is reproduced whatever its timing.
 */
#ifndef QOR_SIM_CID_HASH_H
#define QOR_SIM_CID_HASH_H

#include <cstdint>

namespace bfsim {

// SplitMix64's finaliser: every input bit changes about half the output.
inline uint64_t mix(uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A hash as a number in [0, 1), from its top 53 bits.
inline double unitInterval(uint64_t bits)
{
    return double(bits >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace bfsim

#endif
