// One board acquiring through a buffer chain, as the source element drives
// it: open, set up the chain and grab, wait for frames in short slices,
// and tear everything down again. Only the library's public header is used.
//
// Every call on a BoardStream must come from one thread at a time (the
// library's rule for a slot); the element calls it from its streaming
// thread while streaming, and from the state-change thread only while the
// streaming thread is stopped.
#ifndef QOR_GST_BOARD_STREAM_H
#define QOR_GST_BOARD_STREAM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "qor_bitflow.h"

namespace qorgst {

enum class TriggerSource { Free = 0, External = 1, Software = 2 };

struct StreamSettings {
    int32_t family = BF_FAMILY_16;
    uint32_t board = 0;
    uint32_t camera = 0;
    int32_t buffers = 8;
    TriggerSource trigger = TriggerSource::Free;
};

struct Geometry {
    uint32_t width = 0;
    uint32_t lines = 0;
    uint32_t bitDepth = 0;
    uint32_t bytesPerPixel = 0;

    size_t lineBytes() const { return size_t(width) * bytesPerPixel; }
    size_t frameBytes() const { return lineBytes() * lines; }
};

// A frame that has arrived in a chain buffer.
struct Arrival {
    const uint8_t *pixels = nullptr;  // the chain buffer: valid until the board comes round to it
    uint64_t number = 0;              // the frame's number since the grab began, from 0
    uint64_t missedBefore = 0;        // frames numbered since the previous arrival that did not arrive
    uint32_t counterAtWait = 0;       // the board's frame counter read just after the wait
};

class BoardStream {
public:
    BoardStream() = default;
    BoardStream(const BoardStream &) = delete;
    BoardStream &operator=(const BoardStream &) = delete;
    ~BoardStream() { close(); }

    // Opens the board, switches to the camera and reads its geometry.
    int32_t open(const StreamSettings &settings);
    bool isOpen() const { return slot_ >= 0; }
    const Geometry &geometry() const { return geometry_; }

    // Sets the trigger, sets up the chain over buffers of our own and starts
    // the grab; the board's frame counter now is where numbering starts.
    int32_t start();
    bool isStarted() const { return started_; }

    // Waits up to `sliceMs` for the next frame. BF_OK with `out` filled,
    // BF_E_SIGNAL_WAIT when nothing ended in the slice, else the failure.
    int32_t waitFrame(uint32_t sliceMs, Arrival &out);

    // Whether the board cannot have begun overwriting the arrival's chain
    // buffer yet: fewer frames have been numbered since the wait than it
    // takes the chain to come round. Asked after copying the frame out.
    bool stillIntact(const Arrival &arrival);

    int32_t fireSoftwareTrigger();

    // Stops the grab, releases the chain and closes the board; safe to call
    // in any state. Returns the first failure, or BF_OK.
    int32_t close();

private:
    uint32_t readCounter() const;
    void advanceCounter(uint32_t counter);

    StreamSettings settings_;
    Geometry geometry_;
    int32_t slot_ = -1;
    bool started_ = false;
    std::vector<uint8_t *> chain_;
    std::vector<std::unique_ptr<uint8_t[]>> storage_;
    uint32_t lastCounter_ = 0;
    uint64_t numbered_ = 0;   // frames the counter has numbered since the grab began
    uint64_t delivered_ = 0;  // frames the waits have reported
    int64_t lastNumber_ = -1;
};

}  // namespace qorgst

#endif
