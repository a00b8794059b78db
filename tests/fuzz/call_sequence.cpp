#include "fuzz/call_sequence.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>

#include "bfsim.h"
#include "board/blocks.h"
#include "board/slots.h"
#include "qor_bitflow.h"
#include "support/allocation_probe.h"

namespace qorfuzz {
namespace {

constexpr int kSlots = qor::kSlotTableSize;

// The boards the fuzzer opens: small frames, the simulator's shortest frame
// period and short wait times keep every wait brief; the cameras cover 1 to
// 4 bytes per pixel and every trigger mode; one board has no LUT.
struct Camera {
    uint32_t width, lines, bytesPerPixel;
};
struct Board {
    int32_t family;
    uint32_t number;
    std::vector<Camera> cameras;
};
const std::vector<Board> kBoards = {
    {BF_FAMILY_16, 0, {{64, 16, 1}, {32, 8, 2}, {16, 8, 3}}},
    {BF_FAMILY_16, 1, {{48, 12, 2}, {64, 16, 1}}},
    {BF_FAMILY_208, 0, {{32, 16, 4}}},
    {BF_FAMILY_32, 0, {{64, 16, 1}}},
};
constexpr const char *kPopulation = R"({"boards":[
 {"type":16,"cameras":[
  {"width":64,"lines":16,"bitDepth":8,"bytesPerPixel":1,"framePeriodMs":1,"waitTimeMs":3,"trigMode":0},
  {"width":32,"lines":8,"bitDepth":12,"bytesPerPixel":2,"framePeriodMs":1,"waitTimeMs":3,"trigMode":1},
  {"width":16,"lines":8,"bitDepth":24,"bytesPerPixel":3,"framePeriodMs":1,"waitTimeMs":3}]},
 {"type":16,"generation":"gn2","cameras":[
  {"width":48,"lines":12,"bitDepth":10,"bytesPerPixel":2,"framePeriodMs":1,"waitTimeMs":3,"trigMode":2},
  {"width":64,"lines":16,"bitDepth":8,"bytesPerPixel":1,"framePeriodMs":1,"waitTimeMs":3,"trigMode":6}]},
 {"type":208,"generation":"r64","model":4142,"externalTriggerPeriodMs":2,"cameras":[
  {"width":32,"lines":16,"bitDepth":16,"bytesPerPixel":4,"framePeriodMs":1,"waitTimeMs":3}]},
 {"type":32,"cameras":[
  {"width":64,"lines":16,"bitDepth":8,"bytesPerPixel":1,"framePeriodMs":1,"waitTimeMs":3,"trigMode":3}]}]})";

// The host's own buffers (statically allocated, so never released):
// destinations and chain buffers that BF_FreeBuffer must never release.
// Each holds twice the largest frame above.
constexpr size_t kHostBytes = 8192;
constexpr int kHostBuffers = 6;
constexpr size_t kPage = 4096;
constexpr size_t kMaxBlocks = 8;
constexpr int kMaxChain = 4;
// A block holds at least a one-pixel-wide frame of every camera (16 lines
// of 4 bytes), so every block can be handed back through a set-up.
constexpr int32_t kSmallestBlock = 64;
// Widths whose frame size overflows 32 bits for every camera (8 lines or more).
constexpr uint32_t kOverflowingWidths[] = {0x20000001u, 0x40000001u, 0x80000000u, 0xFFFFFFFFu};

alignas(kPage) uint8_t hostBuffers[kHostBuffers][kHostBytes];

// 16-bit entries enough for the largest LUT, so no length makes the board
// read past the table.
uint16_t lutEntries[32768];

