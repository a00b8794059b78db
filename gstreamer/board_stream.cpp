#include "board_stream.h"

#include <algorithm>

#include "qor_bitflow.h"

namespace qorgst {

namespace {

// Chain buffers start on a page, as DMA memory does.
constexpr uintptr_t kPageBytes = 4096;

uint8_t *pageAligned(uint8_t *storage)
{
    const auto address = reinterpret_cast<uintptr_t>(storage);
    return storage + (kPageBytes - address % kPageBytes) % kPageBytes;
}

}  // namespace

int32_t BoardStream::open(const StreamSettings &settings)
{
    close();
    settings_ = settings;
    int32_t slot = -1;
    const int32_t opened = BF_Open(nullptr, &geometry_.bitDepth, &geometry_.bytesPerPixel, &geometry_.width,
                                   &geometry_.lines, settings.board, settings.family, &slot);
    if (opened != BF_OK) return opened;
    slot_ = slot;
    if (settings.camera == 0) return BF_OK;

    int32_t status = BF_SelectCamera(settings.camera, slot_);
    if (status == BF_OK)
        status = BF_ImageInfo(nullptr, &geometry_.bitDepth, &geometry_.bytesPerPixel, &geometry_.width,
                              &geometry_.lines, nullptr, slot_);
    // A board whose camera cannot be used is of no use open.
    if (status != BF_OK) close();
    return status;
}

int32_t BoardStream::start()
{
    int32_t triggered = settings_.trigger == TriggerSource::Free ? 0 : 1;
    const int32_t trigger = BF_TriggerMode(&triggered, slot_);
    if (trigger != BF_OK) return trigger;

    // The board writes every byte before a frame is read: no need to clear.
    storage_.clear();
    chain_.clear();
    for (int32_t k = 0; k < settings_.buffers; ++k) {
        storage_.emplace_back(new uint8_t[geometry_.frameBytes() + kPageBytes]);
        chain_.push_back(pageAligned(storage_.back().get()));
    }
    const int32_t setup = BF_BufferSetup(reinterpret_cast<void **>(chain_.data()), geometry_.width,
                                         settings_.buffers, slot_);
    if (setup != BF_OK) return setup;

    const int32_t grab = BF_Grab(slot_, 1);
    if (grab != BF_OK) {
        BF_BufferCleanup(slot_);
        return grab;
    }
    started_ = true;
    lastCounter_ = readCounter();
    numbered_ = delivered_ = 0;
    lastNumber_ = -1;
    return BF_OK;
}

int32_t BoardStream::waitFrame(uint32_t sliceMs, Arrival &out)
{
    uint32_t count = 0;
    const int32_t waited = BF_Wait(sliceMs, slot_, 0, &count);
    if (waited != BF_OK) return waited;
    if (count == 0) return BF_E_SIGNAL_WAIT;

    // The newest of the frames reported lies in the buffer after the one
    // the previous frame went to: the board fills the chain in turn and a
    // frame the camera lost takes no buffer.
    out.counterAtWait = readCounter();
    advanceCounter(out.counterAtWait);
    delivered_ += count;
    out.pixels = chain_[size_t((delivered_ - 1) % chain_.size())];

    // The counter numbers every frame, lost ones too, so it shows the gaps
    // the waits' counts cannot. Should this thread have been held up for a
    // whole frame period since the wait, it already counts the next frame:
    // the numbers then run one ahead, never back, until a real gap.
    const int64_t byCount = lastNumber_ + int64_t(count);
    const int64_t byCounter = int64_t(numbered_) - 1;
    const int64_t number = std::max(byCount, byCounter);
    out.number = uint64_t(number);
    out.missedBefore = uint64_t(number - lastNumber_ - 1);
    lastNumber_ = number;
    return BF_OK;
}

bool BoardStream::stillIntact(const Arrival &arrival)
{
    const uint32_t since = readCounter() - arrival.counterAtWait;
    return since + 1 < chain_.size();
}

int32_t BoardStream::fireSoftwareTrigger()
{
    return BF_SetSWtrigger(1, 0, slot_);
}

int32_t BoardStream::close()
{
    if (slot_ < 0) return BF_OK;
    int32_t first = BF_OK;
    auto keep = [&first](int32_t status) {
        if (first == BF_OK) first = status;
    };
    if (started_) {
        keep(BF_Stop(slot_));
        keep(BF_BufferCleanup(slot_));
        started_ = false;
    }
    keep(BF_Close(slot_));
    slot_ = -1;
    // The board writes nothing more once the chain is released.
    chain_.clear();
    storage_.clear();
    return first;
}

uint32_t BoardStream::readCounter() const
{
    uint32_t counter = 0;
    BF_Status(nullptr, nullptr, nullptr, &counter, slot_);
    return counter;
}

// The counter is 32 bits and wraps; the frames numbered since the grab
// began are counted in 64.
void BoardStream::advanceCounter(uint32_t counter)
{
    numbered_ += uint32_t(counter - lastCounter_);
    lastCounter_ = counter;
}

}  // namespace qorgst
