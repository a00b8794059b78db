// qorbitflowsrc on the simulated board, through GstHarness: the frames it
// pushes, their numbering, triggers, latency, errors and teardown.
#include <gst/video/video.h>

#include <string>
#include <vector>

#include "gstreamer/gst_fixture.h"

namespace qorgsttest {
namespace {

class SourceTest : public GstSourceTest {};

// Pulls until EOS; the buffers that came before it, in order.
std::vector<GstBuffer *> pullUntilEos(GstHarness *h)
{
    std::vector<GstBuffer *> buffers;
    for (;;) {
        GstEvent *event = gst_harness_pull_event(h);
        if (event == nullptr) break;
        const bool eos = GST_EVENT_TYPE(event) == GST_EVENT_EOS;
        gst_event_unref(event);
        if (eos) break;
    }
    while (GstBuffer *buffer = gst_harness_try_pull(h)) buffers.push_back(buffer);
    return buffers;
}

void unrefAll(std::vector<GstBuffer *> &buffers)
{
    for (GstBuffer *buffer : buffers) gst_buffer_unref(buffer);
    buffers.clear();
}

uint64_t counter(GstHarness *h, const char *name)
{
    guint64 value = 0;
    g_object_get(h->element, name, &value, nullptr);
    return value;
}

struct NumBuffersCase {
    const char *name;
    uint32_t firstFrameNumber;
    int numBuffers;
};

// Exactly num-buffers frames, each the simulator's frame of its number,
// numbered on from 0, across the board counter's 32-bit wrap too.
TEST_F(SourceTest, NumBuffersYieldsExactlyThatManyCheckedFrames)
{
    const NumBuffersCase cases[] = {{"from 0", 0, 12}, {"across the wrap", 4294967290u, 12}};
    for (const NumBuffersCase &c : cases) {
        SCOPED_TRACE(c.name);
        loadCamera("\"width\":64,\"lines\":48,\"framePeriodMs\":20,\"firstFrameNumber\":" +
                   std::to_string(c.firstFrameNumber));
        harness("num-buffers=" + std::to_string(c.numBuffers));
        gst_harness_play(h);
        std::vector<GstBuffer *> buffers = pullUntilEos(h);
        ASSERT_EQ(buffers.size(), size_t(c.numBuffers));
        for (size_t k = 0; k < buffers.size(); ++k) {
            EXPECT_EQ(GST_BUFFER_OFFSET(buffers[k]), k);
            EXPECT_TRUE(holdsFrame(buffers[k], 64, 48, 1, uint32_t(c.firstFrameNumber + k)));
        }
        EXPECT_EQ(counter(h, "frames-delivered"), uint64_t(c.numBuffers));
        EXPECT_EQ(counter(h, "frames-missed"), 0u);
        unrefAll(buffers);
        closeHarness();
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    }
}

struct StrideCase {
    const char *camera;
    uint32_t bytesPerPixel;
    uint32_t stride;  // GStreamer's: each line rounded up to 4 bytes
};

// Widths whose lines GStreamer pads: each line lands at its stride.
TEST_F(SourceTest, PaddedLinesKeepGStreamersStride)
{
    const StrideCase cases[] = {{"\"width\":63,\"lines\":5", 1, 64},
                                {"\"width\":63,\"lines\":5,\"bitDepth\":16,\"bytesPerPixel\":2", 2, 128}};
    for (const StrideCase &c : cases) {
        SCOPED_TRACE(c.camera);
        loadCamera(c.camera);
        harness("num-buffers=3");
        gst_harness_play(h);
        std::vector<GstBuffer *> buffers = pullUntilEos(h);
        ASSERT_EQ(buffers.size(), 3u);
        for (size_t k = 0; k < buffers.size(); ++k) {
            EXPECT_EQ(gst_buffer_get_size(buffers[k]), size_t(c.stride) * 5);
            EXPECT_TRUE(holdsFrame(buffers[k], 63, 5, c.bytesPerPixel, uint32_t(k), c.stride));
        }
        unrefAll(buffers);
        closeHarness();
    }
}

// Every buffer is held until the end while a chain of 3 wraps ten times:
// none of them may be memory the board writes the later frames into.
TEST_F(SourceTest, HeldBuffersStayIntactWhileTheChainWraps)
{
    constexpr int kFrames = 30;
    loadCamera("\"width\":64,\"lines\":48,\"framePeriodMs\":20");
    harness("buffers=3");
    gst_harness_play(h);
    std::vector<GstBuffer *> held;
    for (int k = 0; k < kFrames; ++k) held.push_back(gst_harness_pull(h));
    for (int k = 0; k < kFrames; ++k) {
        ASSERT_NE(held[k], nullptr);
        EXPECT_EQ(GST_BUFFER_OFFSET(held[k]), uint64_t(k));
        EXPECT_TRUE(holdsFrame(held[k], 64, 48, 1, uint32_t(k)));
    }
    unrefAll(held);
}

// A camera that loses every third frame: numbers 2, 5, 8, ... never come,
// the buffer after each gap is DISCONT, and frames-missed counts the gaps.
TEST_F(SourceTest, LostFramesShowAsDiscontAndMissed)
{
    loadCamera("\"width\":64,\"lines\":48,\"framePeriodMs\":20,\"dropEvery\":3");
    harness("num-buffers=8");
    gst_harness_play(h);
    std::vector<GstBuffer *> buffers = pullUntilEos(h);
    const uint64_t expected[] = {0, 1, 3, 4, 6, 7, 9, 10};
    ASSERT_EQ(buffers.size(), std::size(expected));
    for (size_t k = 0; k < buffers.size(); ++k) {
        SCOPED_TRACE("buffer " + std::to_string(k));
        EXPECT_EQ(GST_BUFFER_OFFSET(buffers[k]), expected[k]);
        EXPECT_TRUE(holdsFrame(buffers[k], 64, 48, 1, uint32_t(expected[k])));
        // The base class marks the very first buffer itself.
        if (k > 0) {
            EXPECT_EQ(GST_BUFFER_FLAG_IS_SET(buffers[k], GST_BUFFER_FLAG_DISCONT), expected[k] % 3 == 0);
        }
    }
    EXPECT_EQ(counter(h, "frames-missed"), 3u);
    EXPECT_EQ(counter(h, "frames-delivered"), 8u);
    unrefAll(buffers);
}

// Triggered by software with a short time-out that only waits: nothing
// arrives until the signal is emitted, then one frame for each emission,
// also for emissions that come faster than the frames.
TEST_F(SourceTest, SoftwareTriggerGivesOneFramePerEmission)
{
    loadCamera("\"width\":64,\"lines\":48,\"framePeriodMs\":5");
    harness("trigger=software timeout=60 timeout-policy=wait");
    gst_harness_play(h);
    ASSERT_EQ(bfsim_wait_signal_waiters(kBoardType, 0, 1, 5000), 0);
    g_usleep(300 * 1000);  // five time-outs of quiet
    EXPECT_EQ(gst_harness_try_pull(h), nullptr);
    EXPECT_EQ(bfsim_frames_completed(kBoardType, 0), 0u);

    const int emissions[] = {1, 1, 3};
    uint64_t frames = 0;
    for (int burst : emissions) {
        for (int k = 0; k < burst; ++k) g_signal_emit_by_name(h->element, "software-trigger");
        for (int k = 0; k < burst; ++k) {
            GstBuffer *buffer = gst_harness_pull(h);
            ASSERT_NE(buffer, nullptr);
            EXPECT_EQ(GST_BUFFER_OFFSET(buffer), frames);
            EXPECT_TRUE(holdsFrame(buffer, 64, 48, 1, uint32_t(frames)));
            gst_buffer_unref(buffer);
            ++frames;
        }
    }
    ASSERT_EQ(bfsim_wait_signal_waiters(kBoardType, 0, 1, 5000), 0);
    EXPECT_EQ(gst_harness_try_pull(h), nullptr);
    EXPECT_EQ(bfsim_frames_completed(kBoardType, 0), frames);
    EXPECT_EQ(nextError(0), "");
}

// Triggered by the board's line: one frame per pulse, none between.
TEST_F(SourceTest, ExternalTriggerGivesOneFramePerPulse)
{
    harness("trigger=external timeout=60 timeout-policy=wait");
    gst_harness_play(h);
    ASSERT_EQ(bfsim_wait_signal_waiters(kBoardType, 0, 1, 5000), 0);
    for (uint64_t k = 0; k < 3; ++k) {
        EXPECT_EQ(gst_harness_try_pull(h), nullptr);
        bfsim_fire_external_trigger(kBoardType, 0);
        GstBuffer *buffer = gst_harness_pull(h);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(GST_BUFFER_OFFSET(buffer), k);
        gst_buffer_unref(buffer);
    }
    EXPECT_EQ(bfsim_frames_completed(kBoardType, 0), 3u);
    EXPECT_EQ(nextError(0), "");
}

// The element's wait is a minute long; a state change to NULL while it is
// asleep in the board's wait still returns, and leaves nothing live.
TEST_F(SourceTest, NullDuringALongWaitReturnsAndLeavesNothingLive)
{
    harness("trigger=software timeout=60000 timeout-policy=error");
    gst_harness_play(h);
    ASSERT_EQ(bfsim_wait_signal_waiters(kBoardType, 0, 1, 5000), 0);
    EXPECT_EQ(gst_element_set_state(h->element, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    EXPECT_EQ(nextError(0), "");
}

// EOS sent to the element while it sleeps in the board's wait ends the
// stream: the EOS event reaches downstream with no frame before it.
TEST_F(SourceTest, EosDuringALongWaitEndsTheStream)
{
    harness("trigger=software timeout=60000 timeout-policy=wait");
    gst_harness_play(h);
    ASSERT_EQ(bfsim_wait_signal_waiters(kBoardType, 0, 1, 5000), 0);
    ASSERT_TRUE(gst_element_send_event(h->element, gst_event_new_eos()));
    std::vector<GstBuffer *> buffers = pullUntilEos(h);
    EXPECT_TRUE(buffers.empty());
    unrefAll(buffers);
    EXPECT_EQ(nextError(0), "");
}

struct TimestampCase {
    const char *properties;
    bool stamped;
};

// The base class's do-timestamp: on (the default), frames carry running
// times that go up; off, the element invents none for the frames after
// the first, since the board gives no time of its own for a frame.
TEST_F(SourceTest, DoTimestampDecidesThePresentationTimes)
{
    const TimestampCase cases[] = {{"num-buffers=4", true}, {"num-buffers=4 do-timestamp=false", false}};
    for (const TimestampCase &c : cases) {
        SCOPED_TRACE(c.properties);
        harness(c.properties);
        // The harness's own clock stands still.
        gst_harness_use_systemclock(h);
        gst_harness_play(h);
        std::vector<GstBuffer *> buffers = pullUntilEos(h);
        ASSERT_EQ(buffers.size(), 4u);
        // The base class gives the first buffer the segment's start anyway.
        for (size_t k = 1; k < buffers.size(); ++k) {
            EXPECT_EQ(GST_BUFFER_PTS_IS_VALID(buffers[k]), c.stamped) << "buffer " << k;
            if (c.stamped) {
                EXPECT_GT(GST_BUFFER_PTS(buffers[k]), GST_BUFFER_PTS(buffers[k - 1]));
            }
        }
        unrefAll(buffers);
        closeHarness();
    }
}

// With the error policy, a quiet line ends the stream with an error naming
// the status.
TEST_F(SourceTest, TimeoutWithErrorPolicyPostsTheStatus)
{
    harness("trigger=software timeout=100");
    gst_harness_play(h);
    const std::string error = nextError(10000);
    EXPECT_NE(error.find("No frame within 100 ms"), std::string::npos) << error;
    EXPECT_NE(error.find("BF_E_SIGNAL_WAIT"), std::string::npos) << error;
}

// scale-to-16: a 12-bit camera's values come shifted up by 4 bits.
TEST_F(SourceTest, ScaleTo16ShiftsDeepValuesUp)
{
    loadCamera("\"width\":64,\"lines\":48,\"bitDepth\":12,\"bytesPerPixel\":2,\"framePeriodMs\":20");
    harness("scale-to-16=true num-buffers=2");
    gst_harness_play(h);
    std::vector<GstBuffer *> buffers = pullUntilEos(h);
    ASSERT_EQ(buffers.size(), 2u);
    for (size_t k = 0; k < buffers.size(); ++k) {
        std::vector<uint8_t> unscaled(64 * 48 * 2);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(buffers[k], &map, GST_MAP_READ));
        bool lowBitsClear = true;
        for (size_t i = 0; i < unscaled.size(); i += 2) {
            const uint16_t value = uint16_t(map.data[i] | map.data[i + 1] << 8);
            lowBitsClear = lowBitsClear && (value & 0xF) == 0;
            unscaled[i] = uint8_t(value >> 4);
            unscaled[i + 1] = uint8_t(value >> 12);
        }
        gst_buffer_unmap(buffers[k], &map);
        // The stamp is shifted with the pixels, so only the pixels from
        // the third on are the camera's values.
        EXPECT_TRUE(lowBitsClear);
        for (uint32_t x = 2; x < 64; ++x) {
            const uint32_t value = uint32_t(unscaled[2 * x] | unscaled[2 * x + 1] << 8);
            ASSERT_EQ(value, bfsim_pattern_value(x, 0, uint32_t(k), 12)) << "pixel " << x;
        }
    }
    unrefAll(buffers);
}

struct ErrorCase {
    const char *name;
    const char *camera;
    const char *properties;
    const char *faultyFunction;  // the SDK function made to fail from its first call on, or null
    const char *expected;
};

// A board that cannot be opened, a chain the board refuses, a wait that
// fails and a depth no caps describe stop the pipeline with a message that
// says why; even a wait that keeps failing while the policy is to wait.
TEST_F(SourceTest, FailuresNameTheirCause)
{
    constexpr int32_t kRefused = BFSIM_ERR_ARGUMENT;
    const ErrorCase cases[] = {
        {"no such board", "", "board=3", nullptr, "BF_E_NO_BOARD"},
        {"no such camera", "", "camera=7", nullptr, "BF_E_CAMERA_SELECT"},
        {"chain refused", "", "", "CiPhysQTabChainEngage", "BF_E_CHAIN_ENGAGE"},
        {"wait failed", "", "timeout-policy=wait", "CiSignalWait", "Waiting for a frame: BF_E_SIGNAL_WAIT"},
        {"3 bytes per pixel", "\"bitDepth\":24,\"bytesPerPixel\":3", "", nullptr, "3 bytes per pixel"},
        {"4 bytes per pixel", "\"bitDepth\":32,\"bytesPerPixel\":4", "", nullptr, "4 bytes per pixel"},
    };
    for (const ErrorCase &c : cases) {
        SCOPED_TRACE(c.name);
        loadCamera(c.camera);
        bfsim_fault_clear();
        if (c.faultyFunction != nullptr) bfsim_fault(c.faultyFunction, 1, 1, kRefused);
        harness(c.properties);
        gst_element_set_state(h->element, GST_STATE_PLAYING);
        const std::string error = nextError(10000);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(gst_element_set_state(h->element, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        closeHarness();
        EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0);
    }
}

struct LatencyCase {
    const char *properties;
    GstClockTime min;
    GstClockTime max;
};

// One frame period at least when the rate is known; no upper bound when
// frames wait for triggers.
TEST_F(SourceTest, LatencyFollowsFramerateAndTrigger)
{
    const LatencyCase cases[] = {
        {"", 0, 0},
        {"framerate=25/1", 40 * GST_MSECOND, 40 * GST_MSECOND},
        {"trigger=software", 0, GST_CLOCK_TIME_NONE},
        {"trigger=external framerate=50/1", 20 * GST_MSECOND, GST_CLOCK_TIME_NONE},
    };
    for (const LatencyCase &c : cases) {
        SCOPED_TRACE(c.properties);
        GstElement *source = gst_element_factory_make("qorbitflowsrc", nullptr);
        ASSERT_NE(source, nullptr);
        setProperties(source, c.properties);
        GstQuery *query = gst_query_new_latency();
        ASSERT_TRUE(gst_element_query(source, query));
        gboolean live = FALSE;
        GstClockTime min = 0, max = 0;
        gst_query_parse_latency(query, &live, &min, &max);
        EXPECT_TRUE(live);
        EXPECT_EQ(min, c.min);
        EXPECT_EQ(max, c.max);
        gst_query_unref(query);
        gst_object_unref(source);
    }
}

}  // namespace
}  // namespace qorgsttest
