/*
 * The simulator's model of installed boards. Cid owns the one instance and
 * every SDK function, BFD's included, runs on it inside Cid: BFD only
 * forwards its calls through the C functions of bfd_bridge.h, so no C++
 * object crosses from one library to the other. Nothing declared here is
 * exported: the simulator's tests look inside through the C probes of
 * probes.h.
 *
 * Locking: one process-wide mutex (`lock()`) guards every board and the
 * journal. An SDK entry point takes it once, before it journals the call,
 * and holds it for its whole body, except while it blocks (signal waits,
 * wait-done), when it waits on a condition variable, which releases it.
 */
#ifndef QOR_SIM_MODEL_H
#define QOR_SIM_MODEL_H

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "scene.h"

namespace bfsim {

// What a camera's frames show.
enum class SourceKind { Ramp, Scene, Files };

// One image a "files" camera replays, already at the camera's geometry and
// bit depth, one value per pixel in line order.
using ReplayImage = std::vector<uint32_t>;

struct SourceConfig {
    SourceKind kind = SourceKind::Ramp;
    SceneSensor sensor;        // scene: the noise and vignetting it is seen with
    uint32_t seed = 0;         // scene noise and random drops
    std::vector<std::string> files;  // files: the paths, resolved, in replay order
    // Shared: a population copied per board still holds the images once.
    std::shared_ptr<const std::vector<ReplayImage>> images;
    // scene: the tables its frames are composed from, made once.
    std::shared_ptr<const SceneTables> scene;
};

// Frames a camera loses before they reach the board, and where its frame
// counter starts.
struct CameraFaults {
    uint32_t dropEvery = 0;        // every Nth frame is lost; 0: none
    double dropProbability = 0;    // each frame is lost with this chance (seeded)
    uint32_t firstFrameNumber = 0; // the number of the first frame after set-up
};

struct CameraConfig {
    uint32_t width = 640;
    uint32_t lines = 480;
    uint32_t bitDepth = 8;
    uint32_t bytesPerPixel = 1;
    uint32_t waitTimeMs = 1000;
    uint32_t cameraInfo = 0;     // inquiry 0x10007
    uint32_t cameraMode = 2;     // inquiry 0x10003
    uint32_t syncSource = 0;     // inquiry 0x1001D
    uint64_t framePeriodUs = 10000;
    uint32_t trigMode = 0;       // what CiConVTrigModeGet reports at open
    uint32_t trigParams[3] = {0, 0, 0};
    bool stamp = true;           // the frame number over the first 4 bytes of a frame
    CameraFaults faults;
    SourceConfig source;
};

struct BoardConfig {
    uint32_t type = 16;          // board-type code: 16, 32, 64 or 208
    uint32_t generation = 0;     // bfsim_generation
    uint32_t model = 0x1010;     // inquiry 3; 4142 would mean "no LUTs"
    uint64_t externalTriggerPeriodUs = 0;  // 0: the external line fires only through bfsim_
    std::vector<CameraConfig> cameras = std::vector<CameraConfig>(1);  // one default camera
};

struct Acquisition;  // the capture engine's per-board state (acquisition.h)
struct Controls;     // triggers, LUTs, timing, outputs, registers (controls.h)

struct Board {
    // Out of line: the engine's and the controls' state are complete only in
    // the simulator's own sources.
    Board();
    ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    BoardConfig config;
    uint32_t number = 0;         // number within its type
    bool open = false;
    bool closing = false;        // being closed: its handle no longer finds it
    void *handle = nullptr;      // issued by CiBrdOpen; never dereferenced
    uint32_t camera = 0;         // index into config.cameras
    std::map<uint32_t, uint32_t> inquiryOverrides;
    std::condition_variable changed;  // notified on every frame, trigger and command
    std::unique_ptr<Acquisition> acquisition;
    std::unique_ptr<Controls> controls;

    const CameraConfig &currentCamera() const { return config.cameras[camera]; }
};

// The process-wide lock of the model.
std::mutex &lock();

// The open board behind a handle issued by CiBrdOpen, or null. Call under lock().
Board *findBoard(void *handle);
// The board of a type code and number, open or not, or null. Call under lock().
Board *findBoard(uint32_t type, uint32_t number);
// Every board of the population. Call under lock().
std::vector<std::unique_ptr<Board>> &boards();

// The answer to an inquiry: an override, else the current camera's value.
std::optional<uint32_t> inquire(const Board &board, uint32_t code);

// The value bfsim_set_output chose for a function's output, if any. Call under lock().
std::optional<uint32_t> outputOverride(const char *function);

// Live-object bookkeeping for bfsim_live_count. Call under lock().
void countObject(int kind, int delta);

// Keeps a debug message for bfsim_debug_output. Call under lock().
void recordDebugOutput(const char *text);

template <class T> int64_t arg(T *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }
template <class T> int64_t arg(const T *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); }
// Rounded toward zero; NaN journals as 0 and out-of-range values saturate,
// since converting those directly is undefined.
inline int64_t arg(double v)
{
    constexpr double kLimit = 9.2e18;  // just inside int64_t's range
    if (v != v) return 0;
    if (v >= kLimit) return INT64_MAX;
    if (v <= -kLimit) return INT64_MIN;
    return static_cast<int64_t>(v);
}
template <class T> int64_t arg(T v) { return static_cast<int64_t>(v); }

}  // namespace bfsim

#endif
