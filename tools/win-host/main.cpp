// qor-win-host: a Windows host of qor_bitflow.dll. It loads the DLL at run
// time, as LabVIEW, MATLAB or Python do, and drives two simulated boards
// through a whole lifecycle, printing every call's status. Exit status 0
// when every call answered as expected and every frame held its pattern.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entry_points.h"
#include "frame_pattern.h"
#include "run_log.h"
#include "support/page_buffer.h"

namespace {

using winhost::Geometry;

// Two boards: an 8-bit camera for single frames, triggers and the LUT, and
// a 12-bit camera in two bytes a pixel for the buffer chain.
constexpr const char *kPopulation = R"({"boards": [
  {"type": 16, "cameras": [{"width": 64, "lines": 16, "bitDepth": 8, "bytesPerPixel": 1,
                            "framePeriodMs": 5, "waitTimeMs": 1000}]},
  {"type": 32, "cameras": [{"width": 48, "lines": 12, "bitDepth": 12, "bytesPerPixel": 2,
                            "framePeriodMs": 5, "waitTimeMs": 1000}]}]})";
constexpr uint32_t kSnapBoardType = 16;
constexpr uint32_t kSnapBoardNumber = 0;
constexpr Geometry kSnapGeometry{64, 16, 1, 8, kSnapBoardType};
constexpr Geometry kChainGeometry{48, 12, 2, 12, 32};

constexpr uint32_t kWaitMs = 1000;
constexpr uint32_t kTriggerWaitMs = 100;
constexpr int kTriggerAttempts = 20;
constexpr int kGrabFrames = 3;
constexpr int32_t kChainLength = 3;
constexpr uintptr_t kPageAlignment = 4096;

constexpr int32_t kLutKind8BitAllLanes = 2;
constexpr int32_t kLut8BitLength = 256;
constexpr uint32_t kLut8BitMax = 255;

constexpr uint32_t kScratchRegister = BFSIM_REG_SCRATCH;
constexpr uint32_t kScratchStart = BFSIM_SCRATCH_VALUE;
constexpr uint32_t kScratchWritten = 0x12345678u;
constexpr uint32_t kRegisterNameSize = 64;
constexpr uint32_t kRegisterSearchSize = 32;

constexpr uint32_t kOutputMask = 0x5;
constexpr uint32_t kOutputLevels = 0x4;

struct Host {
    winhost::Library bf;
    winhost::Simulator sim;
    winhost::RunLog log;
    int32_t snapSlot = -1;
    int32_t chainSlot = -1;
};

std::string call(const char *name, int32_t slot)
{
    return std::string(name) + "(slot " + std::to_string(slot) + ")";
}

// Checks the frame in `frame` and reports the frame number it carries.
bool checkPattern(Host &host, const uint8_t *frame, const Geometry &geometry,
                  const winhost::Lut &lut, uint32_t *frameNumber, const std::string &what)
{
    const std::string fault = winhost::checkFrame(host.sim.bfsim_check_frame, frame, geometry, lut, frameNumber);
    return host.log.check(fault.empty(), what + ": frame " + std::to_string(*frameNumber) +
                                             (fault.empty() ? " holds its pattern" : ": " + fault));
}

void openBoards(Host &host)
{
    host.log.section("Open two boards");
    uint32_t depth = 0, bytesPerPixel = 0, width = 0, lines = 0;
    host.log.status("BF_Open(family 16, board 0)",
                    host.bf.BF_Open(nullptr, &depth, &bytesPerPixel, &width, &lines, 0,
                                    BF_FAMILY_16, &host.snapSlot));
    host.log.check(host.snapSlot == 0 && width == kSnapGeometry.width &&
                       lines == kSnapGeometry.lines && depth == kSnapGeometry.bitDepth &&
                       bytesPerPixel == kSnapGeometry.bytesPerPixel,
                   "slot 0, 64 x 16 pixels of 8 bits in 1 byte");
    host.log.status("BF_Open(family 32, board 0)",
                    host.bf.BF_Open(nullptr, &depth, &bytesPerPixel, &width, &lines, 0,
                                    BF_FAMILY_32, &host.chainSlot));
    host.log.check(host.chainSlot == 1 && width == kChainGeometry.width &&
                       bytesPerPixel == kChainGeometry.bytesPerPixel,
                   "slot 1, 48 x 12 pixels of 12 bits in 2 bytes");

    uint32_t camera = 1;
    void *destination = &camera;
    host.log.status(call("BF_ImageInfo", host.snapSlot),
                    host.bf.BF_ImageInfo(&camera, &depth, &bytesPerPixel, &width, &lines,
                                         &destination, host.snapSlot));
    host.log.check(camera == 0 && destination == nullptr && width == kSnapGeometry.width,
                   "camera 0, no destination registered yet");
    host.log.status(call("BF_SelectCamera(0)", host.snapSlot),
                    host.bf.BF_SelectCamera(0, host.snapSlot));
    host.log.status(call("BF_AqFrameSize(64, 16, engine 0)", host.snapSlot),
                    host.bf.BF_AqFrameSize(host.snapSlot, kSnapGeometry.width,
                                           kSnapGeometry.lines, 0));
}

