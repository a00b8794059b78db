// Every SDK call and every allocation each of the thirty functions makes,
// failed one at a time: the function answers its documented status, and
// the partner calls afterwards leave nothing alive, on the board or on the
// heap.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "board/slots.h"
#include "support/allocation_probe.h"
#include "support/sim_fixture.h"

namespace {

constexpr uint32_t kWidth = 640;
constexpr int32_t kFrameBytes = 640 * 480;
constexpr uint32_t kWaitMs = 1000;

// What a scenario works on: the slot, and the buffers it may register.
struct Host {
    int32_t slot = -1;
    void *block = nullptr;  // from BF_AllocBuffer
    std::vector<uint8_t> frames[3];
    void *list[3];
    uint16_t lut[0x8000] = {};
    char name[64] = "GAIN";
    uint32_t value = 0;
};

using Step = std::function<void(Host &)>;
using Call = std::function<int32_t(Host &)>;

// One function's successful path and what each failure along it answers:
// keyed "Sdk#n" (the nth call of Sdk in the path), or "Sdk" for every call
// of it, with a "+" appended for a failure that persists; any failure not
// listed leaves the status of the successful path.
struct Scenario {
    const char *name;
    Step prepare;
    Call call;
    std::map<std::string, int32_t> failures;
};

void openBoard(Host &h, int32_t family = BF_FAMILY_16)
{
    uint32_t depth, bpp, width, lines;
    EXPECT_EQ(BF_Open(nullptr, &depth, &bpp, &width, &lines, 0, family, &h.slot), BF_OK);
}
void allocate(Host &h)
{
    int32_t size = kFrameBytes;
    EXPECT_EQ(BF_AllocBuffer(&size, &h.block, h.slot), BF_OK);
}
void single(Host &h)
{
    openBoard(h);
    allocate(h);
    EXPECT_EQ(BF_Setup(h.block, kWidth, h.slot), BF_OK);
}
void chain(Host &h)
{
    openBoard(h);
    EXPECT_EQ(BF_BufferSetup(h.list, kWidth, 3, h.slot), BF_OK);
}
void grabbing(Host &h)
{
    single(h);
    EXPECT_EQ(BF_Grab(h.slot, 0), BF_OK);
}
void chainGrabbing(Host &h)
{
    chain(h);
    EXPECT_EQ(BF_Grab(h.slot, 1), BF_OK);
}

const std::vector<Scenario> &scenarios()
{
    static const std::vector<Scenario> table = {
        {"Open", [](Host &) {}, [](Host &h) {
             uint32_t d, b, w, l;
             return BF_Open(nullptr, &d, &b, &w, &l, 0, BF_FAMILY_16, &h.slot);
         }, {{"CiSysBrdEnum#1", BF_E_NO_BOARD}, {"CiSysBrdFind", BF_E_NO_BOARD},
             {"CiBrdOpen", BF_E_OPEN_FAILED}}},
        {"ImageInfo", [](Host &h) { openBoard(h); }, [](Host &h) {
             uint32_t a, b, c, d, e;
             void *dest;
             return BF_ImageInfo(&a, &b, &c, &d, &e, &dest, h.slot);
         }, {}},
        {"SelectCamera", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_SelectCamera(0, h.slot); }, {{"CiBrdCamSel", BF_E_CAMERA_SELECT}}},
        // The chain set-up released the destination: the chain alone is left.
        {"Close with everything in force",
         [](Host &h) {
             openBoard(h);
             EXPECT_EQ(BF_Setup(h.frames[0].data(), kWidth, h.slot), BF_OK);
             EXPECT_EQ(BF_Grab(h.slot, 0), BF_OK);
             EXPECT_EQ(BF_BufferSetup(h.list, kWidth, 3, h.slot), BF_OK);
         },
         [](Host &h) { return BF_Close(h.slot); },
         {{"CiBrdClose", BF_E_CLOSE}, {"CiPhysQTabFree", BF_E_CLOSE}, {"CiRelQTabFree", BF_E_CLOSE},
          {"CiSignalFree", BF_E_CLOSE}}},
        {"AllocBuffer", [](Host &h) { openBoard(h); }, [](Host &h) {
             int32_t size = kFrameBytes;
             return BF_AllocBuffer(&size, &h.block, h.slot);
         }, {}},
        {"FreeBuffer while grabbing", grabbing, [](Host &h) { return BF_FreeBuffer(h.slot); }, {}},
        {"Setup", [](Host &h) { openBoard(h); allocate(h); },
         [](Host &h) { return BF_Setup(h.block, kWidth, h.slot); },
         {{"CiAqSetup", BF_E_ACQ_SETUP}, {"CiBrdInquire", BF_E_ACQ_SETUP}}},
        {"Setup again", single, [](Host &h) { return BF_Setup(h.block, kWidth, h.slot); },
         {{"CiAqSetup", BF_E_ACQ_SETUP}, {"CiBrdInquire", BF_E_ACQ_SETUP}}},
        {"Cleanup", single, [](Host &h) { return BF_Cleanup(h.slot); }, {}},
        {"AqFrameSize", single, [](Host &h) { return BF_AqFrameSize(h.slot, 320, 240, 0); },
         {{"CiAqFrameSize", BF_E_FRAME_SIZE}}},
        {"GetFrame", single, [](Host &h) { return BF_GetFrame(h.slot); },
         {{"CiAqCommand", BF_E_SNAP}, {"CiAqWaitDone", BF_E_FRAME_WAIT}}},
        // Without the board's wait time the signal wait is given 0 ms.
        {"GetFrame on a chain", chain, [](Host &h) { return BF_GetFrame(h.slot); },
         {{"CiBrdInquire", BF_E_FRAME_WAIT}, {"CiConAqCommand", BF_E_SNAP},
          {"CiSignalWait", BF_E_FRAME_WAIT}}},
        {"FastGetFrame", single, [](Host &h) { return BF_FastGetFrame(h.slot); },
         {{"CiAqCommand", BF_E_SNAP}}},
        {"Grab", single, [](Host &h) { return BF_Grab(h.slot, 0); }, {{"CiAqCommand", BF_E_GRAB}}},
        {"Grab a chain on Gn2",
         [](Host &h) { openBoard(h, BF_FAMILY_208); EXPECT_EQ(BF_BufferSetup(h.list, kWidth, 3, h.slot), BF_OK); },
         [](Host &h) { return BF_Grab(h.slot, 1); }, {{"CiConAqCommand", BF_E_GRAB}}},
        {"Stop", grabbing, [](Host &h) { return BF_Stop(h.slot); }, {}},
        {"Stop a chain", chainGrabbing, [](Host &h) { return BF_Stop(h.slot); }, {}},
        {"Wait4Frame", grabbing, [](Host &h) { return BF_Wait4Frame(kWaitMs, h.slot, &h.value); },
         {{"CiSignalWait", BF_E_SIGNAL_WAIT}}},
        {"Status", grabbing, [](Host &h) {
             uint32_t resets, status, count;
             int32_t zero;
             return BF_Status(&resets, &status, &zero, &count, h.slot);
         }, {}},
        {"ResetAcquisition", grabbing, [](Host &h) { return BF_ResetAcquisition(h.slot); },
         {{"CiAqCommand#1", BF_E_RESET_STOP}, {"CiAqCommand#2", BF_E_RESET}}},
        {"BufferSetup", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_BufferSetup(h.list, kWidth, 3, h.slot); },
         {{"CiBrdInquire", BF_E_REL_QTAB}, {"CiRelQTabCreate", BF_E_REL_QTAB},
          {"CiPhysQTabCreate", BF_E_PHYS_QTAB}, {"CiPhysQTabChainLink", BF_E_CHAIN_LINK},
          {"CiPhysQTabChainEngage", BF_E_CHAIN_ENGAGE}, {"CiConDMACommand", BF_E_DMA_COMMAND}}},
        {"BufferSetup replacing a chain", chainGrabbing,
         [](Host &h) { return BF_BufferSetup(h.list, kWidth, 2, h.slot); },
         {{"CiBrdInquire", BF_E_REL_QTAB}, {"CiPhysQTabFree", BF_E_QTAB_FREE},
          {"CiRelQTabFree", BF_E_QTAB_FREE}, {"CiRelQTabCreate", BF_E_REL_QTAB},
          {"CiPhysQTabCreate", BF_E_PHYS_QTAB}, {"CiPhysQTabChainLink", BF_E_CHAIN_LINK},
          {"CiPhysQTabChainEngage", BF_E_CHAIN_ENGAGE}, {"CiConDMACommand", BF_E_DMA_COMMAND}}},
        {"BufferCleanup", chainGrabbing, [](Host &h) { return BF_BufferCleanup(h.slot); },
         {{"CiPhysQTabFree", BF_E_QTAB_FREE}, {"CiRelQTabFree", BF_E_QTAB_FREE}}},
        {"Wait", chainGrabbing, [](Host &h) { return BF_Wait(kWaitMs, h.slot, 1, &h.value); },
         {{"CiSignalWait", BF_E_SIGNAL_WAIT}}},
        {"TriggerMode", [](Host &h) { openBoard(h); }, [](Host &h) {
             int32_t enable = 1;
             return BF_TriggerMode(&enable, h.slot);
         }, {{"CiConVTrigModeSet", BF_E_TRIGGER_MODE}}},
        {"SetSWtrigger", single, [](Host &h) { return BF_SetSWtrigger(1, 1, h.slot); }, {}},
        {"LoadLUT", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_LoadLUT(2, h.lut, 0x100, h.slot); }, {{"CiLutWrite", BF_E_LUT_WRITE}}},
        // Without the bit depth the board is asked to mask 0 bits, and refuses.
        {"MaskBits", [](Host &h) { openBoard(h); }, [](Host &h) { return BF_MaskBits(h.slot); },
         {{"CiBrdInquire#1", BF_E_MASK_SET}, {"CiLutSetMask", BF_E_MASK_SET}}},
        {"NTGSetup", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_NTGSetup(h.slot, 10.0, 2.0, 1.0, 1, 1); },
         {{"CiConExposureControlSet", BF_E_NTG_SETUP}}},
        {"NTGEncDiv", [](Host &h) { openBoard(h); }, [](Host &h) { return BF_NTGEncDiv(h.slot, 2, 0, 0); },
         {{"CiEncoderDividerSet", BF_E_ENCODER_DIVIDER}}},
        {"GetGPOUT", [](Host &h) { openBoard(h); }, [](Host &h) { return BF_GetGPOUT(h.slot, &h.value); },
         {{"CiRegGPOutGet", BF_E_GPOUT_GET}}},
        {"SetGPOUT", [](Host &h) { openBoard(h); }, [](Host &h) { return BF_SetGPOUT(h.slot, 1, 1); },
         {{"CiRegGPOutSet", BF_E_GPOUT_SET}}},
        {"RegPeek", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_RegPeek(h.slot, BFSIM_REG_GAIN, &h.value); },
         {{"BFRegSupported", BF_E_REGISTER_UNSUPPORTED}}},
        {"RegPoke", [](Host &h) { openBoard(h); },
         [](Host &h) { return BF_RegPoke(h.slot, BFSIM_REG_SCRATCH, 7); },
         {{"BFRegSupported", BF_E_REGISTER_UNSUPPORTED}, {"BFRegPoke", BF_E_REGISTER_WRITE}}},
        {"RegNametoId, id to name", [](Host &h) { openBoard(h); }, [](Host &h) {
             h.value = BFSIM_REG_GAIN;
             return BF_RegNametoId(h.slot, &h.value, h.name, sizeof h.name, 1);
         }, {{"BFRegSupported", BF_E_REGISTER_UNSUPPORTED}, {"BFRegName", BF_E_REGISTER_NAME}}},
        {"RegNametoId, name to id", [](Host &h) { openBoard(h); }, [](Host &h) {
             std::snprintf(h.name, sizeof h.name, "%s", BFSIM_REG_FPGA_VERSION_NAME);
             return BF_RegNametoId(h.slot, &h.value, h.name, sizeof h.name, 0);
         },
         // The first id searched is not the one named: skipping it changes nothing.
         {{"BFRegSupported#1", BF_OK}, {"BFRegSupported#1+", BF_E_REGISTER_UNSUPPORTED},
          {"BFRegSupported", BF_E_REGISTER_UNSUPPORTED}, {"BFRegName", BF_E_REGISTER_UNSUPPORTED}}},
    };
    return table;
}

