// The simulated board as a camera: what a frame costs the process beyond
// the copy of its pixels, how well the frame schedule keeps time, and what
// the library's wrappers add to the SDK calls they make. Every figure is a
// ratio or a difference taken within one run, so a slower or busier machine
// shifts both sides alike.
#include <benchmark/benchmark.h>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <ctime>
#include <string>
#include <thread>

#include "bfd.h"
#include "bfsim.h"
#include "cid.h"
#include "qor_bitflow.h"
#include "support/page_buffer.h"

namespace {

constexpr int32_t kChainBuffers = 4;
constexpr uint32_t kWaitTimeoutMs = 1000;
constexpr uint32_t kUsPerMs = 1000;
constexpr double kNsPerUs = 1e3;
constexpr int kMemcpyRounds = 64;

double processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

double wallNs()
{
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

// A whole number of milliseconds is written the way every build of the
// simulator reads it; anything finer needs the microsecond key.
std::string periodMember(uint32_t periodUs)
{
    if (periodUs % kUsPerMs == 0) return "\"framePeriodMs\":" + std::to_string(periodUs / kUsPerMs);
    return "\"framePeriodUs\":" + std::to_string(periodUs);
}

// `extra` holds more members of the camera object, each followed by a comma.
std::string camera(uint32_t width, uint32_t lines, uint32_t bytesPerPixel, uint32_t periodUs,
                   const std::string &extra = "")
{
    return "{" + extra + "\"width\":" + std::to_string(width) + ",\"lines\":" + std::to_string(lines) +
           ",\"bitDepth\":" + std::to_string(8 * bytesPerPixel) +
           ",\"bytesPerPixel\":" + std::to_string(bytesPerPixel) + "," + periodMember(periodUs) + "}";
}

// Two boards of type 16 with the same camera: the library opens the first,
// the bare SDK calls use the second.
std::string population(const std::string &cam)
{
    return "{\"boards\":[{\"type\":16,\"cameras\":[" + cam + "]},{\"type\":16,\"cameras\":[" + cam + "]}]}";
}

// One memcpy of a frame into the buffers of a ring, in CPU ns, averaged
// over the ring so no copy finds its destination in cache from the last.
double memcpyNs(qortest::PageBufferRing &ring, size_t bytes)
{
    qortest::PageBuffer source(bytes, 0x5A);
    const double start = processCpuNs();
    for (int i = 0; i < kMemcpyRounds; ++i) {
        std::memcpy(ring.pointers[i % ring.pointers.size()], source.data(), bytes);
        benchmark::ClobberMemory();
    }
    return (processCpuNs() - start) / kMemcpyRounds;
}

class LibraryGrab {
public:
    LibraryGrab(benchmark::State &state, uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                uint32_t periodUs, const std::string &extra = "")
        : state_(state)
    {
        bfsim_reset();
        if (bfsim_load_config(population(camera(width, lines, bytesPerPixel, periodUs, extra)).c_str()) != 0) {
            state.SkipWithError("the simulator refused the camera");
            return;
        }
        uint32_t d = 0, p = 0, w = 0, l = 0;
        if (BF_Open(nullptr, &d, &p, &w, &l, 0, BF_FAMILY_16, &slot_) != BF_OK) {
            state.SkipWithError("BF_Open failed");
            return;
        }
        frameBytes_ = size_t{w} * p * l;
        ring_ = std::make_unique<qortest::PageBufferRing>(frameBytes_, kChainBuffers);
        if (BF_BufferSetup(ring_->pointers.data(), w, kChainBuffers, slot_) != BF_OK) {
            state.SkipWithError("chain set-up failed");
            return;
        }
        ready_ = true;
    }
    ~LibraryGrab()
    {
        if (slot_ < 0) return;
        BF_Stop(slot_);
        if (ready_) BF_BufferCleanup(slot_);
        BF_Close(slot_);
    }
    bool start()
    {
        if (!ready_) return false;
        if (BF_Grab(slot_, 1) != BF_OK) {
            state_.SkipWithError("BF_Grab failed");
            return false;
        }
        return true;
    }
    // One frame reaches the host; false (and the run marked failed) when the
    // wait fails.
    bool wait(uint32_t &count)
    {
        if (BF_Wait(kWaitTimeoutMs, slot_, 0, &count) == BF_OK) return true;
        state_.SkipWithError("BF_Wait failed");
        return false;
    }
    bool ready() const { return ready_; }
    int32_t slot() const { return slot_; }
    size_t frameBytes() const { return frameBytes_; }
    qortest::PageBufferRing &ring() { return *ring_; }

private:
    benchmark::State &state_;
    int32_t slot_ = -1;
    bool ready_ = false;
    size_t frameBytes_ = 0;
    std::unique_ptr<qortest::PageBufferRing> ring_;
};

uint64_t simulatedFrames()
{
    return bfsim_frames_completed(16, 0);
}

// Frames the camera lost because the engine could not write them in their slot.
uint64_t lateFrames()
{
    bfsim_engine_info info{};
    return bfsim_engine_info_get(16, 0, &info) == 0 ? info.framesLate : 0;
}

// One grab measured while the host waits for each frame in turn: the
// process's CPU and wall time, the frames the camera made and lost late, the
// frames the host received and those its waits reported, and one memcpy of
// the frame into the same ring.
struct Delivery {
    double copyNs = 0, cpuNs = 0, wallTimeNs = 0, made = 0, late = 0;
    uint64_t received = 0, reported = 0;
    double cpuPerFrameNs() const { return cpuNs / made; }
};

std::optional<Delivery> measureDelivery(benchmark::State &state, LibraryGrab &grab)
{
    if (!grab.ready()) return std::nullopt;
    Delivery d;
    d.copyNs = memcpyNs(grab.ring(), grab.frameBytes());
    if (!grab.start()) return std::nullopt;
    uint32_t count = 0;
    if (!grab.wait(count)) return std::nullopt;  // the schedule has started
    const uint64_t framesBefore = simulatedFrames(), lateBefore = lateFrames();
    const double cpuBefore = processCpuNs(), wallBefore = wallNs();
    for (auto _ : state) {
        if (!grab.wait(count)) return std::nullopt;
        ++d.received;
        d.reported += count;
    }
    d.cpuNs = processCpuNs() - cpuBefore;
    d.wallTimeNs = wallNs() - wallBefore;
    d.made = double(simulatedFrames() - framesBefore);
    d.late = double(lateFrames() - lateBefore);
    return d;
}

// The process's CPU time per frame made while the host waits for each in
// turn, against one memcpy of the frame: the ratio, and the difference (the
// fixed cost of a frame beyond its pixels).
void deliveryCost(benchmark::State &state, uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                  uint32_t periodUs)
{
    LibraryGrab grab(state, width, lines, bytesPerPixel, periodUs);
    const std::optional<Delivery> d = measureDelivery(state, grab);
    if (!d) return;
    const double cpuPerFrame = d->cpuPerFrameNs();
    state.counters["fps"] = d->made / (d->wallTimeNs / 1e9);
    state.counters["cpu_us"] = cpuPerFrame / kNsPerUs;
    state.counters["memcpy_us"] = d->copyNs / kNsPerUs;
    state.counters["fixed_us"] = (cpuPerFrame - d->copyNs) / kNsPerUs;
    state.counters["ratio"] = cpuPerFrame / d->copyNs;
    state.counters["missed"] = double(d->reported - d->received);
    state.counters["late_pct"] = 100 * d->late / (d->made + d->late);
    state.counters["bytes"] = double(grab.frameBytes());
}

// A source at the rate a camera of its size runs: the frames delivered per
// second against the rate set, the share the host missed or the camera lost
// late, and the CPU per frame against one memcpy. `members` selects the
// source; the ramp at the same size and rate is the scene's yardstick.
void sourceCost(benchmark::State &state, const char *members, uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                uint32_t periodUs)
{
    LibraryGrab grab(state, width, lines, bytesPerPixel, periodUs, members);
    const std::optional<Delivery> d = measureDelivery(state, grab);
    if (!d) return;
    state.counters["fps"] = d->made / (d->wallTimeNs / 1e9);
    state.counters["fps_set"] = 1e6 / periodUs;
    state.counters["cpu_us"] = d->cpuPerFrameNs() / kNsPerUs;
    state.counters["memcpy_us"] = d->copyNs / kNsPerUs;
    state.counters["ratio"] = d->cpuPerFrameNs() / d->copyNs;
    state.counters["missed_pct"] = 100 * double(d->reported - d->received) / double(d->reported);
    state.counters["late_pct"] = 100 * d->late / (d->made + d->late);
}

// Frames per second a host waiting on every frame receives, by frame size,
// at the 10 kHz period: small frames keep the camera's rate, large ones are
// bound by the copy.
void sizeSweep(benchmark::State &state)
{
    const auto side = static_cast<uint32_t>(state.range(0));
    deliveryCost(state, side, side, 1, 100);
}

// What one wake-up of a thread that sleeps to an absolute deadline costs
// this machine, with no frame and no other thread involved: the floor under
// any engine that sleeps between frames.
void sleepWakeFloor(benchmark::State &state, uint32_t periodUs)
{
    auto deadline = std::chrono::steady_clock::now();
    const double cpuBefore = processCpuNs();
    for (auto _ : state) {
        deadline += std::chrono::microseconds(periodUs);
        std::this_thread::sleep_until(deadline);
    }
    state.counters["cpu_us"] = (processCpuNs() - cpuBefore) / double(state.iterations()) / kNsPerUs;
}

// What a host pays per frame for the least a camera thread could do: a
// bare thread sleeping to absolute deadlines one period apart, each frame a
// count raised under a mutex and a condition variable notified, and a host
// thread waiting on it for every frame. No pixels, no SDK.
struct Floor {
    double cpuNsPerFrame = 0;
    double framesPerSecond = 0;
    double missedShare = 0;  // frames a host's wait found more than one of
};

// The timer slack the simulator's frame thread asks for too, so that the
// floor's sleeps are as precise as the engine's.
void preciseWakeUps()
{
#if defined(__linux__)
    prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
}

Floor measureFloor(uint32_t periodUs, uint64_t frames)
{
    std::mutex mutex;
    std::condition_variable ended;
    uint64_t made = 0;
    const double cpuBefore = processCpuNs(), wallBefore = wallNs();
    std::thread camera([&] {
        preciseWakeUps();
        auto deadline = std::chrono::steady_clock::now();
        for (uint64_t f = 0; f < frames; ++f) {
            deadline += std::chrono::microseconds(periodUs);
            std::this_thread::sleep_until(deadline);
            {
                std::lock_guard<std::mutex> held(mutex);
                ++made;
            }
            ended.notify_one();
        }
    });
    uint64_t seen = 0, missed = 0;
    {
        std::unique_lock<std::mutex> held(mutex);
        while (seen < frames) {
            ended.wait(held, [&] { return made > seen; });
            missed += made - seen - 1;
            seen = made;
        }
    }
    camera.join();
    const double cpu = processCpuNs() - cpuBefore, wall = wallNs() - wallBefore;
    return Floor{cpu / double(frames), double(frames) / (wall / 1e9), double(missed) / double(frames)};
}

// The fixed cost of a frame against the floor, both measured here, one after
// the other: a small ramp frame delivered through BF_Wait to a host looping
// on it with a chain of 4 buffers. Targets: ratio <= 1.25, missed <= 1 %.
void fixedCostVsFloor(benchmark::State &state, uint32_t periodUs)
{
    const auto frames = uint64_t(state.max_iterations);
    const Floor floor = measureFloor(periodUs, frames);
    LibraryGrab grab(state, 64, 64, 1, periodUs);
    if (!grab.ready() || !grab.start()) return;
    uint32_t count = 0;
    if (!grab.wait(count)) return;  // the schedule has started
    uint64_t received = 0, reported = 0;
    const uint64_t framesBefore = simulatedFrames(), lateBefore = lateFrames();
    const double cpuBefore = processCpuNs(), wallBefore = wallNs();
    for (auto _ : state) {
        if (!grab.wait(count)) return;
        ++received;
        reported += count;
    }
    const double cpu = processCpuNs() - cpuBefore, wall = wallNs() - wallBefore;
    const double made = double(simulatedFrames() - framesBefore);
    state.counters["floor_us"] = floor.cpuNsPerFrame / kNsPerUs;
    state.counters["floor_fps"] = floor.framesPerSecond;
    state.counters["floor_missed_pct"] = 100 * floor.missedShare;
    state.counters["cpu_us"] = cpu / made / kNsPerUs;
    state.counters["fps"] = made / (wall / 1e9);
    state.counters["ratio"] = (cpu / made) / floor.cpuNsPerFrame;
    state.counters["missed_pct"] = 100 * double(reported - received) / double(reported);
    state.counters["late_pct"] = 100 * double(lateFrames() - lateBefore) / (made + double(lateFrames() - lateBefore));
}

// The period achieved over a run of a free-running grab against the one
// configured: frames written and frames the camera lost for being late alike
// took their period, and `late_pct` tells how many were lost.
void schedule(benchmark::State &state, uint32_t periodUs)
{
    LibraryGrab grab(state, 64, 64, 1, periodUs);
    if (!grab.ready() || !grab.start()) return;
    uint32_t count = 0;
    if (!grab.wait(count)) return;
    const uint64_t framesBefore = simulatedFrames(), lateBefore = lateFrames();
    const double wallBefore = wallNs();
    for (auto _ : state)
        if (!grab.wait(count)) return;
    const double written = double(simulatedFrames() - framesBefore), late = double(lateFrames() - lateBefore);
    const double achievedUs = (wallNs() - wallBefore) / kNsPerUs / (written + late);
    state.counters["period_us"] = achievedUs;
    state.counters["late_pct"] = 100 * late / (written + late);
    state.counters["ratio"] = achievedUs / periodUs;
}

// A board opened straight through the SDK, for the bare calls.
struct BareBoard {
    CiBoardHandle handle = nullptr;
    CiSignal signal{};
    BareBoard()
    {
        CiBoardEntry entry{};
        if (CiSysBrdFind(16, 1, &entry) != 0 || CiBrdOpen(&entry, &handle, 0) != 0) handle = nullptr;
        if (handle != nullptr && CiSignalCreate(handle, CI_SIGNAL_END_OF_FRAME, &signal) != 0) handle = nullptr;
    }
    ~BareBoard()
    {
        if (handle == nullptr) return;
        CiSignalFree(handle, &signal);
        CiBrdClose(handle);
    }
};

// BF_RegPeek asks whether the register exists, then reads it.
void regPeekWrapped(benchmark::State &state)
{
    LibraryGrab grab(state, 64, 64, 1, kUsPerMs);
    if (!grab.ready()) return;
    for (auto _ : state) {
        uint32_t value = 0;
        if (BF_RegPeek(grab.slot(), BFSIM_REG_SCRATCH, &value) != BF_OK) return state.SkipWithError("BF_RegPeek");
        benchmark::DoNotOptimize(value);
    }
}

void regPeekBare(benchmark::State &state)
{
    LibraryGrab grab(state, 64, 64, 1, kUsPerMs);
    BareBoard bare;
    if (!grab.ready() || bare.handle == nullptr) return state.SkipWithError("bare board");
    for (auto _ : state) {
        if (!BFRegSupported(bare.handle, BFSIM_REG_SCRATCH)) return state.SkipWithError("BFRegSupported");
        benchmark::DoNotOptimize(BFRegPeek(bare.handle, BFSIM_REG_SCRATCH));
    }
}

// BF_Wait and its one CiSignalWait, on the path every wait takes: nothing
// has ended and the time-out is 0, so no frame timing enters the figure.
void waitWrapped(benchmark::State &state)
{
    LibraryGrab grab(state, 64, 64, 1, kUsPerMs);
    if (!grab.ready()) return;
    for (auto _ : state) {
        uint32_t count = 0;
        benchmark::DoNotOptimize(BF_Wait(0, grab.slot(), 0, &count));
    }
}

void waitBare(benchmark::State &state)
{
    LibraryGrab grab(state, 64, 64, 1, kUsPerMs);
    BareBoard bare;
    if (!grab.ready() || bare.handle == nullptr) return state.SkipWithError("bare board");
    for (auto _ : state) {
        uint32_t count = 0;
        benchmark::DoNotOptimize(CiSignalWait(bare.handle, &bare.signal, 0, &count));
    }
}

constexpr uint32_t kFloorUs = 1000;   // the shortest period every build of the simulator takes
constexpr uint32_t kFastUs = 100;     // 10,000 frames/s
constexpr uint32_t kVideoUs = 33333;  // 30 frames/s

BENCHMARK_CAPTURE(deliveryCost, 2048x2048x1, 2048, 2048, 1, kFloorUs)->Iterations(1000)->UseRealTime();
BENCHMARK_CAPTURE(deliveryCost, 2048x2048x2, 2048, 2048, 2, kFloorUs)->Iterations(1000)->UseRealTime();
BENCHMARK_CAPTURE(deliveryCost, 640x480x1_1ms, 640, 480, 1, kFloorUs)->Iterations(2000)->UseRealTime();
BENCHMARK_CAPTURE(deliveryCost, 64x64x1_1ms, 64, 64, 1, kFloorUs)->Iterations(2000)->UseRealTime();
BENCHMARK_CAPTURE(deliveryCost, 640x480x1_100us, 640, 480, 1, kFastUs)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(deliveryCost, 64x64x1_100us, 64, 64, 1, kFastUs)->Iterations(20000)->UseRealTime();
constexpr const char *kNoisyScene = "\"source\":\"scene\",\"noise\":6,";
constexpr uint32_t kTenMs = 10000;  // 100 frames/s
BENCHMARK_CAPTURE(sourceCost, scene_2048x2048x2_100fps, kNoisyScene, 2048, 2048, 2, kTenMs)->Iterations(300)->UseRealTime();
BENCHMARK_CAPTURE(sourceCost, ramp_2048x2048x2_100fps, "", 2048, 2048, 2, kTenMs)->Iterations(300)->UseRealTime();
BENCHMARK_CAPTURE(sourceCost, scene_640x480x1_1000fps, kNoisyScene, 640, 480, 1, kFloorUs)->Iterations(3000)->UseRealTime();
BENCHMARK_CAPTURE(sourceCost, ramp_640x480x1_1000fps, "", 640, 480, 1, kFloorUs)->Iterations(3000)->UseRealTime();
BENCHMARK(sizeSweep)->RangeMultiplier(2)->Range(64, 2048)->Iterations(3000)->UseRealTime();
BENCHMARK_CAPTURE(sleepWakeFloor, 100us, kFastUs)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(fixedCostVsFloor, 64x64x1_100us, kFastUs)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(schedule, 100us, kFastUs)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(schedule, 1ms, kFloorUs)->Iterations(2000)->UseRealTime();
BENCHMARK_CAPTURE(schedule, 33333us, kVideoUs)->Iterations(60)->UseRealTime();
BENCHMARK(regPeekWrapped);
BENCHMARK(regPeekBare);
BENCHMARK(waitWrapped);
BENCHMARK(waitBare);

}  // namespace

BENCHMARK_MAIN();
