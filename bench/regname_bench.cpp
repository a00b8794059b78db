// Cost of translating register names and ids through the library on the
// simulated board's register file: a name found early, the deepest name a
// search can reach, a name that is nowhere, and the id-to-name direction.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bfsim.h"
#include "qor_bitflow.h"

namespace {

constexpr uint32_t kNameCapacity = 64;
constexpr int32_t kNameToId = 0;
constexpr int32_t kIdToName = 1;

class OpenBoard {
public:
    OpenBoard()
    {
        bfsim_reset();
        uint32_t d = 0, p = 0, w = 0, l = 0;
        if (BF_Open(nullptr, &d, &p, &w, &l, 0, BF_FAMILY_16, &slot_) != BF_OK) slot_ = -1;
    }
    ~OpenBoard()
    {
        if (slot_ >= 0) BF_Close(slot_);
    }
    int32_t slot() const { return slot_; }

private:
    int32_t slot_ = -1;
};

void nameToId(benchmark::State &state, const char *name, int32_t expected)
{
    OpenBoard board;
    if (board.slot() < 0) return state.SkipWithError("BF_Open failed");
    std::string text = name;
    for (auto _ : state) {
        uint32_t id = 0;
        const int32_t status = BF_RegNametoId(board.slot(), &id, text.data(), kNameCapacity, kNameToId);
        if (status != expected) return state.SkipWithError(bf_status_name(status));
        benchmark::DoNotOptimize(id);
    }
}

void idToName(benchmark::State &state)
{
    OpenBoard board;
    if (board.slot() < 0) return state.SkipWithError("BF_Open failed");
    char name[kNameCapacity];
    for (auto _ : state) {
        uint32_t id = BFSIM_REG_PULSE_WIDTH;
        const int32_t status = BF_RegNametoId(board.slot(), &id, name, sizeof name, kIdToName);
        if (status != BF_OK) return state.SkipWithError(bf_status_name(status));
        benchmark::DoNotOptimize(name);
    }
}

BENCHMARK_CAPTURE(nameToId, early_GAIN, BFSIM_REG_GAIN_NAME, BF_OK);
BENCHMARK_CAPTURE(nameToId, deepest_found, BFSIM_REG_PULSE_WIDTH_NAME, BF_OK);
BENCHMARK_CAPTURE(nameToId, not_found, "NO_SUCH_REGISTER", BF_E_REGISTER_UNSUPPORTED);
BENCHMARK(idToName);

}  // namespace

BENCHMARK_MAIN();
