/*
 * Helpers for the simulator's own tests: opening boards through the SDK
 * and looking at a board's model state.
 */
#ifndef QOR_TESTS_SIM_CORE_SUPPORT_H
#define QOR_TESTS_SIM_CORE_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "bfd.h"
#include "bfsim.h"
#include "cid.h"
#include "cid/probes.h"
#include "support/sim_fixture.h"

namespace simtest {

constexpr uint32_t kType16 = 16, kType32 = 32, kType64 = 64, kType208 = 208;

class SimCoreTest : public qortest::SimTest {
protected:
    void SetUp() override
    {
        qortest::SimTest::SetUp();
        checkNothingLive = false;
    }
    // Finds and opens board `number` of `type`, expecting success.
    CiBoardHandle openBoard(uint32_t type, uint32_t number = 0)
    {
        CiBoardEntry entry{};
        CiBoardHandle handle = nullptr;
        EXPECT_EQ(CiSysBrdFind(type, number, &entry), 0);
        EXPECT_EQ(CiBrdOpen(&entry, &handle, 65), 0);
        EXPECT_NE(handle, nullptr);
        return handle;
    }

    static uint32_t inquiry(CiBoardHandle handle, uint32_t code)
    {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(CiBrdInquire(handle, code, &value), 0) << "inquiry " << code;
        return value;
    }

    static uint32_t boardCount(uint32_t type)
    {
        uint32_t count = 0xDEADBEEF;
        EXPECT_EQ(CiSysBrdEnum(type, &count), 0);
        return count;
    }
};

// What the simulator's probe reads of an open board.
inline bfsim_probe_board probeBoard(CiBoardHandle handle)
{
    bfsim_probe_board probe{};
    if (bfsim_probe_board_get(handle, &probe) != 0)
        throw std::runtime_error("no open board behind the handle");
    return probe;
}

}  // namespace simtest

#endif