// The answer that makes each SDK function fail: functions that answer a
// value (a pointer, a flag) fail by answering null or "no".
int32_t failureOf(const std::string &function)
{
    if (function == "CiSignalWait") return BFSIM_WAIT_TIMEOUT;
    if (function.rfind("BF", 0) == 0 && function != "BFRegPoke" && function != "BFRegName" &&
        function != "BFOutputDebugString" && function != "BFQTabModeRequest")
        return 0;
    return BFSIM_ERR_ARGUMENT;
}

class Sweep : public qortest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        if (!probe) probe = std::make_unique<qortest::AllocationProbe>();
        host = std::make_unique<Host>();
        for (int i = 0; i < 3; ++i) {
            host->frames[i].resize(kFrameBytes);
            host->list[i] = host->frames[i].data();
        }
    }
    void TearDown() override
    {
        host.reset();
        SimTest::TearDown();
    }
    // A fresh simulator and library with the scenario prepared.
    void enter(const Scenario &s)
    {
        TearDown();
        SetUp();
        s.prepare(*host);
        bfsim_journal_clear();
    }
    // Runs the call, which must not throw across the C boundary.
    int32_t run(const Scenario &s)
    {
        try {
            return s.call(*host);
        } catch (...) {
            ADD_FAILURE() << s.name << " threw";
            return -1;
        }
    }
    // The partner calls a host makes, with the SDK behaving again; then
    // nothing may be left alive.
    void releaseAndCheck(const std::string &where)
    {
        bfsim_fault_clear();
        const int32_t slot = host->slot;
        if (qor::openSlot(slot) != nullptr) {
            BF_Stop(slot);
            // A block handed out but not registered is released the
            // documented way: registered, then freed.
            if (host->block != nullptr && qor::boardSlots[slot].destination != host->block)
                BF_Setup(host->block, kWidth, slot);
            BF_FreeBuffer(slot);
            BF_Cleanup(slot);
            for (int tries = 0; BF_BufferCleanup(slot) == BF_E_QTAB_FREE && tries < 3; ++tries) {
            }
            for (int tries = 0; BF_Close(slot) == BF_E_CLOSE && tries < 3; ++tries) {
            }
        }
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0) << where;
        EXPECT_EQ(probe->held(), 0) << where;
    }
    std::unique_ptr<Host> host;
    std::unique_ptr<qortest::AllocationProbe> probe;
};

