#include "destinations.h"

#include <cstdint>

#include "bf_check.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr size_t kPageBytes = 4096;
// A QTab release failing leaves the chain in force; the library finishes the
// teardown on a second call.
constexpr int kCleanupAttempts = 2;

void *alignToPage(uint8_t *raw)
{
    const auto address = reinterpret_cast<uintptr_t>(raw);
    return raw + (kPageBytes - address % kPageBytes) % kPageBytes;
}

}  // namespace

SingleDestination::SingleDestination(int32_t slot, const FrameLayout &layout) : slot_(slot)
{
    int32_t size = static_cast<int32_t>(layout.bufferBytes);
    check(BF_AllocBuffer(&size, &buffer_, slot_), "BF_AllocBuffer");
    check(BF_Setup(buffer_, layout.width, slot_), "BF_Setup");
    registered_ = true;
}

SingleDestination::~SingleDestination()
{
    // Only a registered destination can be handed back through the library;
    // a buffer whose BF_Setup failed stays with the process until it exits.
    if (!registered_) return;
    BF_FreeBuffer(slot_);
    BF_Cleanup(slot_);
}

void SingleDestination::release()
{
    registered_ = false;
    check(BF_FreeBuffer(slot_), "BF_FreeBuffer");
    check(BF_Cleanup(slot_), "BF_Cleanup");
}

BufferChain::BufferChain(int32_t slot, const FrameLayout &layout, int32_t count) : slot_(slot)
{
    for (int32_t i = 0; i < count; ++i) {
        storage_.emplace_back(new uint8_t[layout.bufferBytes + kPageBytes]);
        pointers_.push_back(alignToPage(storage_.back().get()));
    }
    // With no buffers asked for, an empty but valid list lets the library
    // report the count rather than a missing list.
    void *noBuffers = nullptr;
    void **list = pointers_.empty() ? &noBuffers : pointers_.data();
    const int32_t status = BF_BufferSetup(list, layout.width, count, slot_);
    if (status != BF_OK) {
        // A set-up that failed late may leave a half-released chain behind.
        engaged_ = true;
        tearDown();
        throw BfFailure("BF_BufferSetup", status);
    }
    engaged_ = true;
}

int32_t BufferChain::tearDown()
{
    int32_t status = BF_OK;
    for (int attempt = 0; attempt < kCleanupAttempts; ++attempt) {
        status = BF_BufferCleanup(slot_);
        if (status != BF_E_QTAB_FREE) break;
    }
    engaged_ = false;
    const bool released = status == BF_OK || status == BF_E_NO_CHAIN;
    if (!released)
        for (auto &block : storage_) static_cast<void>(block.release());
    return status;
}

BufferChain::~BufferChain()
{
    if (engaged_) tearDown();
}

void BufferChain::release()
{
    check(tearDown(), "BF_BufferCleanup");
}

GrabSession::GrabSession(int32_t slot, bool chained) : slot_(slot)
{
    const int32_t status = BF_Grab(slot_, chained ? 1 : 0);
    if (status != BF_OK) {
        running_ = false;
        throw BfFailure("BF_Grab", status);
    }
}

GrabSession::~GrabSession()
{
    if (running_) BF_Stop(slot_);
}

void GrabSession::stop()
{
    running_ = false;
    check(BF_Stop(slot_), "BF_Stop");
}

}  // namespace qorgrab
