// chain: grabs N frames continuously through a chain of four buffers that the
// program owns, printing how many frames ended during each wait and how many
// were missed (overwritten before the program looked) over the whole run.
//
//   chain [FRAMES [sw|ext [FAMILY]]]     defaults: 100 frames, free-running, family 1
//
// "sw" fires a software trigger before each wait; "ext" waits for the
// board's external trigger line. Exits with status 1 when a call fails.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <qor_bitflow.h>

namespace {

constexpr int32_t kBuffers = 4;
constexpr size_t kPageBytes = 4096;
constexpr uint32_t kWaitMs = 2000;
constexpr int32_t kOneFrame = 0;  // BF_Wait: one end of frame, not one per buffer
constexpr int32_t kChained = 1;   // BF_Grab: acquire into the chain

enum class Trigger { FreeRun, Software, External };

struct Failure : std::runtime_error {
    Failure(const char *call, int32_t status)
        : std::runtime_error(std::string(call) + " failed: " + bf_status_name(status) + " (" +
                             std::to_string(status) + "): " + bf_status_text(status))
    {
    }
};

void check(int32_t status, const char *call)
{
    if (status != BF_OK) throw Failure(call, status);
}

struct Camera {
    uint32_t bitDepth = 0, bytesPerPixel = 0, width = 0, lines = 0;
    size_t frameBytes() const { return size_t{width} * bytesPerPixel * lines; }
};

// Closes the board however the run ends; the chain and the grab are
// released before it, in the reverse order of their set-up.
class Board {
public:
    Board(int32_t family, Camera &camera)
    {
        check(BF_Open(nullptr, &camera.bitDepth, &camera.bytesPerPixel, &camera.width,
                      &camera.lines, 0, family, &slot_),
              "BF_Open");
    }
    ~Board() { BF_Close(slot_); }
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;
    int32_t slot() const { return slot_; }

private:
    int32_t slot_ = -1;
};

// Four page-aligned frame buffers, and the chain over them for as long as
// this object lives.
class Chain {
public:
    Chain(int32_t slot, const Camera &camera) : slot_(slot)
    {
        for (int32_t i = 0; i < kBuffers; ++i) {
            storage_.emplace_back(new uint8_t[camera.frameBytes() + kPageBytes]);
            const auto address = reinterpret_cast<uintptr_t>(storage_.back().get());
            pointers_.push_back(storage_.back().get() + (kPageBytes - address % kPageBytes) % kPageBytes);
        }
        check(BF_BufferSetup(pointers_.data(), camera.width, kBuffers, slot_), "BF_BufferSetup");
    }
    ~Chain()
    {
        // A buffer that could not be released on the first call is released
        // on the second; until then the board may still write into them all.
        if (BF_BufferCleanup(slot_) == BF_E_QTAB_FREE && BF_BufferCleanup(slot_) != BF_OK)
            for (auto &block : storage_) static_cast<void>(block.release());
    }
    Chain(const Chain &) = delete;
    Chain &operator=(const Chain &) = delete;

private:
    int32_t slot_;
    std::vector<std::unique_ptr<uint8_t[]>> storage_;
    std::vector<void *> pointers_;
};

class Grab {
public:
    explicit Grab(int32_t slot) : slot_(slot) { check(BF_Grab(slot_, kChained), "BF_Grab"); }
    ~Grab() { BF_Stop(slot_); }
    Grab(const Grab &) = delete;
    Grab &operator=(const Grab &) = delete;

private:
    int32_t slot_;
};

void useTrigger(int32_t slot, Trigger trigger)
{
    if (trigger == Trigger::FreeRun) return;
    // Both kinds put the board in its triggered mode; each frame then waits
    // for BF_SetSWtrigger or for the external line.
    int32_t enable = 1;
    check(BF_TriggerMode(&enable, slot), "BF_TriggerMode");
}

void run(uint32_t frames, Trigger trigger, int32_t family)
{
    Camera camera;
    Board board(family, camera);
    std::printf("%u x %u, %u bits, %u bytes per pixel, %d buffers\n", camera.width,
                camera.lines, camera.bitDepth, camera.bytesPerPixel, kBuffers);
    useTrigger(board.slot(), trigger);
    Chain chain(board.slot(), camera);
    Grab grab(board.slot());

    uint64_t ended = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        if (trigger == Trigger::Software) check(BF_SetSWtrigger(1, 0, board.slot()), "BF_SetSWtrigger");
        uint32_t count = 0;
        check(BF_Wait(kWaitMs, board.slot(), kOneFrame, &count), "BF_Wait");
        // A wait that returned saw at least the frame it waited for; more
        // than one means the frames before it were overwritten unseen.
        const uint32_t seen = count == 0 ? 1 : count;
        ended += seen;
        std::printf("frame %u: wait count %u\n", i, count);
    }
    std::printf("frames: %u, ended: %llu, missed: %llu\n", frames,
                static_cast<unsigned long long>(ended),
                static_cast<unsigned long long>(ended - frames));
}

Trigger triggerNamed(const char *name)
{
    if (std::strcmp(name, "sw") == 0) return Trigger::Software;
    if (std::strcmp(name, "ext") == 0) return Trigger::External;
    throw std::invalid_argument(std::string("unknown trigger '") + name + "': use sw or ext");
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        const uint32_t frames = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0)) : 100;
        const Trigger trigger = argc > 2 ? triggerNamed(argv[2]) : Trigger::FreeRun;
        const int32_t family = argc > 3 ? static_cast<int32_t>(std::atoi(argv[3])) : BF_FAMILY_16;
        run(frames, trigger, family);
        return 0;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "chain: %s\n", error.what());
        return 1;
    }
}