int32_t expectedStatus(const Scenario &s, const std::string &function, int nth, bool persistent,
                       int32_t success)
{
    const std::string site = function + "#" + std::to_string(nth);
    for (const std::string &key : {site + (persistent ? "+" : ""), site, function}) {
        auto found = s.failures.find(key);
        if (found != s.failures.end()) return found->second;
    }
    return success;
}

TEST_F(Sweep, EverySdkCallFailedOnceAndForGood)
{
    int sites = 0;
    for (const Scenario &s : scenarios()) {
        enter(s);
        const int32_t success = run(s);
        const std::vector<std::string> path = qortest::journalNames();
        releaseAndCheck(std::string(s.name) + ", no fault");
        std::map<std::string, int> seen;
        for (const std::string &function : path) {
            const int nth = ++seen[function];
            ++sites;
            for (bool persistent : {false, true}) {
                const std::string where = std::string(s.name) + ": " + function + " #" +
                                          std::to_string(nth) + (persistent ? " for good" : "");
                enter(s);
                bfsim_fault(function.c_str(), nth, persistent, failureOf(function));
                EXPECT_EQ(run(s), expectedStatus(s, function, nth, persistent, success)) << where;
                releaseAndCheck(where);
            }
        }
    }
    std::printf("SDK call sites swept: %d\n", sites);
}