// Snap, fast snap and grab into a buffer the library allocated; returns it.
uint8_t *captureSingleFrames(Host &host)
{
    host.log.section("Single destination: snap, fast snap, grab");
    const int32_t slot = host.snapSlot;
    int32_t size = static_cast<int32_t>(kSnapGeometry.frameBytes());
    void *buffer = nullptr;
    host.log.status(call("BF_AllocBuffer(1024 bytes)", slot),
                    host.bf.BF_AllocBuffer(&size, &buffer, slot));
    host.log.check(buffer != nullptr && reinterpret_cast<uintptr_t>(buffer) % kPageAlignment == 0,
                   "buffer on a 4096-byte boundary");
    if (buffer == nullptr) return nullptr;
    auto *frame = static_cast<uint8_t *>(buffer);
    std::memset(frame, 0xEE, kSnapGeometry.frameBytes());
    host.log.status(call("BF_Setup", slot), host.bf.BF_Setup(buffer, kSnapGeometry.width, slot));

    uint32_t first = 0, next = 0, count = 0;
    host.log.status(call("BF_GetFrame", slot), host.bf.BF_GetFrame(slot));
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &first, "snapped");

    host.log.status(call("BF_FastGetFrame", slot), host.bf.BF_FastGetFrame(slot));
    host.log.status(call("BF_Wait4Frame(1000 ms)", slot),
                    host.bf.BF_Wait4Frame(kWaitMs, slot, &count));
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &next, "fast-snapped");
    host.log.check(next > first, "the fast snap is a later frame");

    host.log.status(call("BF_Grab(single)", slot), host.bf.BF_Grab(slot, 0));
    for (int i = 0; i < kGrabFrames; ++i)
        host.log.status(call("BF_Wait4Frame(1000 ms)", slot),
                        host.bf.BF_Wait4Frame(kWaitMs, slot, &count));
    host.log.status(call("BF_Stop", slot), host.bf.BF_Stop(slot));
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &next, "grabbed");

    uint32_t resets = 1, status = 1, frames = 0;
    int32_t zero = 1;
    host.log.status(call("BF_Status", slot),
                    host.bf.BF_Status(&resets, &status, &zero, &frames, slot));
    host.log.check(resets == 0 && zero == 0 && frames > next,
                   "no overflow resets, idle, frame count " + std::to_string(frames));
    return frame;
}

// Fires `fire` until a frame arrives within the trigger wait; returns its status.
template <class Fire> int32_t triggerUntilFrame(Host &host, Fire fire)
{
    uint32_t count = 0;
    int32_t status = BF_E_SIGNAL_WAIT;
    for (int i = 0; i < kTriggerAttempts && status != BF_OK; ++i) {
        fire();
        status = host.bf.BF_Wait4Frame(kTriggerWaitMs, host.snapSlot, &count);
    }
    return status;
}

void triggerFrames(Host &host, const uint8_t *frame)
{
    host.log.section("Triggers: external line, then software");
    const int32_t slot = host.snapSlot;
    int32_t enable = 1;
    uint32_t before = 0, after = 0;
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &before, "before triggering");
    host.log.status(call("BF_TriggerMode(enable)", slot), host.bf.BF_TriggerMode(&enable, slot));
    host.log.status(call("BF_FastGetFrame", slot), host.bf.BF_FastGetFrame(slot));
    host.log.status("external trigger, then BF_Wait4Frame", triggerUntilFrame(host, [&] {
                        host.sim.bfsim_fire_external_trigger(kSnapBoardType, kSnapBoardNumber);
                    }));
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &after, "externally triggered");
    host.log.check(after > before, "a new frame came with the external trigger");

    enable = 0;
    host.log.status(call("BF_TriggerMode(disable)", slot), host.bf.BF_TriggerMode(&enable, slot));
    host.log.status(call("BF_Grab(single)", slot), host.bf.BF_Grab(slot, 0));
    host.log.status("BF_SetSWtrigger(1, 0), then BF_Wait4Frame", triggerUntilFrame(host, [&] {
                        host.bf.BF_SetSWtrigger(1, 0, slot);
                    }));
    host.log.status(call("BF_Stop", slot), host.bf.BF_Stop(slot));
    checkPattern(host, frame, kSnapGeometry, winhost::noLut, &before, "software triggered");
    host.log.check(before > after, "a new frame came with the software trigger");
    host.log.status(call("BF_ResetAcquisition", slot), host.bf.BF_ResetAcquisition(slot));
}

