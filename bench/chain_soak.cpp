// Soak: a chained grab on the simulated board at its shortest frame period
// (1 ms) for a given number of seconds, through a host that now and then
// falls behind the frames, so the ring overflows and waits report missed
// frames. Once a second the host stops, snaps with the board refusing the
// first snap while overflowed (BF_GetFrame's overflow reset), snaps again
// and grabs on. It reports frames, missed frames, overflow resets and
// resident memory as it goes, and checks at the end that every frame the
// board completed was reported by a wait and that nothing is left live.
//
//   chain_soak [seconds]     (default 60)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bfsim.h"
#include "qor_bitflow.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBoardType = 16;
constexpr uint32_t kWidth = 256;
constexpr uint32_t kLines = 256;
constexpr int32_t kChainBuffers = 4;
constexpr uint32_t kWaitTimeoutMs = 100;
constexpr size_t kPage = 4096;
constexpr auto kSnapCycle = std::chrono::seconds(1);
constexpr auto kReportEvery = std::chrono::seconds(60);
// One wait in kSlowOneIn is followed by a pause of up to kSlowestPauseMs:
// longer than the ring of four 1 ms frames, so it overflows.
constexpr uint32_t kSlowOneIn = 25;
constexpr uint32_t kSlowestPauseMs = 12;

const std::string kBoard = "{\"boards\":[{\"type\":16,\"cameras\":[{\"width\":" +
                           std::to_string(kWidth) + ",\"lines\":" + std::to_string(kLines) +
                           ",\"bitDepth\":8,\"bytesPerPixel\":1,\"framePeriodMs\":1,"
                           "\"waitTimeMs\":20}]}]}";

// Resident memory in kB, from /proc/self/status; 0 where there is none.
long residentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

struct Tally {
    uint64_t waits = 0;     // waits that returned a frame
    uint64_t frames = 0;    // frames reported ended, waits and snaps together
    uint64_t missed = 0;    // frames that ended while the host was busy
    uint64_t timeouts = 0;  // waits that saw no frame
    uint64_t snaps = 0;
    uint64_t snapFailures = 0;
};

int fail(const char *what, int32_t status)
{
    std::fprintf(stderr, "chain_soak: %s: %d %s\n", what, status, bf_status_name(status));
    return 1;
}

// Collects the frames that ended since the last wait without waiting.
void drain(int32_t slot, Tally &tally)
{
    uint32_t count = 0;
    if (BF_Wait(0, slot, 0, &count) == BF_OK) tally.frames += count;
}

// The host stops the grab, lets one snap be refused while the ring has
// overflowed (the library then resets and counts it), snaps once more and
// goes back to grabbing.
int32_t snapCycle(int32_t slot, Tally &tally)
{
    BF_Stop(slot);
    drain(slot, tally);
    bfsim_fault("CiConAqCommand", 1, 0, BFSIM_ERR_ARGUMENT);
    if (BF_GetFrame(slot) == BF_OK) ++tally.frames;  // the reset leaves no frame to wait for
    else ++tally.snapFailures;
    const int32_t snapped = BF_GetFrame(slot);
    if (snapped != BF_OK) return snapped;
    ++tally.snaps;
    ++tally.frames;
    return BF_Grab(slot, 1);
}