// A set-up that fails making its QTabs releases those it made. Each of
// those releases is refused in turn on top of the first failure: the set-up
// still answers its own status, and the partner calls still leave nothing
// alive.
TEST_F(Sweep, EveryUnwindingReleaseRefusedToo)
{
    const std::set<int32_t> unwinding = {BF_E_REL_QTAB, BF_E_PHYS_QTAB, BF_E_CHAIN_LINK};
    const std::set<std::string> releases = {"CiPhysQTabFree", "CiRelQTabFree"};
    const std::vector<std::string> makers = {"CiRelQTabCreate", "CiPhysQTabCreate",
                                             "CiPhysQTabChainLink"};
    int sites = 0;
    for (const Scenario &s : scenarios()) {
        enter(s);
        run(s);
        const std::vector<std::string> path = qortest::journalNames();
        releaseAndCheck(s.name);
        std::map<std::string, int> seen;
        for (const std::string &function : path) {
            const int nth = ++seen[function];
            const int32_t status = expectedStatus(s, function, nth, false, BF_OK);
            if (unwinding.count(status) == 0) continue;
            enter(s);
            bfsim_fault(function.c_str(), nth, 0, failureOf(function));
            run(s);
            // The unwinding's releases follow the last QTab the set-up made.
            const std::vector<std::string> calls = qortest::journalNames();
            const auto made = std::find_first_of(calls.rbegin(), calls.rend(), makers.begin(),
                                                 makers.end());
            std::map<std::string, int> counted;
            for (auto call = calls.begin(); call != calls.end(); ++call) {
                const int k = ++counted[*call];
                if (call < made.base() || releases.count(*call) == 0) continue;
                ++sites;
                const std::string where = std::string(s.name) + ": " + function + " #" +
                                          std::to_string(nth) + ", then " + *call + " #" +
                                          std::to_string(k);
                enter(s);
                bfsim_fault(function.c_str(), nth, 0, failureOf(function));
                bfsim_fault(call->c_str(), k, 0, failureOf(*call));
                EXPECT_EQ(run(s), status) << where;
                releaseAndCheck(where);
            }
            releaseAndCheck(std::string(s.name) + ": " + function);
        }
    }
    EXPECT_GT(sites, 0);
    std::printf("unwinding releases swept: %d\n", sites);
}

TEST_F(Sweep, EveryAllocationRefused)
{
    const std::map<std::string, int32_t> outOfMemory = {
        {"AllocBuffer", BF_E_ALLOC_FAILED},
        {"BufferSetup", BF_E_QTAB_MEMORY},
        {"BufferSetup replacing a chain", BF_E_QTAB_MEMORY},
    };
    int sites = 0;
    for (const Scenario &s : scenarios()) {
        enter(s);
        const int before = probe->allocations();
        run(s);
        const int allocations = probe->allocations() - before;
        releaseAndCheck(s.name);
        for (int nth = 1; nth <= allocations; ++nth) {
            ++sites;
            const std::string where = std::string(s.name) + ": allocation " + std::to_string(nth);
            enter(s);
            probe->failAt(nth);
            const auto status = outOfMemory.find(s.name);
            ASSERT_NE(status, outOfMemory.end()) << where << " allocates";
            EXPECT_EQ(run(s), status->second) << where;
            releaseAndCheck(where);
        }
    }
    std::printf("allocation sites swept: %d\n", sites);
}

}  // namespace