// SDK functions worth failing, and what they fail with.
constexpr const char *kSdkFunctions[] = {
    "CiSysBrdEnum", "CiSysBrdFind", "CiBrdOpen", "CiBrdClose", "CiBrdInquire", "CiBrdCamSel",
    "CiBrdCamGetCur", "CiConInt", "CiAqSetup", "CiAqCleanUp", "CiAqFrameSize", "CiAqCommand",
    "CiAqWaitDone", "CiAqOverflowCheck", "CiConAqCommand", "CiConAqStatus",
    "CiConGetFrameCount", "CiConCTabReset", "CiConSwTrig", "CiConVTrigModeGet",
    "CiConVTrigModeSet", "CiConExTrigConnect", "CiConAqMode", "CiConDMACommand",
    "CiSignalCreate", "CiSignalQueueClear", "CiSignalWait", "CiSignalCancel", "CiSignalFree",
    "CiRelQTabCreate", "CiPhysQTabCreate", "CiPhysQTabChainLink", "CiPhysQTabChainEngage",
    "CiPhysQTabFree", "CiRelQTabFree", "CiLutWrite", "CiLutSetMask", "CiConExposureControlSet",
    "CiEncoderDividerSet", "CiRegGPOutGet", "CiRegGPOutSet", "BFQTabModeRequest", "BFIsR64",
    "BFIsGn2", "BFRegSupported", "BFRegPeek", "BFRegPoke", "BFRegName", "BFTick", "BFTickDelta"};
// Answers the board may give whatever it is doing: busy for ever, an
// overflow, frames missed, a frame count near its wrap.
struct Answer {
    const char *function;
    uint32_t value;
};
constexpr Answer kAnswers[] = {{"CiConAqStatus", 1},
                               {"CiAqOverflowCheck", 1},
                               {"CiSignalWait", 3},
                               {"CiConGetFrameCount", UINT32_MAX}};
constexpr int32_t kFaultResults[] = {BFSIM_ERR_HANDLE, BFSIM_ERR_ARGUMENT, BFSIM_ERR_UNSUPPORTED,
                                     BFSIM_ERR_NOT_SET_UP, BFSIM_WAIT_TIMEOUT, 1, -1};

const std::vector<std::string> *running = nullptr;
std::atomic<uint64_t> progress{0};

std::string show(const void *p)
{
    if (p == nullptr) return "null";
    for (int i = 0; i < kHostBuffers; ++i)
        if (hostBuffers[i] == p) return "host" + std::to_string(i);
    std::ostringstream text;
    text << p;
    return text.str();
}
std::string show(void *p) { return show(static_cast<const void *>(p)); }
std::string show(const char *text) { return '"' + std::string(text) + '"'; }
std::string show(int32_t v) { return std::to_string(v); }
std::string show(uint32_t v) { return std::to_string(v); }
std::string show(double v)
{
    std::ostringstream text;
    text << v;
    return text.str();
}

template <class... A> std::string arguments(const A &...a)
{
    std::string text;
    ((text += (text.empty() ? "" : ", ") + show(a)), ...);
    return text;
}

class Episode {
public:
    Episode(const StatusTable &statuses, uint64_t seed, bool withFaults)
        : statuses_(statuses), rng_(seed), withFaults_(withFaults)
    {
    }

    EpisodeResult run(int calls)
    {
        running = &result_.log;
        bfsim_reset();
        if (bfsim_load_config(kPopulation) != 0) breaks("the population does not load");
        for (int i = 0; i < calls && result_.broken.empty(); ++i) {
            if (withFaults_) maybeFault();
            step();
        }
        if (result_.broken.empty()) closeEverything();
        if (result_.broken.empty()) checkNothingLeft();
        running = nullptr;
        return std::move(result_);
    }

private:
    struct SlotModel {
        bool open = false;
        const Board *board = nullptr;
        uint32_t camera = 0;
    };

    const StatusTable &statuses_;
    std::mt19937_64 rng_;
    bool withFaults_;
    std::array<SlotModel, kSlots> slots_{};
    std::map<void *, size_t> blocks_;  // from BF_AllocBuffer, not yet handed back
    qortest::AllocationProbe allocations_;  // every library allocation, to count and to refuse
    EpisodeResult result_;

