// qorbitflowsrc in whole pipelines of real elements: a slow sink behind a
// queue, and a stream to another machine over RTP on this one.
#include <gst/app/gstappsink.h>

#include <string>

#include "gstreamer/gst_fixture.h"

namespace qorgsttest {
namespace {

constexpr int kFrames = 10;
constexpr uint32_t kWidth = 160;
constexpr uint32_t kLines = 120;

GstElement *launch(const std::string &description)
{
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        ADD_FAILURE() << description << ": " << error->message;
        g_error_free(error);
    }
    return pipeline;
}

GstElement *byName(GstElement *pipeline, const char *name)
{
    return gst_bin_get_by_name(GST_BIN(pipeline), name);
}

uint32_t stampOf(const GstMapInfo &map)
{
    return uint32_t(map.data[0] | map.data[1] << 8 | map.data[2] << 16 | uint32_t(map.data[3]) << 24);
}

class PipelineTest : public GstSourceTest {};

// A sink twice as slow as the camera, behind a queue that holds
// everything: every frame reaches it intact, in order, though the chain
// of 3 has come round ten times by the last.
TEST_F(PipelineTest, SlowSinkBehindAQueueGetsEveryFrameIntact)
{
    constexpr int kHeld = 30;
    loadCamera("\"width\":64,\"lines\":48,\"framePeriodMs\":20");
    GstElement *pipeline = launch("qorbitflowsrc buffers=3 num-buffers=" + std::to_string(kHeld) +
                                  " ! queue max-size-buffers=0 max-size-bytes=0 max-size-time=0 "
                                  "! identity sleep-time=40000 ! appsink name=out sync=false max-buffers=0");
    ASSERT_NE(pipeline, nullptr);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstElement *out = byName(pipeline, "out");
    int received = 0;
    while (GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 5 * GST_SECOND)) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        EXPECT_EQ(GST_BUFFER_OFFSET(buffer), uint64_t(received));
        EXPECT_TRUE(holdsFrame(buffer, 64, 48, 1, uint32_t(received)));
        gst_sample_unref(sample);
        if (++received == kHeld) break;
    }
    gst_object_unref(out);
    EXPECT_EQ(received, kHeld);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// The sender from qorbitflowsrc to udpsink on 127.0.0.1 and the receiver
// from udpsrc carry the raw frames as RTP (rtpgstpay, since the raw-video
// payloader has no grey formats): every frame received is the frame sent,
// pixel for pixel.
TEST_F(PipelineTest, RtpLoopbackReceivesTheFramesSent)
{
    loadCamera("\"width\":160,\"lines\":120,\"framePeriodMs\":30");
    // The receiver first, on a port the system picks.
    GstElement *receiver = launch(
        "udpsrc name=in port=0 address=127.0.0.1 buffer-size=4194304 "
        "caps=\"application/x-rtp,media=application,clock-rate=90000,encoding-name=X-GST\" ! "
        "rtpjitterbuffer latency=200 ! rtpgstdepay ! appsink name=out sync=false max-buffers=0");
    ASSERT_NE(receiver, nullptr);
    ASSERT_NE(gst_element_set_state(receiver, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstElement *in = byName(receiver, "in");
    gint port = 0;
    g_object_get(in, "port", &port, nullptr);
    gst_object_unref(in);
    ASSERT_GT(port, 0);

    GstElement *sender = launch("qorbitflowsrc num-buffers=" + std::to_string(kFrames) +
                                " ! rtpgstpay config-interval=1 ! udpsink host=127.0.0.1 sync=false port=" +
                                std::to_string(port));
    ASSERT_NE(sender, nullptr);
    ASSERT_NE(gst_element_set_state(sender, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

    GstElement *out = byName(receiver, "out");
    int received = 0;
    while (GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 5 * GST_SECOND)) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
        ASSERT_EQ(map.size, size_t(kWidth) * kLines);
        const uint32_t stamp = stampOf(map);
        gst_buffer_unmap(buffer, &map);
        // The sender's frames are numbers 0 to kFrames - 1, in order.
        EXPECT_EQ(stamp, uint32_t(received));
        EXPECT_TRUE(holdsFrame(buffer, kWidth, kLines, 1, stamp));
        gst_sample_unref(sample);
        if (++received == kFrames) break;
    }
    gst_object_unref(out);
    EXPECT_EQ(received, kFrames);

    GstBus *senderBus = gst_element_get_bus(sender);
    GstMessage *end = gst_bus_timed_pop_filtered(senderBus, 10 * GST_SECOND,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
    gst_message_unref(end);
    gst_object_unref(senderBus);
    gst_element_set_state(sender, GST_STATE_NULL);
    gst_element_set_state(receiver, GST_STATE_NULL);
    gst_object_unref(sender);
    gst_object_unref(receiver);
}

}  // namespace
}  // namespace qorgsttest
