/*
 * Shared by the controls suites: a board population with one board of each
 * kind the controls treat differently, and short ways to name a slot's board
 * in expected journal entries.
 */
#ifndef QOR_TESTS_CONTROLS_SUPPORT_H
#define QOR_TESTS_CONTROLS_SUPPORT_H

#include <cstdint>

#include "board/slots.h"
#include "support/sim_fixture.h"

namespace controlstest {

// Type 16: plain board with LUTs; type 64: R64; type 208: Gn2;
// type 32: the model without LUTs.
constexpr const char *kPopulation = R"({"boards": [
  {"type": 16, "generation": "plain", "model": 0,
   "cameras": [{"width": 64, "lines": 16, "framePeriodMs": 2, "waitTimeMs": 500}]},
  {"type": 64, "generation": "r64", "model": 0},
  {"type": 208, "generation": "gn2", "model": 0},
  {"type": 32, "generation": "plain", "model": 4142}
]})";

constexpr uint32_t kNoLutModel = 4142;

inline int64_t boardArg(int32_t slot)
{
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(qor::boardSlots[slot].board));
}

template <class T> int64_t addressArg(const T *p)
{
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(p));
}

// A fixture whose cases start with the population above loaded.
class ControlsTest : public qortest::SimTest {
protected:
    void SetUp() override
    {
        qortest::SimTest::SetUp();
        loadConfig(kPopulation);
    }
    qor::BoardSlot &slotOf(int32_t slot) { return qor::boardSlots[slot]; }
};

}  // namespace controlstest

#endif