    // ---- Random choices ----
    uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    template <class T> T oneOf(std::initializer_list<T> values)
    {
        return *(values.begin() + pick(static_cast<uint32_t>(values.size())));
    }

    static bool inTable(int32_t slot) { return slot >= 0 && slot < kSlots; }
    bool isOpen(int32_t slot) const { return inTable(slot) && slots_[slot].open; }

    std::vector<int32_t> openSlots() const
    {
        std::vector<int32_t> open;
        for (int32_t s = 0; s < kSlots; ++s)
            if (slots_[s].open) open.push_back(s);
        return open;
    }

    // Mostly an open slot; else an unopened one or one outside the table.
    int32_t slotArg()
    {
        const std::vector<int32_t> open = openSlots();
        if (!open.empty() && chance(0.9)) return open[pick(static_cast<uint32_t>(open.size()))];
        return chance(0.5) ? static_cast<int32_t>(pick(kSlots)) : oneOf({-1, 10, INT_MIN, INT_MAX});
    }

    void *hostBuffer() { return hostBuffers[pick(kHostBuffers)]; }

    // A width whose frame fits `bytes` on the slot's current camera (the
    // registered size never exceeds the memory behind it), or now and then
    // one whose frame size overflows 32 bits; 0 when nothing fits.
    uint32_t widthFor(int32_t slot, size_t bytes)
    {
        if (chance(0.2)) return chance(0.2) ? 0u : kOverflowingWidths[pick(4)];
        if (!isOpen(slot)) return 1 + pick(64);
        const Camera &camera = slots_[slot].board->cameras[slots_[slot].camera];
        const size_t fits = bytes / (size_t{camera.bytesPerPixel} * camera.lines);
        const size_t most = std::min<size_t>(fits, 2 * camera.width);
        return most == 0 ? 0u : 1 + pick(static_cast<uint32_t>(most));
    }

    // ---- Recording and checking ----
    void breaks(const std::string &rule)
    {
        if (result_.broken.empty()) result_.broken = rule;
    }

    // Makes the call, logged before it is made so that a call that never
    // returns is the last line of the log, then checks its status.
    template <class Call>
    int32_t record(const char *function, int32_t slot, const std::string &args, Call makeCall)
    {
        result_.log.push_back(std::string(function) + "(" + args + ")");
        const int32_t status = makeCall();
        ++result_.calls;
        ++progress;
        const std::string call = result_.log.back() += " -> " + show(status);
        if (bfsim_misuse_count() > 0) {
            bfsim_misuse misuse{};
            bfsim_misuse_get(0, &misuse);
            breaks(call + ": the board was misused: " + misuse.function + ": " + misuse.reason);
        }
        const auto documented = statuses_.find(function);
        if (documented == statuses_.end() || documented->second.count(status) == 0)
            breaks(call + ": status not documented for " + function);
        if (std::strcmp(function, "BF_Open") != 0 && (status == BF_E_SLOT_NOT_OPEN) == isOpen(slot))
            breaks(call + ": the slot is " + (isOpen(slot) ? "open" : "not open"));
        return status;
    }

