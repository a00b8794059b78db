// Random call sequences over the thirty functions, from a seed printed at the
// start. The short mode (CI) makes about 10^5 calls; QOR_FUZZ_CALLS sets how
// many (the long mode makes 10^7 or more). QOR_FUZZ_SEED replays a run,
// QOR_FUZZ_EPISODE one episode by the seed a failure printed; with
// QOR_FUZZ_KEEP_GOING=1 the run goes on past findings, printing the first
// episode of each kind and counting them all.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "fuzz/call_sequence.h"
#include "support/sim_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

constexpr uint64_t kShortRunCalls = 100000;
constexpr uint64_t kShortestEpisode = 20;
constexpr uint64_t kEpisodeSpread = 280;
constexpr auto kStall = std::chrono::seconds(30);

uint64_t fromEnvironment(const char *name, uint64_t otherwise)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 0) : otherwise;
}

void printRunningEpisode()
{
    const std::vector<std::string> *log = qorfuzz::runningEpisodeLog();
    if (log == nullptr) return;
    std::fprintf(stderr, "-- the episode running, call by call --\n");
    for (const std::string &line : *log) std::fprintf(stderr, "  %s\n", line.c_str());
}

// A call that never returns (a wait or poll without end) shows as no
// progress: print what led there and stop, rather than hang the suite.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              std::unique_lock<std::mutex> held(mutex_);
              uint64_t seen = qorfuzz::callsSoFar();
              while (!done_.wait_for(held, kStall, [this] { return stop_; })) {
                  if (qorfuzz::callsSoFar() != seen) {
                      seen = qorfuzz::callsSoFar();
                      continue;
                  }
                  std::fprintf(stderr, "no call returned for %lld s\n",
                               static_cast<long long>(kStall.count()));
                  printRunningEpisode();
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> held(mutex_);
            stop_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool stop_ = false;
    std::thread thread_;
};

// Each episode draws its length and whether it injects SDK faults from its
// own seed, so one seed replays it alone.
qorfuzz::EpisodeResult runEpisode(const qorfuzz::StatusTable &statuses, uint64_t seed)
{
    const int calls = static_cast<int>(kShortestEpisode + seed % kEpisodeSpread);
    const bool withFaults = (seed >> 32) % 3 != 0;
    return qorfuzz::runEpisode(statuses, seed, calls, withFaults);
}

std::string report(uint64_t runSeed, uint64_t episodeSeed, const qorfuzz::EpisodeResult &result)
{
    std::string text = "run seed " + std::to_string(runSeed) + ", episode seed " +
                       std::to_string(episodeSeed) + " (QOR_FUZZ_EPISODE=" +
                       std::to_string(episodeSeed) + " replays it): " + result.broken +
                       "\n-- the episode, call by call --\n";
    for (const std::string &line : result.log) text += "  " + line + "\n";
    return text;
}

// A finding's kind: its rule with the call's arguments and the counts left out.
std::string kindOf(const std::string &rule)
{
    static const std::regex arguments(R"(\([^)]*\))");
    static const std::regex count(R"(\b\d+( [a-zA-Z]))");
    return std::regex_replace(std::regex_replace(rule, arguments, "(..)"), count, "N$1");
}

TEST(CallSequenceFuzz, StatusesDocumentedAndNothingLeftAfterClosing)
{
    const qorfuzz::StatusTable statuses =
        qorfuzz::documentedStatuses(QOR_SOURCE_DIR "/include/qor_bitflow.h");
    ASSERT_EQ(statuses.size(), 30u) << "the header's functions cannot be read";
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(printRunningEpisode);
#endif
    Watchdog watchdog;

    const uint64_t only = fromEnvironment("QOR_FUZZ_EPISODE", 0);
    const bool keepGoing = fromEnvironment("QOR_FUZZ_KEEP_GOING", 0) != 0;
    std::map<std::string, uint64_t> findings;
    const uint64_t calls = fromEnvironment("QOR_FUZZ_CALLS", kShortRunCalls);
    const uint64_t runSeed = fromEnvironment("QOR_FUZZ_SEED", std::random_device{}());
    std::mt19937_64 seeds(runSeed);
    std::cout << "call-sequence fuzz: QOR_FUZZ_SEED=" << runSeed << ", " << calls << " calls"
              << std::endl;

    const auto start = std::chrono::steady_clock::now();
    uint64_t made = 0, episodes = 0, faults = 0;
    while (made < calls) {
        const uint64_t episodeSeed = only != 0 ? only : seeds();
        const qorfuzz::EpisodeResult result = runEpisode(statuses, episodeSeed);
        made += result.calls;
        faults += result.faults;
        ++episodes;
        if (!result.broken.empty()) {
            ASSERT_TRUE(keepGoing) << report(runSeed, episodeSeed, result);
            if (findings[kindOf(result.broken)]++ == 0)
                ADD_FAILURE() << report(runSeed, episodeSeed, result);
            // What the episode left behind is not the next one's to find.
            bfsim_reset();
            qortest::resetLibraryState();
        }
        if (only != 0) break;
    }
    for (const auto &finding : findings)
        std::cout << "call-sequence fuzz: " << finding.second << " x " << finding.first << "\n";
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::cout << "call-sequence fuzz: " << made << " calls in " << episodes << " episodes, "
              << faults << " faults injected, " << took.count() << " s, " << findings.size()
              << " kinds of finding" << std::endl;
}

}  // namespace
