// Frame capture and waiting, on whichever acquisition the slot has in force:
// the chain's command family while chainActive is set, else the single
// destination's.
#include <cstdint>

#include "acquisition/commands.h"
#include "bfd.h"
#include "board/slots.h"
#include "cid.h"

namespace {

// Gn2 boards take the grab's shape from registers written before each grab.
constexpr uint32_t kRegGrabFrameLimit = 0xA58;
constexpr uint32_t kRegGrabEnable = 0xA6D;
constexpr uint32_t kRegGrabSyncSource = 0xA5F;
constexpr uint32_t kRegGrabBufferCount = 0xA60;
constexpr uint32_t kUnlimitedFrames = 0xFFFF;
constexpr uint32_t kChainedFrameLimit = 1;
constexpr uint32_t kGrabEnabled = 1;
constexpr uint32_t kSingleBuffer = 1;

// Every board generation learns a chain's length from these two.
constexpr uint32_t kRegChainLength = 0x6C6;
constexpr uint32_t kRegChainStart = 0x688;
constexpr uint32_t kChainStart = 1;

// The free-running continuous mode a grab switches to when the host left
// triggering to the library.
constexpr uint32_t kGrabTriggerMode = CI_TRIG_CONTINUOUS;
constexpr uint32_t kGrabTriggerParams[3] = {CI_TRIG_PARAM_1, CI_TRIG_PARAM_2, CI_TRIG_PARAM_3};

void programGn2Grab(const qor::BoardSlot &slot, bool chained, int32_t chainCount)
{
    uint32_t syncSource = 0;
    CiBrdInquire(slot.board, CI_INQ_SYNC_SOURCE, &syncSource);
    const uint32_t syncIsZero = syncSource == 0 ? 1 : 0;
    BFRegPoke(slot.board, kRegGrabFrameLimit, chained ? kChainedFrameLimit : kUnlimitedFrames);
    BFRegPoke(slot.board, kRegGrabEnable, kGrabEnabled);
    BFRegPoke(slot.board, kRegGrabSyncSource, syncIsZero);
    BFRegPoke(slot.board, kRegGrabBufferCount,
              chained ? static_cast<uint32_t>(chainCount) : kSingleBuffer);
}

// A ceiling on the settle poll's status reads, for a clock that runs but
// whose delta never reaches the wait time. Each read crosses the bus to a
// board register, which alone takes the better part of a microsecond, and
// comes with two tick calls: a real board manages about a thousand reads per
// millisecond, so ten thousand per millisecond of wait time never end a
// real poll before its time is up. The slack on top covers a coarse tick
// (about 16 ms on some systems), which can report a short wait time late.
constexpr uint64_t kSettleReadsPerMs = 10000;
constexpr uint64_t kSettleSlackMs = 20;

uint64_t settleReadLimit(uint32_t waitTime)
{
    return (static_cast<uint64_t>(waitTime) + kSettleSlackMs) * kSettleReadsPerMs;
}

// The board may still be finishing the frame's transfer: polls its status
// until idle for up to its own wait time, then gives up regardless. A tick
// the clock fails to give counts as time up, and a clock that stalls meets
// the read limit, so the poll always ends.
void settle(const qor::BoardSlot &slot, uint32_t waitTime)
{
    BFTickStamp start{};
    BFTickStamp now{};
    const bool clockRuns = BFTick(&start) != nullptr;
    const uint64_t readLimit = settleReadLimit(waitTime);
    uint32_t busy = 0;
    CiConAqStatus(slot.board, &busy, qor::kNoFlags);
    for (uint64_t reads = 1; busy != 0 && reads < readLimit; ++reads) {
        if (!clockRuns || BFTick(&now) == nullptr) break;
        if (BFTickDelta(&start, &now) >= waitTime) break;
        CiConAqStatus(slot.board, &busy, qor::kNoFlags);
    }
}

}  // namespace