    void maybeFault()
    {
        if (chance(0.01)) {
            bfsim_fault_clear();
            result_.log.push_back("bfsim_fault_clear()");
        }
        if (chance(0.01)) {
            const Answer &answer = kAnswers[pick(std::size(kAnswers))];
            if (chance(0.5)) {
                bfsim_set_output(answer.function, answer.value);
                result_.log.push_back("bfsim_set_output(" + std::string(answer.function) + ", " +
                                      show(answer.value) + ")");
            } else {
                bfsim_clear_output(answer.function);
                result_.log.push_back("bfsim_clear_output(" + std::string(answer.function) + ")");
            }
        }
        if (chance(0.01)) {
            const int nth = 1 + static_cast<int>(pick(3));
            allocations_.failAt(nth);
            ++result_.faults;
            result_.log.push_back("refuse library allocation " + show(nth) + " from now");
        }
        if (!chance(0.04)) return;
        const char *function = kSdkFunctions[pick(std::size(kSdkFunctions))];
        const int nth = 1 + static_cast<int>(pick(3));
        const int persistent = chance(0.2) ? 1 : 0;
        const int32_t code = kFaultResults[pick(std::size(kFaultResults))];
        bfsim_fault(function, nth, persistent, code);
        ++result_.faults;
        result_.log.push_back("bfsim_fault(" + std::string(function) + ", " +
                              arguments(nth, persistent, code) + ")");
    }

    // ---- The thirty functions ----
    void step()
    {
        // A board is opened more readily while none is, so that most calls
        // find something to act on.
        if (openSlots().empty() && chance(0.5)) return open();
        switch (pick(30)) {
        case 0: return open();
        case 1: return imageInfo();
        case 2: return selectCamera();
        case 3: return close(slotArg());
        case 4: return allocBuffer();
        case 5: return freeBuffer(slotArg());
        case 6: return setup();
        case 7: return cleanup(slotArg());
        case 8: return aqFrameSize();
        case 9: return plain("BF_GetFrame", BF_GetFrame);
        case 10: return plain("BF_FastGetFrame", BF_FastGetFrame);
        case 11: return grab();
        case 12: return plain("BF_Stop", BF_Stop);
        case 13: return wait4Frame();
        case 14: return status();
        case 15: return plain("BF_ResetAcquisition", BF_ResetAcquisition);
        case 16: return bufferSetup();
        case 17: return plain("BF_BufferCleanup", BF_BufferCleanup);
        case 18: return wait();
        case 19: return triggerMode();
        case 20: return swTrigger();
        case 21: return loadLut();
        case 22: return plain("BF_MaskBits", BF_MaskBits);
        case 23: return ntgSetup();
        case 24: return encoderDivider();
        case 25: return getGpout();
        case 26: return setGpout();
        case 27: return regPeek();
        case 28: return regPoke();
        default: return regNameToId();
        }
    }

    int32_t plain(const char *function, int32_t (*call)(int32_t), int32_t slot)
    {
        return record(function, slot, arguments(slot), [&] { return call(slot); });
    }
    void plain(const char *function, int32_t (*call)(int32_t)) { plain(function, call, slotArg()); }

    int32_t lowestFreeSlot() const
    {
        for (int32_t s = 0; s < kSlots; ++s)
            if (!slots_[s].open) return s;
        return -1;
    }

    const Board *boardOf(int32_t family, uint32_t number) const
    {
        for (const Board &board : kBoards)
            if (board.family == family && board.number == number) return &board;
        return nullptr;
    }

    void open()
    {
        const Board &board = kBoards[pick(static_cast<uint32_t>(kBoards.size()))];
        int32_t family = board.family;
        uint32_t number = board.number;
        if (chance(0.2)) family = oneOf<int32_t>({BF_FAMILY_64, -1, 4, INT_MIN});
        if (chance(0.1)) number = oneOf({2u, UINT32_MAX});
        openBoard(family, number, chance(0.15), chance(0.1));
    }

    int32_t openBoard(int32_t family, uint32_t number, bool nullOutputs, bool nullSlot)
    {
        uint32_t geometry[4] = {};
        uint32_t *out = nullOutputs ? nullptr : geometry;
        int32_t slot = -2;
        const int32_t expected = lowestFreeSlot();
        const int32_t status =
            record("BF_Open", -1, arguments(family, number), [&] {
                return BF_Open(nullptr, out, out ? out + 1 : nullptr, out ? out + 2 : nullptr,
                               out ? out + 3 : nullptr, number, family, nullSlot ? nullptr : &slot);
            });
        if (status != BF_OK) {
            if (!nullSlot && slot != -1) breaks("a failed BF_Open left slot " + show(slot));
            return -1;
        }
        const Board *board = boardOf(family, number);
        if (expected < 0 || board == nullptr) breaks("BF_Open opened a board that cannot be");
        else if (!nullSlot && slot != expected) breaks("BF_Open chose slot " + show(slot));
        else slots_[expected] = {true, board, 0};
        return expected;
    }

