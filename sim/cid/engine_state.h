/*
 * The capture engine's private state: one Engine per open board, holding
 * its single destination, its QTabs and chain, its end-of-frame signals,
 * the run in progress and the frame thread that carries it out.
 *
 * Everything here is guarded by lock(), except the pattern writer's view of
 * a frame (FrameJob), which the frame thread owns while it fills a buffer
 * with the lock released.
 */
#ifndef QOR_SIM_CID_ENGINE_STATE_H
#define QOR_SIM_CID_ENGINE_STATE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "acquisition.h"
#include "bfsim.h"
#include "cid.h"
#include "controls.h"
#include "model.h"
#include "source.h"

namespace bfsim {

using Clock = std::chrono::steady_clock;

// Commands shared by CiAqCommand and CiConAqCommand.
enum : uint32_t {
    kCommandStop = CI_CMD_STOP,
    kCommandAbort = CI_CMD_ABORT,
    kCommandSnap = CI_CMD_SNAP,
    kCommandGrab = CI_CMD_GRAB,
    kCommandReset = CI_CMD_RESET
};

constexpr uint32_t kSignalEndOfFrame = CI_SIGNAL_END_OF_FRAME;
constexpr uint32_t kChainedAqMode = CI_AQ_MODE_CHAINED;
constexpr uint32_t kHighestAqMode = CI_AQ_MODE_CHAINED;
constexpr uint32_t kDmaStartCommand = CI_DMA_START;
constexpr uint32_t kNoLutBank = CI_LUT_BANK_NONE;
constexpr uint32_t kSoftwareTriggerFirst = CI_SWTRIG_1;
constexpr uint32_t kSoftwareTriggerLast = CI_SWTRIG_2;
// Boards carry two acquisition engines; the single destination and the
// chain both belong to engine 0, engine 1 only keeps its window.
constexpr int32_t kEngineCount = 2;
constexpr int32_t kDestinationEngine = 0;
constexpr int32_t kWaitFramesMissed = CI_WAIT_FRAMES_MISSED;

// Where a frame goes and how it is coded.
struct Destination {
    uint8_t *base = nullptr;
    uint32_t size = 0;
    uint32_t stride = 0;
    uint32_t lutBank = kNoLutBank;
    uint32_t lutType = 0;
};

// A camera's frame counter as one target sees it: it starts at the
// camera's first frame number when the target is set up, counts every frame
// the camera exposes (lost ones too) and wraps at 2^32.
struct FrameCounter {
    FrameCounter() = default;
    explicit FrameCounter(uint32_t first) : next(first) {}
    uint32_t next = 0;   // the number of the next frame
    uint64_t index = 0;  // frames numbered since set-up; decides which are lost
};

// The destination registered by CiAqSetup.
struct SingleDestination {
    Destination buffer;
    FrameCounter counter;
};

// A relative QTab and, once CiPhysQTabCreate made one, its physical table.
struct QTabEntry {
    const CiQTab *record = nullptr;
    Destination buffer;
    bool physical = false;
};

struct Chain {
    std::vector<uint64_t> linked;   // QTab serials in ring order, by the last link
    std::vector<uint64_t> engaged;  // what the DMA engine fills, from engage on
    bool dmaStarted = false;
    size_t position = 0;            // index into `engaged` of the next frame
    FrameCounter counter;           // from engage on
    // Frames completed and not yet reported by any signal wait: once a whole
    // ring's worth is pending, the next frame overwrites one nobody has seen.
    uint64_t unwaited = 0;
};

struct SignalState {
    const CiSignal *record = nullptr;
    uint64_t pending = 0;  // frames completed since the last wait or clear
    uint64_t cancels = 0;  // waiters compare it to see they were cancelled
};

enum class Target { None, Single, Chain };
enum class Phase { Idle, AwaitingTrigger, Exposing, Writing };

struct Run {
    Target target = Target::None;
    bool continuous = false;
    Phase phase = Phase::Idle;
    // End of the frame being exposed. In a free-running grab the frames
    // keep to a grid of one period from the first: a late frame does not
    // move the ones after it.
    Clock::time_point due;
    uint64_t serial = 0;    // one per snap or grab command
};

// The acquired window of one engine; zero means the camera's full frame.
struct Window {
    uint32_t width = 0;
    uint32_t lines = 0;
};

struct Engine {
    Board *board = nullptr;  // null once the board has been closed
    bool closing = false;
    // Waiters of signals and wait-done sleep here: it outlives the board.
    std::condition_variable wake;
    // Notified whenever a caller goes to sleep in CiSignalWait.
    std::condition_variable waitersChanged;
    int signalWaiters = 0;  // callers asleep in CiSignalWait
    std::thread thread;

    Run run;
    Target lastCommanded = Target::None;
    uint64_t lastCompletedSnap = 0;
    // A frame being written with the lock released; commands that must not
    // return while the host's memory is still being written wait for it.
    bool writing = false;
    std::atomic<bool> discardWrite{false};