extern "C" int32_t QOR_CALL BF_GetFrame(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (!qor::canAcquire(*slot)) return BF_E_NO_ACQUISITION;
    // A chain's frame is waited for on the signal: never hand the board one
    // that was not created or has been freed.
    if (slot->chainActive != 0 && slot->signalLive == 0) return BF_E_NO_ACQUISITION;

    uint32_t waitTime = 0;
    CiBrdInquire(slot->board, CI_INQ_WAIT_TIME, &waitTime);

    std::optional<int32_t> snap = qor::startCapture(*slot, CI_CMD_SNAP);
    if (!snap) return BF_E_NO_ACQUISITION;
    if (*snap != 0) {
        // An overflow is recovered from by one reset, after which the snap
        // is issued once more: without it there would be no frame to wait for.
        uint32_t overflow = 0;
        CiAqOverflowCheck(slot->board, &overflow);
        if (overflow == 0) return BF_E_SNAP;
        if (qor::issueCommand(*slot, CI_CMD_RESET, qor::kModeHalt) != 0)
            return BF_E_OVERFLOW_RESET;
        ++slot->overflowResets;
        snap = qor::startCapture(*slot, CI_CMD_SNAP);
        if (!snap) return BF_E_NO_ACQUISITION;
        if (*snap != 0) return BF_E_SNAP;
    }
    qor::fireSoftwareTriggerIfNeeded(*slot);

    if (slot->chainActive != 0) {
        uint32_t frameCount = 0;
        if (!qor::waitSucceeded(CiSignalWait(slot->board, &slot->signal, waitTime, &frameCount)))
            return BF_E_FRAME_WAIT;
    } else if (CiAqWaitDone(slot->board, qor::kEngine) != 0) {
        return BF_E_FRAME_WAIT;
    }

    settle(*slot, waitTime);

    slot->grabActive = 0;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_FastGetFrame(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (!qor::canAcquire(*slot)) return BF_E_NO_ACQUISITION;

    const std::optional<int32_t> snap = qor::startCapture(*slot, CI_CMD_SNAP);
    if (!snap) return BF_E_NO_ACQUISITION;
    if (*snap != 0) return BF_E_SNAP;
    qor::fireSoftwareTriggerIfNeeded(*slot);

    slot->grabActive = 0;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Grab(int32_t slotIndex, int32_t chained)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (!qor::canAcquire(*slot)) return BF_E_NO_ACQUISITION;
    // A one-shot board waiting on the external line cannot grab continuously.
    if (slot->vtrigMode == qor::kOneShotMode && slot->extTrigger != 0) return BF_E_TRIGGER_MODE;
    if (chained != 0 && slot->chainActive == 0) return BF_E_CHAIN_REQUIRED;

    const int32_t chainCount = qor::bufferSets[slotIndex].count;
    // The register writes' results are not looked at: whether the board
    // started is what the grab command below reports.
    if (BFIsGn2(slot->board) != 0) programGn2Grab(*slot, chained != 0, chainCount);
    if (chained != 0) {
        BFRegPoke(slot->board, kRegChainLength, static_cast<uint32_t>(chainCount));
        BFRegPoke(slot->board, kRegChainStart, kChainStart);
    }
    if (slot->vtrigMode != qor::kOneShotMode && slot->extTrigger == 0)
        CiConVTrigModeSet(slot->board, kGrabTriggerMode, kGrabTriggerParams[0],
                          kGrabTriggerParams[1], kGrabTriggerParams[2]);

    // The family follows the acquisition in force, not `chained`.
    const std::optional<int32_t> grab = qor::startCapture(*slot, CI_CMD_GRAB);
    if (!grab) return BF_E_NO_ACQUISITION;
    if (*grab != 0) return BF_E_GRAB;
    CiConCTabReset(slot->board);

    slot->grabActive = 1;
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Stop(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    // A chain is halted with the abort command, a single destination with
    // stop. Stopping writes nothing, so it is allowed after BF_FreeBuffer.
    if (slot->chainActive != 0) {
        CiConAqCommand(slot->board, CI_CMD_ABORT, qor::kNoFlags);
        return BF_OK;
    }
    if (slot->destination == nullptr) return BF_E_NO_ACQUISITION;
    CiAqCommand(slot->board, CI_CMD_STOP, qor::kModeHalt, qor::kEngine, qor::kNoFlags);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Wait4Frame(uint32_t timeout, int32_t slotIndex, uint32_t *countOut)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (!qor::canAcquire(*slot)) return BF_E_NO_ACQUISITION;
    // A destination left registered after BF_BufferCleanup has no signal any
    // more: never hand the board a freed signal record to wait on.
    if (slot->signalLive == 0) return BF_E_NO_ACQUISITION;

    uint32_t scratch = 0;
    const int32_t result =
        CiSignalWait(slot->board, &slot->signal, timeout, qor::outOr(countOut, scratch));
    if (!qor::waitSucceeded(result)) return BF_E_SIGNAL_WAIT;
    // After a snap the end-of-frame signal can precede the end of the
    // transfer; during a grab there is no single completion to wait for.
    if (slot->grabActive == 0) CiAqWaitDone(slot->board, qor::kEngine);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_Status(uint32_t *overflowResetsOut, uint32_t *statusOut,
                                      int32_t *zeroOut, uint32_t *frameCountOut,
                                      int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    uint32_t scratch = 0;
    qor::writeOut(overflowResetsOut, slot->overflowResets);
    CiConAqStatus(slot->board, qor::outOr(statusOut, scratch), qor::kNoFlags);
    qor::writeOut(zeroOut, 0);
    CiConGetFrameCount(slot->board, qor::outOr(frameCountOut, scratch), qor::kNoFlags);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_ResetAcquisition(int32_t slotIndex)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;

    if (qor::issueCommand(*slot, CI_CMD_ABORT, qor::kModeHalt) != 0) return BF_E_RESET_STOP;
    if (qor::issueCommand(*slot, CI_CMD_RESET, qor::kModeHalt) != 0) return BF_E_RESET;
    return BF_OK;
}