void releaseSingleDestination(Host &host)
{
    host.log.section("Release the single destination");
    const int32_t slot = host.snapSlot;
    host.log.status(call("BF_FreeBuffer", slot), host.bf.BF_FreeBuffer(slot));
    host.log.status(call("BF_GetFrame after BF_FreeBuffer", slot), host.bf.BF_GetFrame(slot),
                    BF_E_NO_ACQUISITION);
    host.log.status(call("BF_Cleanup", slot), host.bf.BF_Cleanup(slot));
}

uint32_t invert8Bit(uint32_t value) { return kLut8BitMax - value; }

void snapThroughLut(Host &host)
{
    host.log.section("LUT: an inverting table applied to the next set-up");
    const int32_t slot = host.snapSlot;
    std::vector<uint8_t> table(kLut8BitLength);
    for (int32_t i = 0; i < kLut8BitLength; ++i) table[i] = static_cast<uint8_t>(invert8Bit(i));
    host.log.status(call("BF_LoadLUT(kind 2, 256 entries)", slot),
                    host.bf.BF_LoadLUT(kLutKind8BitAllLanes, table.data(), kLut8BitLength, slot));

    // A destination of the host's own, as most hosts register.
    std::vector<uint8_t> frame(kSnapGeometry.frameBytes(), 0xEE);
    host.log.status(call("BF_Setup(host buffer)", slot),
                    host.bf.BF_Setup(frame.data(), kSnapGeometry.width, slot));
    host.log.status(call("BF_LoadLUT while set up", slot),
                    host.bf.BF_LoadLUT(kLutKind8BitAllLanes, table.data(), kLut8BitLength, slot),
                    BF_E_LUT_DESTINATION);
    host.log.status(call("BF_GetFrame", slot), host.bf.BF_GetFrame(slot));
    uint32_t f = 0;
    checkPattern(host, frame.data(), kSnapGeometry, invert8Bit, &f, "through the LUT");
    host.log.status(call("BF_Cleanup", slot), host.bf.BF_Cleanup(slot));
}

void grabChain(Host &host)
{
    host.log.section("Buffer chain of three on the 12-bit board");
    const int32_t slot = host.chainSlot;
    host.log.status(call("BF_MaskBits", slot), host.bf.BF_MaskBits(slot));
    qortest::PageBufferRing ring(kChainGeometry.frameBytes(), kChainLength);

    host.log.status(call("BF_BufferSetup(3 buffers)", slot),
                    host.bf.BF_BufferSetup(ring.pointers.data(), kChainGeometry.width, kChainLength, slot));
    host.log.status(call("BF_Grab(chained)", slot), host.bf.BF_Grab(slot, 1));
    uint32_t count = 0;
    host.log.status(call("BF_Wait(1000 ms, whole chain)", slot),
                    host.bf.BF_Wait(kWaitMs, slot, 1, &count));
    host.log.status(call("BF_Stop", slot), host.bf.BF_Stop(slot));

    // Frame f of the chain lands in buffer f mod 3.
    for (int32_t i = 0; i < kChainLength; ++i) {
        uint32_t f = 0;
        const std::string name = "chain buffer " + std::to_string(i);
        if (checkPattern(host, ring.buffers[i].data(), kChainGeometry, winhost::noLut, &f, name))
            host.log.check(f % kChainLength == static_cast<uint32_t>(i),
                           name + " holds a frame of its turn in the chain");
    }
    host.log.status(call("BF_BufferCleanup", slot), host.bf.BF_BufferCleanup(slot));
    host.log.status(call("BF_Wait(whole chain) after clean-up", slot),
                    host.bf.BF_Wait(kWaitMs, slot, 1, &count), BF_E_CHAIN_REQUIRED);
    host.log.status(call("BF_Wait(one frame) after clean-up", slot),
                    host.bf.BF_Wait(kWaitMs, slot, 0, &count), BF_E_NO_ACQUISITION);
}

