// The memory the board acquires into, registered with the library for the
// life of a command and released through the library's partner functions.
#ifndef QOR_GRAB_DESTINATIONS_H
#define QOR_GRAB_DESTINATIONS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "acquisition_setup.h"

namespace qorgrab {

// One buffer from BF_AllocBuffer, registered by BF_Setup.
class SingleDestination {
public:
    SingleDestination(int32_t slot, const FrameLayout &layout);
    ~SingleDestination();  // releases what release() was not reached for
    SingleDestination(const SingleDestination &) = delete;
    SingleDestination &operator=(const SingleDestination &) = delete;

    const uint8_t *data() const { return static_cast<const uint8_t *>(buffer_); }
    // BF_FreeBuffer, then BF_Cleanup (which forgets the destination that
    // BF_FreeBuffer needs to find); throws on a failing status.
    void release();

private:
    int32_t slot_;
    void *buffer_ = nullptr;
    bool registered_ = false;
};

// `count` page-aligned buffers of our own, chained by BF_BufferSetup.
class BufferChain {
public:
    BufferChain(int32_t slot, const FrameLayout &layout, int32_t count);
    ~BufferChain();
    BufferChain(const BufferChain &) = delete;
    BufferChain &operator=(const BufferChain &) = delete;

    size_t size() const { return pointers_.size(); }
    const uint8_t *buffer(size_t index) const { return static_cast<const uint8_t *>(pointers_[index]); }
    // BF_BufferCleanup (once more if a QTab release failed, as the library
    // asks); throws on a failing status.
    void release();

private:
    // Tears the chain down; the buffers are freed only once the board no
    // longer holds them, otherwise they are kept for the rest of the process.
    int32_t tearDown();

    int32_t slot_;
    std::vector<std::unique_ptr<uint8_t[]>> storage_;
    std::vector<void *> pointers_;
    bool engaged_ = false;
};

// Stops a started grab when the command leaves early.
class GrabSession {
public:
    GrabSession(int32_t slot, bool chained);
    ~GrabSession();
    GrabSession(const GrabSession &) = delete;
    GrabSession &operator=(const GrabSession &) = delete;
    void stop();  // BF_Stop; throws on a failing status

private:
    int32_t slot_;
    bool running_ = true;
};

}  // namespace qorgrab

#endif
