// Frames per second of a chained grab through the library on the simulated
// board, at the simulator's shortest frame period (1 ms), so what is measured
// is how fast frames reach the host rather than a camera's rate.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bfsim.h"
#include "qor_bitflow.h"
#include "support/page_buffer.h"

namespace {

constexpr int32_t kChainBuffers = 4;
constexpr uint32_t kWaitTimeoutMs = 1000;

std::string oneBoard(uint32_t width, uint32_t lines, uint32_t depth, uint32_t bytesPerPixel)
{
    return "{\"boards\":[{\"type\":16,\"cameras\":[{\"width\":" + std::to_string(width) +
           ",\"lines\":" + std::to_string(lines) + ",\"bitDepth\":" + std::to_string(depth) +
           ",\"bytesPerPixel\":" + std::to_string(bytesPerPixel) + ",\"framePeriodMs\":1}]}]}";
}

void chainGrab(benchmark::State &state, uint32_t width, uint32_t lines, uint32_t depth,
               uint32_t bytesPerPixel)
{
    bfsim_reset();
    if (bfsim_load_config(oneBoard(width, lines, depth, bytesPerPixel).c_str()) != 0)
        return state.SkipWithError("the simulator refused the configuration");
    uint32_t d = 0, p = 0, w = 0, l = 0;
    int32_t slot = -1;
    if (BF_Open(nullptr, &d, &p, &w, &l, 0, BF_FAMILY_16, &slot) != BF_OK)
        return state.SkipWithError("BF_Open failed");
    qortest::PageBufferRing buffers(size_t{w} * p * l, kChainBuffers);
    if (BF_BufferSetup(buffers.pointers.data(), w, kChainBuffers, slot) != BF_OK ||
        BF_Grab(slot, 1) != BF_OK) {
        BF_Close(slot);
        return state.SkipWithError("chain set-up or grab failed");
    }
    uint64_t ended = 0;
    for (auto _ : state) {
        uint32_t count = 0;
        if (BF_Wait(kWaitTimeoutMs, slot, 0, &count) != BF_OK) {
            state.SkipWithError("BF_Wait failed");
            break;
        }
        ended += count == 0 ? 1 : count;
    }
    BF_Stop(slot);
    BF_BufferCleanup(slot);
    BF_Close(slot);
    const auto received = static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(received, benchmark::Counter::kIsRate);
    state.counters["missed"] = static_cast<double>(ended) - received;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w * p * l);
}

BENCHMARK_CAPTURE(chainGrab, 640x480x1, 640, 480, 8, 1)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(chainGrab, 2048x2048x2, 2048, 2048, 16, 2)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