void registersAndOutputs(Host &host)
{
    host.log.section("Registers, timing generator and outputs");
    const int32_t slot = host.snapSlot;
    uint32_t value = 0;
    host.log.status(call("BF_RegPeek(SCRATCH)", slot), host.bf.BF_RegPeek(slot, kScratchRegister, &value));
    host.log.check(value == kScratchStart, "SCRATCH starts at 0xA5A5A5A5");
    host.log.status(call("BF_RegPoke(SCRATCH, 0x12345678)", slot),
                    host.bf.BF_RegPoke(slot, kScratchRegister, kScratchWritten));
    host.log.status(call("BF_RegPeek(SCRATCH)", slot), host.bf.BF_RegPeek(slot, kScratchRegister, &value));
    host.log.check(value == kScratchWritten, "SCRATCH reads back what was written");
    host.log.status(call("BF_RegPeek(unsupported id)", slot),
                    host.bf.BF_RegPeek(slot, BFSIM_REG_UNSUPPORTED, &value), BF_E_REGISTER_UNSUPPORTED);

    uint32_t id = kScratchRegister;
    char name[kRegisterNameSize] = {};
    host.log.status(call("BF_RegNametoId(id 64 to name)", slot),
                    host.bf.BF_RegNametoId(slot, &id, name, sizeof name, 1));
    host.log.check(std::strcmp(name, BFSIM_REG_SCRATCH_NAME) == 0, std::string("name ") + name);
    // The search reads every candidate's name with the size given, so it
    // must fit the longest name met before the match, not just this one.
    char lowerCase[kRegisterSearchSize] = "scratch";
    id = 0;
    host.log.status(call("BF_RegNametoId(\"scratch\" to id)", slot),
                    host.bf.BF_RegNametoId(slot, &id, lowerCase, sizeof lowerCase, 0));
    host.log.check(id == kScratchRegister, "found id " + std::to_string(id));

    host.log.status(call("BF_NTGSetup(10 ms, 2 ms, 0 ms, line 1)", slot),
                    host.bf.BF_NTGSetup(slot, 10.0, 2.0, 0.0, 0, 1));
    host.log.status(call("BF_NTGEncDiv(2)", slot), host.bf.BF_NTGEncDiv(slot, 2, 0, 0));
    host.log.status(call("BF_SetGPOUT(mask 5, levels 4)", slot),
                    host.bf.BF_SetGPOUT(slot, kOutputMask, kOutputLevels));
    uint32_t levels = 0;
    host.log.status(call("BF_GetGPOUT", slot), host.bf.BF_GetGPOUT(slot, &levels));
    host.log.check((levels & kOutputMask) == kOutputLevels, "outputs read back as set");
}

void closeBoards(Host &host)
{
    host.log.section("Close");
    host.log.status(call("BF_Close", host.snapSlot), host.bf.BF_Close(host.snapSlot));
    host.log.status(call("BF_Close", host.chainSlot), host.bf.BF_Close(host.chainSlot));
    host.log.status(call("BF_Close again", host.snapSlot), host.bf.BF_Close(host.snapSlot),
                    BF_E_SLOT_NOT_OPEN);
    const int live = host.sim.bfsim_live_count(BFSIM_OBJ_ALL);
    host.log.check(live == 0, "nothing left open in the SDK (" + std::to_string(live) + " objects)");
}

bool load(Host &host)
{
    std::vector<std::string> missing;
    const bool loaded = winhost::loadLibrary(host.bf, missing) && winhost::loadSimulator(host.sim, missing);
    for (const std::string &name : missing) std::printf("  not found: %s\n", name.c_str());
    if (!loaded) return false;
    std::printf("Loaded qor_bitflow.dll: all 30 entry points found\n");
    return host.log.check(host.sim.bfsim_load_config(kPopulation) == 0, "simulated boards loaded");
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Host host;
    if (!load(host)) return 1;
    openBoards(host);
    uint8_t *frame = captureSingleFrames(host);
    if (frame != nullptr) triggerFrames(host, frame);
    releaseSingleDestination(host);
    snapThroughLut(host);
    grabChain(host);
    registersAndOutputs(host);
    closeBoards(host);
    winhost::unloadLibrary();

    std::printf("%s: %d failure(s)\n", host.log.failures() == 0 ? "PASSED" : "FAILED",
                host.log.failures());
    return host.log.failures() == 0 ? 0 : 1;
}