    std::optional<SingleDestination> single;
    Window windows[kEngineCount];
    std::map<uint64_t, QTabEntry> qtabs;
    Chain chain;
    std::map<uint64_t, SignalState> signals;
    uint32_t aqMode = 0;
    bool overflow = false;
    uint64_t framesCompleted = 0;
    uint64_t framesLost = 0;       // by the camera's drop faults
    uint64_t triggersDropped = 0;  // found no frame waiting for them
    uint64_t framesLate = 0;       // not written by the end of their slot
    // A host asleep in CiSignalWait writes the grab's next frame when it is
    // due; the frame thread only looks in after it.
    bool hostDelivers = false;
    Clock::time_point opened = Clock::now();  // phase of the periodic external trigger
};

// ---- Looking things up (all under lock()) ----

// The engine of an open board.
inline Engine &engineOf(const Board &board) { return *board.acquisition->engine; }
// The same, shared: callers that may release the lock (to wait for a frame
// being written) hold it so a close meanwhile cannot free it under them.
inline std::shared_ptr<Engine> sharedEngine(const Board &board) { return board.acquisition->engine; }

// Sleeps on the engine's waiters' condition until `done` or the deadline;
// true when `done`. The engine is held by the caller, so it outlives a close.
template <class Done>
bool sleepUntil(Engine &engine, std::unique_lock<std::mutex> &held, Clock::time_point deadline, Done done)
{
    return engine.wake.wait_until(held, deadline, done);
}

// A caller of CiSignalWait, counted while it sleeps so that tests can tell
// it has reached the wait.
class SignalWaiter {
public:
    explicit SignalWaiter(Engine &engine) : engine_(engine) {}
    void sleep(std::unique_lock<std::mutex> &held, Clock::time_point deadline)
    {
        ++engine_.signalWaiters;
        engine_.waitersChanged.notify_all();
        engine_.wake.wait_until(held, deadline);
        --engine_.signalWaiters;
    }

private:
    Engine &engine_;
};
// A fresh serial for a record, never issued twice in the process.
uint64_t nextSerial();

// Lines of the frame engine 0 acquires: the window's, within the camera's.
uint32_t acquiredLines(const Board &board, const Engine &engine);

// Records the host hands in hold a magic word and the serial of the object;
// the registry decides, so a record full of stale or uninitialised bytes
// never passes for a live object.
constexpr uint64_t kSignalMagic = 0x4C4E4753'4D495346ull;  // "FSIMSGNL"
constexpr uint64_t kQTabMagic = 0x42415451'4D495346ull;    // "FSIMQTAB"

template <class Record> void stampRecord(Record *record, uint64_t magic, uint64_t serial)
{
    std::memset(record, 0, sizeof *record);
    std::memcpy(reinterpret_cast<char *>(record), &magic, sizeof magic);
    std::memcpy(reinterpret_cast<char *>(record) + sizeof magic, &serial, sizeof serial);
}

template <class Record> std::optional<uint64_t> stampedSerial(const Record *record, uint64_t magic)
{
    if (record == nullptr) return std::nullopt;
    uint64_t words[2];
    std::memcpy(words, record, sizeof words);
    if (words[0] != magic) return std::nullopt;
    return words[1];
}

template <class Record> void unstampRecord(Record *record)
{
    const uint64_t none = 0;
    std::memcpy(reinterpret_cast<char *>(record), &none, sizeof none);
}

// ---- Runs and the frame thread (engine_run.cpp) ----

enum class InFlight { Finish, Discard };

// Ends the run in progress. Returns only once no frame is being written, so
// the host may free the memory right after; `inFlight` says whether a frame
// already being written is finished and counted or cut short. The lock is
// released meanwhile: false when the board was closed by then.
bool haltRun(Engine &engine, std::unique_lock<std::mutex> &held, InFlight inFlight);
// Starts a snap (one frame) or a grab (frames until stopped) into `target`,
// after ending whatever ran before; false when the board was closed meanwhile.
bool startRun(Board &board, Engine &engine, std::unique_lock<std::mutex> &held, Target target,
              bool continuous);
// Applies a command to `target`; 0, or a BFSIM_ERR_ code for an unknown one.
int32_t runCommand(Board &board, Engine &engine, std::unique_lock<std::mutex> &held,
                   Target target, uint32_t command);
// Starts the exposure of a frame waiting for a trigger; false (trigger
// dropped) when none is waiting.
bool deliverTrigger(Board &board, Engine &engine);
// Wakes the frame thread and every waiter.
void wakeAll(Engine &engine);
// For a host about to sleep in CiSignalWait until `deadline`: when a
// free-running grab's next frame falls due before then and no other host has
// taken it, takes its writing from the frame thread (sets `taken`) and
// returns when it is due. Otherwise gives back what it had taken (clears
// `taken`).
std::optional<Clock::time_point> takeNextFrame(const Board &board, Engine &engine,
                                               Clock::time_point deadline, bool &taken);
// Writes the taken frame in the caller's thread once it is due, unless the
// board was closed or the run changed meanwhile; the lock is let go while
// the frame is written.
void writeTakenFrame(Engine &engine, std::unique_lock<std::mutex> &held);
// Gives the frames back to the frame thread, which looks in within kHandOver.
inline void giveBackFrames(Engine &engine, bool &taken)
{
    if (taken) engine.hostDelivers = taken = false;
}
// Stops the frame thread for good; the board is being closed.
void stopFrameThread(Engine &engine, std::unique_lock<std::mutex> &held);

// ---- Signals (signals.cpp) ----

// Counts a completed frame on every signal of the board.
void signalFrame(Engine &engine);

// ---- Writing a frame (frame_writer.cpp) ----

// Everything the frame writer needs, copied out under the lock.
struct FrameJob {
    Destination dest;
    uint32_t width = 0;          // pixels per line acquired
    uint32_t lines = 0;          // lines acquired
    uint32_t bytesPerPixel = 1;
    uint32_t frame = 0;          // frame number, stamped into the first line
    bool stamp = true;           // whether it is
    // The ramp: pixel (x, y) holds ramp[x + y], the frame's values through
    // the LUT, so a frame costs width + lines look-ups.
    std::vector<uint32_t> ramp;
    // Any other source: rendered while the lock is released.
    std::optional<SourceFrame> rendered;
    PixelLut lut;
};

// Fills the destination with the frame; false when `discard` cut it short.
// Never writes past dest.size, nor more than dest.stride bytes of a line.
bool writeFrame(const FrameJob &job, const std::atomic<bool> &discard);

}  // namespace bfsim

#endif
