/*
 * Test support: a fixture that gives every case a fresh simulated board
 * population, and helpers to read the simulator's call journal.
 */
#ifndef QOR_TESTS_SIM_FIXTURE_H
#define QOR_TESTS_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bfsim.h"
#include "qor_bitflow.h"

namespace qortest {

// One journaled SDK call, comparable in EXPECT_EQ.
struct Call {
    std::string function;
    std::vector<int64_t> args;
    bool operator==(const Call &other) const
    {
        return function == other.function && args == other.args;
    }
};
std::ostream &operator<<(std::ostream &os, const Call &call);

// An expected argument that matches any value (an address of a local, say).
constexpr int64_t kAny = INT64_MIN;

// An address as the journal records it.
inline int64_t addr(const void *p)
{
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(p));
}

// The journaled calls match `expected` call for call, kAny matching any argument.
::testing::AssertionResult callsMatch(const std::vector<Call> &actual,
                                      const std::vector<Call> &expected);

// Every call journaled since the last clear.
std::vector<Call> journal();
// Only the calls of the named functions, in order.
std::vector<Call> journalOf(std::initializer_list<const char *> functions);
// Only the names of the journaled calls, in order.
std::vector<std::string> journalNames();
// The messages written through BFOutputDebugString since the last reset.
std::vector<std::string> debugOutput();

// No SDK call was misused since the last reset (the misuses listed if any).
::testing::AssertionResult nothingMisused();
// The functions of the misuses recorded since the last clear, in order; then
// forgets them, for a case that misuses the SDK on purpose.
std::vector<std::string> takeMisuses();
// No simulated object is live (the kinds and counts listed if any).
::testing::AssertionResult nothingLive();

// Resets the simulator (default population unless the case loads its own),
// resets the library's tables to their load-time state, and turns the
// journal on. TearDown runs the documented teardown (stop, free, clean-ups,
// close) of every slot the case left open, then fails the case if any SDK
// call was misused or any simulated object is still live.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The simulator's own suites drive the SDK directly and leave what they
    // open for bfsim_reset to close; they still may misuse nothing by accident.
    bool checkNothingLive = true;

    // Loads a population from JSON text; fails the test if it does not load.
    void loadConfig(const std::string &json);
    // Opens board `number` of `family`, expecting success; returns the slot.
    int32_t open(int32_t family = BF_FAMILY_16, uint32_t number = 0);
    // The board handle of a slot, as the journal records it.
    static int64_t board(int32_t slot);
};

// Puts the library's tables back as they are when the library is loaded.
void resetLibraryState();

}  // namespace qortest

#endif
