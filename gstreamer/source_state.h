// What a qorbitflowsrc keeps: its properties, the board it streams from
// and the flags other threads hand the streaming thread. Private to the
// plugin.
#ifndef QOR_GST_SOURCE_STATE_H
#define QOR_GST_SOURCE_STATE_H

#include <gst/video/video.h>

#include <atomic>
#include <cstdint>

#include "board_stream.h"
#include "qor_bitflow.h"
#include "qorbitflowsrc.h"

namespace qorgst {

// How long one wait may block before the streaming thread looks again at
// the flushing flag and the queued triggers: the bound on how late a state
// change or EOS is honoured.
constexpr uint32_t kWaitSliceMs = 50;
constexpr uint32_t kDefaultTimeoutMs = 5000;

enum class TimeoutPolicy { Error = 0, Wait = 1 };

// Everything the element keeps, constructed with the object.
struct SourceState {
    // Properties, read and written under the object lock.
    StreamSettings settings;
    uint32_t timeoutMs = kDefaultTimeoutMs;
    TimeoutPolicy policy = TimeoutPolicy::Error;
    gint fpsNumerator = 0;
    gint fpsDenominator = 1;
    bool scaleTo16 = false;

    // The streaming thread's own, between start() and stop().
    BoardStream stream;
    TriggerSource trigger = TriggerSource::Free;
    uint32_t runTimeoutMs = kDefaultTimeoutMs;
    TimeoutPolicy runPolicy = TimeoutPolicy::Error;
    GstClockTime frameDuration = GST_CLOCK_TIME_NONE;
    GstVideoInfo info;
    uint32_t shift = 0;
    int64_t quietSinceUs = 0;  // monotonic time of the last frame, or the grab's start
    bool triggerInFlight = false;
    bool discontPending = false;

    // Shared with other threads.
    std::atomic<bool> flushing{false};
    std::atomic<uint32_t> triggersQueued{0};
    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> missed{0};
};

}  // namespace qorgst

struct _QorBitflowSrc {
    GstPushSrc parent;
    qorgst::SourceState *state;
};

namespace qorgst {

inline SourceState &stateOf(gpointer object)
{
    return *QOR_BITFLOW_SRC(object)->state;
}

}  // namespace qorgst

#endif
