#include "progress.h"

#include <cinttypes>

#if defined(_WIN32)
#include <io.h>
#define QOR_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define QOR_ISATTY(f) isatty(fileno(f))
#endif

namespace qorgrab {
namespace {

// A run shorter than this ends before a progress line would help.
constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRefresh{250};

double secondsBetween(Progress::Clock::time_point from, Progress::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

void printSummary(std::FILE *out, const RunSummary &summary)
{
    std::fprintf(out,
                 "frames: %" PRIu64 "\nmissed frames: %" PRIu64
                 "\noverflow resets: %u\nseconds: %.3f\nfps: %.1f\n",
                 summary.frames, summary.missed(), summary.overflowResets, summary.seconds,
                 summary.fps());
    std::fputs("missed frames, by cause: ", out);
    if (summary.lostByCamera)
        std::fprintf(out, "%" PRIu64 " lost by the camera, ", *summary.lostByCamera);
    std::fprintf(out,
                 "%" PRIu64 " missed by the host (it was busy when they ended), %" PRIu64
                 " not written (the disk was slower)%s\n",
                 summary.missedByHost, summary.unwritten,
                 summary.lostByCamera ? "" : "; this SDK does not count frames lost by the camera");
    std::fflush(out);
}

bool progressWanted(std::optional<bool> asked)
{
    return asked.value_or(QOR_ISATTY(stderr) != 0);
}

Progress::Progress(uint64_t total, bool shown)
    : total_(total), shown_(shown), start_(Clock::now()), lastShown_(start_)
{
}

void Progress::frameDone(uint64_t done)
{
    if (!shown_) return;
    const auto now = Clock::now();
    if (now - start_ < kQuietStart || now - lastShown_ < kRefresh) return;
    const double seconds = secondsBetween(start_, now);
    std::fprintf(stderr, "\rframes %" PRIu64 "/%" PRIu64 "  %.1f fps   ", done, total_,
                 seconds > 0 ? done / seconds : 0.0);
    std::fflush(stderr);
    lastShown_ = now;
    lineOpen_ = true;
}

Progress::~Progress()
{
    finish();
}

double Progress::finish()
{
    if (lineOpen_) std::fputc('\n', stderr);
    lineOpen_ = false;
    return secondsBetween(start_, Clock::now());
}

}  // namespace qorgrab
