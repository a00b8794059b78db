// Progress line and end-of-run summary of the acquisition commands.
#ifndef QOR_GRAB_PROGRESS_H
#define QOR_GRAB_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace qorgrab {

// What became of a run's frames. Every frame the camera started is either
// received or missed, for one of three reasons.
struct RunSummary {
    uint64_t frames = 0;                  // received by the host
    std::optional<uint64_t> lostByCamera; // never delivered; unset: the SDK cannot tell
    uint64_t missedByHost = 0;            // ended while the host was busy, so never seen
    uint64_t unwritten = 0;               // received, but dropped because the disk was slower
    uint32_t overflowResets = 0;
    double seconds = 0;

    uint64_t missed() const { return lostByCamera.value_or(0) + missedByHost + unwritten; }
    double fps() const { return seconds > 0 ? frames / seconds : 0; }
};

void printSummary(std::FILE *out, const RunSummary &summary);

// Whether a progress line is wanted: as asked, or else only when stderr is
// a terminal (a "\r" line is noise in a log file).
bool progressWanted(std::optional<bool> asked);

// Rewrites one stderr line ("\r") with frames done and frames/s, once the
// run has lasted long enough for it to be worth showing; a progress that is
// not `shown` only keeps time.
class Progress {
public:
    using Clock = std::chrono::steady_clock;

    Progress(uint64_t total, bool shown);
    // A run cut short still ends its progress line, so the error that
    // follows starts on a line of its own.
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    // Call after every frame; prints at most a few times a second.
    void frameDone(uint64_t done);
    // Ends the progress line (if one was shown) and gives the elapsed time.
    double finish();

private:
    uint64_t total_;
    bool shown_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool lineOpen_ = false;
};

}  // namespace qorgrab

#endif
