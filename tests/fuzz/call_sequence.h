/*
 * The call-sequence fuzzer: episodes of random calls of the thirty BF_
 * functions, with valid and hostile slots and arguments and, in some
 * episodes, random SDK faults, held to a small model of what each slot
 * holds. Every episode ends by closing everything, then checks that no
 * simulated object and no library-held block is left.
 */
#ifndef QOR_TESTS_FUZZ_CALL_SEQUENCE_H
#define QOR_TESTS_FUZZ_CALL_SEQUENCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/documented_statuses.h"

namespace qorfuzz {

struct EpisodeResult {
    uint64_t calls = 0;                // BF_ calls made, the closing ones included
    uint64_t faults = 0;               // SDK faults armed and library allocations refused
    std::string broken;                // the first rule broken; empty when none was
    std::vector<std::string> log;      // every call and fault of the episode, in order
};

// Runs one episode of `calls` random calls drawn from `seed`, then closes
// everything and checks what is left. The simulator is reset and given the
// fuzzer's own population first.
EpisodeResult runEpisode(const StatusTable &statuses, uint64_t seed, int calls, bool withFaults);

// The log of the episode running now (for a watchdog or a sanitizer's
// death callback), or null between episodes.
const std::vector<std::string> *runningEpisodeLog();
// Calls made by every episode so far; a watchdog sees a hang as no progress.
uint64_t callsSoFar();

}  // namespace qorfuzz

#endif