void report(double seconds, const Tally &tally, int32_t slot)
{
    uint32_t resets = 0;
    BF_Status(&resets, nullptr, nullptr, nullptr, slot);
    std::printf("%8.1f s  frames %llu  missed %llu  timeouts %llu  snaps %llu  "
                "overflow resets %u  VmRSS %ld kB\n",
                seconds, static_cast<unsigned long long>(tally.frames),
                static_cast<unsigned long long>(tally.missed),
                static_cast<unsigned long long>(tally.timeouts),
                static_cast<unsigned long long>(tally.snaps), resets, residentKb());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::strtod(argv[1], nullptr) : 60.0;
    bfsim_reset();
    if (bfsim_load_config(kBoard.c_str()) != 0) return fail("the board does not load", 0);
    uint32_t depth = 0, bytesPerPixel = 0, width = 0, lines = 0;
    int32_t slot = -1;
    int32_t status = BF_Open(nullptr, &depth, &bytesPerPixel, &width, &lines, 0, BF_FAMILY_16, &slot);
    if (status != BF_OK) return fail("BF_Open", status);

    const size_t frameBytes = size_t{width} * bytesPerPixel * lines;
    std::vector<void *> buffers;
    for (int32_t i = 0; i < kChainBuffers; ++i) buffers.push_back(std::aligned_alloc(kPage, frameBytes));
    if ((status = BF_BufferSetup(buffers.data(), width, kChainBuffers, slot)) != BF_OK)
        return fail("BF_BufferSetup", status);
    if ((status = BF_Grab(slot, 1)) != BF_OK) return fail("BF_Grab", status);

    std::printf("chain_soak: %.0f s, %ux%u, chain of %d, VmRSS after set-up %ld kB\n", seconds,
                width, lines, kChainBuffers, residentKb());
    // Memory is compared from the first snap cycle on, once every buffer
    // has been written and every path has run once.
    long startKb = 0;
    std::mt19937 random(1);
    Tally tally;
    const Clock::time_point start = Clock::now();
    Clock::time_point nextSnap = start + kSnapCycle;
    Clock::time_point nextReport = start + kReportEvery;
    for (Clock::time_point now = start; now - start < std::chrono::duration<double>(seconds);
         now = Clock::now()) {
        uint32_t count = 0;
        status = BF_Wait(kWaitTimeoutMs, slot, 0, &count);
        if (status == BF_OK) {
            ++tally.waits;
            tally.frames += count;
            tally.missed += count > 1 ? count - 1 : 0;
        } else if (status == BF_E_SIGNAL_WAIT) {
            ++tally.timeouts;
        } else {
            return fail("BF_Wait", status);
        }
        if (random() % kSlowOneIn == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % kSlowestPauseMs));
        if (now >= nextSnap) {
            if ((status = snapCycle(slot, tally)) != BF_OK) return fail("snap cycle", status);
            nextSnap = now + kSnapCycle;
            if (startKb == 0) startKb = residentKb();
        }
        if (now >= nextReport) {
            report(std::chrono::duration<double>(now - start).count(), tally, slot);
            nextReport = now + kReportEvery;
        }
    }

    BF_Stop(slot);
    drain(slot, tally);
    report(std::chrono::duration<double>(Clock::now() - start).count(), tally, slot);
    const uint64_t completed = bfsim_frames_completed(kBoardType, 0);
    const long endKb = residentKb();
    if ((status = BF_BufferCleanup(slot)) != BF_OK) return fail("BF_BufferCleanup", status);
    if ((status = BF_Close(slot)) != BF_OK) return fail("BF_Close", status);
    for (void *buffer : buffers) std::free(buffer);
    const int live = bfsim_live_count(BFSIM_OBJ_ALL);

    std::printf("chain_soak: frames completed by the board %llu, reported %llu (%llu waits, "
                "%llu missed, %llu snaps, %llu snaps refused), live objects after close %d\n"
                "chain_soak: VmRSS start %ld kB, end %ld kB (%+ld kB)\n",
                static_cast<unsigned long long>(completed),
                static_cast<unsigned long long>(tally.frames),
                static_cast<unsigned long long>(tally.waits),
                static_cast<unsigned long long>(tally.missed),
                static_cast<unsigned long long>(tally.snaps),
                static_cast<unsigned long long>(tally.snapFailures), live, startKb, endKb,
                endKb - startKb);
    const bool consistent = completed == tally.frames && live == 0;
    std::printf("chain_soak: %s\n", consistent ? "counts consistent" : "COUNTS DIFFER");
    return consistent ? 0 : 1;
}