    void imageInfo()
    {
        const int32_t slot = slotArg();
        uint32_t v[5];
        void *destination = nullptr;
        const bool none = chance(0.2);
        record("BF_ImageInfo", slot, arguments(slot), [&] {
            return none ? BF_ImageInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, slot)
                        : BF_ImageInfo(v, v + 1, v + 2, v + 3, v + 4, &destination, slot);
        });
    }

    void selectCamera()
    {
        const int32_t slot = slotArg();
        const uint32_t camera = chance(0.85) ? pick(3) : UINT32_MAX;
        const int32_t status =
            record("BF_SelectCamera", slot, arguments(camera, slot),
                   [&] { return BF_SelectCamera(camera, slot); });
        if (status == BF_OK && isOpen(slot)) slots_[slot].camera = camera;
    }

    void close(int32_t slot)
    {
        const int32_t status =
            record("BF_Close", slot, arguments(slot), [&] { return BF_Close(slot); });
        if (status == BF_OK && inTable(slot)) slots_[slot] = SlotModel{};
    }

    void allocBuffer()
    {
        const int32_t slot = slotArg();
        int32_t size = chance(0.8) && blocks_.size() < kMaxBlocks
                           ? kSmallestBlock + static_cast<int32_t>(pick(2 * kHostBytes))
                           : oneOf({0, -1, INT_MIN});
        const bool nullSize = chance(0.05);
        const bool nullOut = chance(0.05);
        void *block = &size;  // anything but null, to see it overwritten
        const int32_t status =
            record("BF_AllocBuffer", slot, arguments(nullSize ? 0 : size, slot), [&] {
                return BF_AllocBuffer(nullSize ? nullptr : &size, nullOut ? nullptr : &block, slot);
            });
        if (status == BF_OK) {
            if (block == nullptr || reinterpret_cast<uintptr_t>(block) % kPage != 0)
                return breaks("BF_AllocBuffer handed out " + show(block));
            std::memset(block, 0x5A, static_cast<size_t>(size));  // the whole size is there
            blocks_[block] = static_cast<size_t>(size);
            result_.log.back() += " " + show(block);
        } else if (!nullOut && status == BF_E_ALLOC_FAILED && block != nullptr) {
            breaks("a failed BF_AllocBuffer left *bufferOut set");
        }
    }

    void freeBuffer(int32_t slot)
    {
        void *destination = inTable(slot) ? qor::boardSlots[slot].destination : nullptr;
        const bool live = blocks_.count(destination) != 0;
        const int32_t status =
            record("BF_FreeBuffer", slot, arguments(slot), [&] { return BF_FreeBuffer(slot); });
        if (status != BF_OK || !live || qor::blocks::find(destination) != nullptr) return;
        blocks_.erase(destination);
        result_.log.back() += " released " + show(destination);
    }

    void setup()
    {
        const int32_t slot = slotArg();
        void *dest = hostBuffer();
        size_t bytes = kHostBytes;
        if (!blocks_.empty() && chance(0.5)) {
            auto block = std::next(blocks_.begin(), pick(static_cast<uint32_t>(blocks_.size())));
            dest = block->first;
            bytes = block->second;
        }
        uint32_t width = widthFor(slot, bytes);
        if (width == 0 && bytes != kHostBytes) {
            dest = hostBuffer();
            width = widthFor(slot, kHostBytes);
        }
        if (chance(0.05)) dest = nullptr;
        record("BF_Setup", slot, arguments(dest, width, slot),
               [&] { return BF_Setup(dest, width, slot); });
    }

    void cleanup(int32_t slot)
    {
        record("BF_Cleanup", slot, arguments(slot), [&] { return BF_Cleanup(slot); });
    }

    void aqFrameSize()
    {
        const int32_t slot = slotArg();
        const uint32_t x = chance(0.9) ? pick(80) : UINT32_MAX;
        const uint32_t y = chance(0.9) ? pick(20) : UINT32_MAX;
        const int32_t engine = oneOf({0, 0, 1, -1, 2, INT_MIN, INT_MAX});
        record("BF_AqFrameSize", slot, arguments(slot, x, y, engine),
               [&] { return BF_AqFrameSize(slot, x, y, engine); });
    }

    void grab()
    {
        const int32_t slot = slotArg();
        const int32_t chained = oneOf({0, 1, -1});
        record("BF_Grab", slot, arguments(slot, chained), [&] { return BF_Grab(slot, chained); });
    }

    uint32_t timeoutArg() { return oneOf({0u, 1u, 2u, 5u}); }

    void wait4Frame()
    {
        const int32_t slot = slotArg();
        const uint32_t timeout = timeoutArg();
        uint32_t count = 0;
        record("BF_Wait4Frame", slot, arguments(timeout, slot),
               [&] { return BF_Wait4Frame(timeout, slot, chance(0.2) ? nullptr : &count); });
    }

    void status()
    {
        const int32_t slot = slotArg();
        uint32_t a = 0, b = 0, d = 0;
        int32_t c = 0;
        const bool none = chance(0.2);
        record("BF_Status", slot, arguments(slot), [&] {
            return none ? BF_Status(nullptr, nullptr, nullptr, nullptr, slot)
                        : BF_Status(&a, &b, &c, &d, slot);
        });
    }

    void bufferSetup()
    {
        const int32_t slot = slotArg();
        const int32_t count = chance(0.85) ? 1 + static_cast<int32_t>(pick(kMaxChain))
                                           : oneOf({0, -1, INT_MIN});
        std::vector<void *> list(static_cast<size_t>(std::max(count, 1)));
        size_t smallest = kHostBytes;
        for (void *&buffer : list) {
            buffer = chance(0.02) ? nullptr : hostBuffer();
            if (blocks_.empty() || !chance(0.3)) continue;
            // A block from BF_AllocBuffer, perhaps another slot's destination.
            auto block = std::next(blocks_.begin(), pick(static_cast<uint32_t>(blocks_.size())));
            buffer = block->first;
            smallest = std::min(smallest, block->second);
        }
        void **buffers = chance(0.05) ? nullptr : list.data();
        // Now and then a width too wide for the smallest block, which the
        // set-up must refuse.
        const uint32_t width = widthFor(slot, chance(0.9) ? smallest : kHostBytes);
        record("BF_BufferSetup", slot, arguments(buffers ? list[0] : nullptr, width, count, slot),
               [&] { return BF_BufferSetup(buffers, width, count, slot); });
    }

    void wait()
    {
        const int32_t slot = slotArg();
        const uint32_t timeout = timeoutArg();
        const int32_t whole = oneOf({0, 0, 1});
        uint32_t count = 0;
        record("BF_Wait", slot, arguments(timeout, slot, whole),
               [&] { return BF_Wait(timeout, slot, whole, chance(0.2) ? nullptr : &count); });
    }

    void triggerMode()
    {
        const int32_t slot = slotArg();
        int32_t enable = oneOf({0, 1, -1});
        const bool none = chance(0.1);
        record("BF_TriggerMode", slot, arguments(none ? 0 : enable, slot),
               [&] { return BF_TriggerMode(none ? nullptr : &enable, slot); });
    }

    void swTrigger()
    {
        const int32_t slot = slotArg();
        const int32_t one = oneOf({0, 1, -1});
        const int32_t two = oneOf({0, 1});
        record("BF_SetSWtrigger", slot, arguments(one, two, slot),
               [&] { return BF_SetSWtrigger(one, two, slot); });
    }

    void loadLut()
    {
        const int32_t slot = slotArg();
        const int32_t kind = chance(0.85) ? static_cast<int32_t>(pick(7)) : oneOf({7, -1, INT_MIN});
        const int32_t length = oneOf({256, 4096, 32768, 255, 4095, 32767, 0, -1, INT_MAX});
        void *entries = chance(0.1) ? nullptr : lutEntries;
        record("BF_LoadLUT", slot, arguments(kind, entries, length, slot),
               [&] { return BF_LoadLUT(kind, entries, length, slot); });
    }

    void ntgSetup()
    {
        const int32_t slot = slotArg();
        const double period = oneOf({0.5, 1.0, 2.0, 0.0, -1.0});
        const double exposure = oneOf({0.1, 0.5, 3.0});
        const double delay = oneOf({0.0, 0.2, -1.0});
        const uint32_t mode = pick(4);
        const int32_t bit = oneOf({1, 2, 32, 33, 0, -1, INT_MIN, INT_MAX});
        record("BF_NTGSetup", slot, arguments(slot, period, exposure, delay, mode, bit),
               [&] { return BF_NTGSetup(slot, period, exposure, delay, mode, bit); });
    }

    void encoderDivider()
    {
        const int32_t slot = slotArg();
        const uint32_t divider = oneOf({0u, 1u, 2u, 1000u, UINT32_MAX});
        const uint32_t encoder = oneOf({0u, 1u, 2u, 99u});
        const uint32_t both = pick(2);
        record("BF_NTGEncDiv", slot, arguments(slot, divider, encoder, both),
               [&] { return BF_NTGEncDiv(slot, divider, encoder, both); });
    }

    void getGpout()
    {
        const int32_t slot = slotArg();
        uint32_t levels = 0;
        record("BF_GetGPOUT", slot, arguments(slot),
               [&] { return BF_GetGPOUT(slot, chance(0.1) ? nullptr : &levels); });
    }

    void setGpout()
    {
        const int32_t slot = slotArg();
        const uint32_t mask = static_cast<uint32_t>(rng_());
        const uint32_t levels = static_cast<uint32_t>(rng_());
        record("BF_SetGPOUT", slot, arguments(slot, mask, levels),
               [&] { return BF_SetGPOUT(slot, mask, levels); });
    }

    uint32_t registerId()
    {
        return chance(0.7) ? oneOf({BFSIM_REG_BOARD_ID, BFSIM_REG_UNSUPPORTED, BFSIM_REG_GAIN,
                                    BFSIM_REG_SCRATCH, BFSIM_REG_GN2_ACQ_CONTROL,
                                    BFSIM_REG_PULSE_WIDTH, BFSIM_REG_CLOCK_DETECT,
                                    BFSIM_REG_EXTENDED_STATUS, BFSIM_REG_BAUD_DIVIDER,
                                    BFSIM_REG_EXTENDED_SCRATCH, 4001u, UINT32_MAX})
                           : pick(4100);
    }

    void regPeek()
    {
        const int32_t slot = slotArg();
        const uint32_t id = registerId();
        uint32_t value = 0;
        record("BF_RegPeek", slot, arguments(slot, id),
               [&] { return BF_RegPeek(slot, id, chance(0.05) ? nullptr : &value); });
    }

    void regPoke()
    {
        const int32_t slot = slotArg();
        const uint32_t id = registerId();
        const uint32_t value = static_cast<uint32_t>(rng_());
        record("BF_RegPoke", slot, arguments(slot, id, value),
               [&] { return BF_RegPoke(slot, id, value); });
    }

    void regNameToId()
    {
        const int32_t slot = slotArg();
        char name[64] = {};
        std::strcpy(name, oneOf({BFSIM_REG_GAIN_NAME, "gain", BFSIM_REG_GAIN_FINE_NAME,
                                 BFSIM_REG_DEBUG_COUNTER_NAME, BFSIM_REG_EXTENDED_CONTROL_NAME,
                                 BFSIM_REG_BAUD_DIVIDER_NAME, "NO_SUCH_REGISTER", ""}));
        uint32_t id = registerId();
        const uint32_t size = oneOf({0u, 1u, 8u, 32u, 33u, 64u});
        const int32_t toName = oneOf({0, 1, -1});
        uint32_t *idInOut = chance(0.05) ? nullptr : &id;
        char *nameInOut = chance(0.05) ? nullptr : name;
        record("BF_RegNametoId", slot, arguments(slot, id, name, size, toName),
               [&] { return BF_RegNametoId(slot, idInOut, nameInOut, size, toName); });
    }

    // ---- The end of an episode ----

    // With faults cleared: either the documented teardown of each open slot, or
    // a bare BF_Close with whatever is in force; then every block the host
    // still holds goes back through a set-up and BF_FreeBuffer.
    void closeEverything()
    {
        bfsim_fault_clear();
        for (const Answer &answer : kAnswers) bfsim_clear_output(answer.function);
        allocations_.failAt(0);
        result_.log.push_back("-- close everything --");
        const bool teardown = chance(0.5);
        for (int32_t slot = 0; slot < kSlots; ++slot) {
            if (!slots_[slot].open) continue;
            if (teardown) {
                plain("BF_Stop", BF_Stop, slot);
                freeBuffer(slot);
                cleanup(slot);
                plain("BF_BufferCleanup", BF_BufferCleanup, slot);
            }
            close(slot);
            if (slots_[slot].open) breaks("slot " + show(slot) + " cannot be closed");
        }
        if (blocks_.empty() || !result_.broken.empty()) return;
        const int32_t slot = openBoard(BF_FAMILY_16, 0, false, false);
        if (slot < 0) return breaks("no board to hand the blocks back through");
        const std::map<void *, size_t> held = blocks_;
        for (const auto &block : held) {
            record("BF_Setup", slot, arguments(block.first, 1, slot),
                   [&] { return BF_Setup(block.first, 1, slot); });
            freeBuffer(slot);
            cleanup(slot);
        }
        close(slot);
        if (!blocks_.empty()) breaks("BF_FreeBuffer kept a block it handed out");
    }

    void checkNothingLeft()
    {
        static const char *const kKinds[] = {"boards", "signals", "relative QTabs",
                                             "physical QTabs", "destinations"};
        for (int kind = BFSIM_OBJ_BOARDS; kind <= BFSIM_OBJ_DESTINATIONS; ++kind)
            if (const int live = bfsim_live_count(kind))
                breaks("after closing everything, " + show(live) + " " + kKinds[kind] +
                       " still live in the simulator");
        if (allocations_.held() > 0)
            breaks("after closing everything, the library still holds " +
                   show(allocations_.held()) + " heap blocks");
        if (qor::openCount != 0)
            breaks("after closing everything, openCount is " + show(qor::openCount));
        for (int32_t slot = 0; slot < kSlots; ++slot) {
            const qor::BufferSet &chain = qor::bufferSets[slot];
            if (chain.qtabs != nullptr || chain.qtabPtrs != nullptr)
                breaks("after closing everything, slot " + show(slot) + " still holds QTab arrays");
        }
    }
};

}  // namespace

EpisodeResult runEpisode(const StatusTable &statuses, uint64_t seed, int calls, bool withFaults)
{
    return Episode(statuses, seed, withFaults).run(calls);
}

const std::vector<std::string> *runningEpisodeLog()
{
    return running;
}

uint64_t callsSoFar()
{
    return progress.load();
}

}  // namespace qorfuzz
