// qorbitflowsrc: the board's frames as a live stream of GRAY8 or GRAY16_LE
// video. The streaming thread alone drives the board while streaming;
// other threads only set flags it reads between wait slices (a stop, a
// queued software trigger), so no slot is ever called from two threads.
#include "qorbitflowsrc.h"

#include <gst/video/video.h>

#include <algorithm>
#include <string>

#include "frame_copy.h"
#include "source_properties.h"
#include "source_state.h"

using qorgst::SourceState;
using qorgst::stateOf;

GST_DEBUG_CATEGORY_STATIC(qor_bitflow_src_debug);
#define GST_CAT_DEFAULT qor_bitflow_src_debug

namespace {

enum { SIGNAL_SOFTWARE_TRIGGER, SIGNAL_COUNT };
guint signals[SIGNAL_COUNT];

}  // namespace

G_DEFINE_TYPE(QorBitflowSrc, qor_bitflow_src, GST_TYPE_PUSH_SRC)

namespace {

#define QOR_GST_CAPS \
    "video/x-raw, format = (string) { GRAY8, GRAY16_LE }, width = (int) [ 1, MAX ], " \
    "height = (int) [ 1, MAX ], framerate = (fraction) [ 0/1, MAX ]"

GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOR_GST_CAPS));

// "what: BF_E_NAME: sentence", the form every error the element posts takes.
std::string describe(const std::string &what, int32_t status)
{
    return what + ": " + bf_status_name(status) + ": " + bf_status_text(status);
}

const char *videoFormat(const qorgst::Geometry &geometry)
{
    return geometry.bytesPerPixel == 1 ? "GRAY8" : "GRAY16_LE";
}

bool supportedDepth(const qorgst::Geometry &geometry)
{
    return geometry.bytesPerPixel == 1 || geometry.bytesPerPixel == 2;
}

// One frame at the `framerate` property's rate, or none for 0/1 (variable).
GstClockTime framePeriod(const SourceState &s)
{
    if (s.fpsNumerator <= 0) return GST_CLOCK_TIME_NONE;
    return gst_util_uint64_scale_int(GST_SECOND, s.fpsDenominator, s.fpsNumerator);
}

// ---- GObject ------------------------------------------------------------

void finalize(GObject *object)
{
    delete QOR_BITFLOW_SRC(object)->state;
    G_OBJECT_CLASS(qor_bitflow_src_parent_class)->finalize(object);
}

// The action signal's handler: any thread may emit it, so it only queues
// the trigger for the streaming thread to fire.
void softwareTrigger(QorBitflowSrc *self)
{
    SourceState &s = *self->state;
    GST_OBJECT_LOCK(self);
    const bool software = s.settings.trigger == qorgst::TriggerSource::Software;
    GST_OBJECT_UNLOCK(self);
    if (!software) {
        GST_WARNING_OBJECT(self, "software-trigger ignored: trigger is not \"software\"");
        return;
    }
    s.triggersQueued.fetch_add(1);
}

// ---- Start and stop (the streaming thread is not running) -----------------

gboolean start(GstBaseSrc *src)
{
    SourceState &s = stateOf(src);
    GST_OBJECT_LOCK(src);
    const qorgst::StreamSettings settings = s.settings;
    s.runTimeoutMs = s.timeoutMs;
    s.runPolicy = s.policy;
    s.frameDuration = framePeriod(s);
    const bool scale = s.scaleTo16;
    GST_OBJECT_UNLOCK(src);

    const int32_t opened = s.stream.open(settings);
    if (opened != BF_OK) {
        const std::string what = "Cannot open board " + std::to_string(settings.board) + " of family " +
                                 std::to_string(settings.family) + " with camera " +
                                 std::to_string(settings.camera);
        GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ, ("%s", describe(what, opened).c_str()), (nullptr));
        return FALSE;
    }
    s.trigger = settings.trigger;
    s.shift = scale ? qorgst::scaleShift(s.stream.geometry()) : 0;
    s.triggerInFlight = false;
    s.discontPending = false;
    s.triggersQueued = 0;
    s.delivered = 0;
    s.missed = 0;
    return TRUE;
}

gboolean stop(GstBaseSrc *src)
{
    const int32_t closed = stateOf(src).stream.close();
    if (closed != BF_OK) GST_WARNING_OBJECT(src, "%s", describe("Closing the board", closed).c_str());
    return TRUE;
}

gboolean unlock(GstBaseSrc *src)
{
    stateOf(src).flushing = true;
    return TRUE;
}

gboolean unlockStop(GstBaseSrc *src)
{
    stateOf(src).flushing = false;
    return TRUE;
}

// ---- Caps, allocation, latency ---------------------------------------------

GstCaps *getCaps(GstBaseSrc *src, GstCaps *filter)
{
    SourceState &s = stateOf(src);
    GstCaps *caps = nullptr;
    if (s.stream.isOpen() && supportedDepth(s.stream.geometry())) {
        const qorgst::Geometry &geometry = s.stream.geometry();
        GST_OBJECT_LOCK(src);
        const gint n = s.fpsNumerator, d = s.fpsDenominator;
        GST_OBJECT_UNLOCK(src);
        caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, videoFormat(geometry), "width",
                                   G_TYPE_INT, gint(geometry.width), "height", G_TYPE_INT, gint(geometry.lines),
                                   "framerate", GST_TYPE_FRACTION, n, d, nullptr);
    } else {
        caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(src));
    }
    if (filter == nullptr) return caps;
    GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    return both;
}

gboolean negotiate(GstBaseSrc *src)
{
    const qorgst::Geometry &geometry = stateOf(src).stream.geometry();
    if (!supportedDepth(geometry)) {
        GST_ELEMENT_ERROR(src, STREAM, FORMAT,
                          ("The camera delivers %u bytes per pixel (%u bits); qorbitflowsrc outputs 1 "
                           "(GRAY8) or 2 (GRAY16_LE) bytes per pixel only",
                           geometry.bytesPerPixel, geometry.bitDepth),
                          (nullptr));
        return FALSE;
    }
    return GST_BASE_SRC_CLASS(qor_bitflow_src_parent_class)->negotiate(src);
}

gboolean setCaps(GstBaseSrc *src, GstCaps *caps)
{
    return gst_video_info_from_caps(&stateOf(src).info, caps);
}

// Frames go into buffers of a pool, downstream's if it offers one, so a
// buffer handed on is never memory the board writes into.
gboolean decideAllocation(GstBaseSrc *, GstQuery *query)
{
    GstCaps *caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    GstVideoInfo info;
    if (caps == nullptr || !gst_video_info_from_caps(&info, caps)) return FALSE;

    GstBufferPool *pool = nullptr;
    guint size = guint(info.size), min = 2, max = 0;
    const bool offered = gst_query_get_n_allocation_pools(query) > 0;
    if (offered) {
        gst_query_parse_nth_allocation_pool(query, 0, &pool, &size, &min, &max);
        size = std::max(size, guint(info.size));
    }
    if (pool == nullptr) pool = gst_video_buffer_pool_new();

    GstStructure *config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, min, max);
    if (gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr))
        gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
    gst_buffer_pool_set_config(pool, config);

    if (offered)
        gst_query_set_nth_allocation_pool(query, 0, pool, size, min, max);
    else
        gst_query_add_allocation_pool(query, pool, size, min, max);
    gst_object_unref(pool);
    return TRUE;
}

// A triggered camera sends frames whenever its trigger comes: no upper
// bound, so a syncing sink never takes a late trigger for a late frame.
gboolean query(GstBaseSrc *src, GstQuery *q)
{
    if (GST_QUERY_TYPE(q) != GST_QUERY_LATENCY)
        return GST_BASE_SRC_CLASS(qor_bitflow_src_parent_class)->query(src, q);
    SourceState &s = stateOf(src);
    GST_OBJECT_LOCK(src);
    const bool triggered = s.settings.trigger != qorgst::TriggerSource::Free;
    const GstClockTime period = framePeriod(s);
    GST_OBJECT_UNLOCK(src);
    const GstClockTime min = GST_CLOCK_TIME_IS_VALID(period) ? period : 0;
    const GstClockTime max = triggered ? GST_CLOCK_TIME_NONE : min;
    GST_DEBUG_OBJECT(src, "latency min %" GST_TIME_FORMAT " max %" GST_TIME_FORMAT, GST_TIME_ARGS(min),
                     GST_TIME_ARGS(max));
    gst_query_set_latency(q, TRUE, min, max);
    return TRUE;
}

// ---- Streaming -------------------------------------------------------------

void fireQueuedTrigger(QorBitflowSrc *self)
{
    SourceState &s = *self->state;
    if (s.trigger != qorgst::TriggerSource::Software || s.triggerInFlight) return;
    uint32_t queued = s.triggersQueued.load();
    // A trigger that finds the board busy with the last one's frame is
    // dropped, so the next goes only once that frame has arrived.
    while (queued > 0 && !s.triggersQueued.compare_exchange_weak(queued, queued - 1)) {
    }
    if (queued == 0) return;
    s.stream.fireSoftwareTrigger();
    s.triggerInFlight = true;
}

// How long the board has been quiet: since the last frame, the start of
// the grab, or the last time-out let pass.
uint64_t quietMs(const SourceState &s)
{
    return uint64_t((g_get_monotonic_time() - s.quietSinceUs) / G_TIME_SPAN_MILLISECOND);
}

uint32_t nextSliceMs(const SourceState &s)
{
    const auto quiet = uint32_t(std::min<uint64_t>(quietMs(s), s.runTimeoutMs));
    return std::max<uint32_t>(1, std::min(qorgst::kWaitSliceMs, s.runTimeoutMs - quiet));
}

// After a slice without a frame: true once the time-out has passed and
// the policy makes that an error (posted here).
bool timedOut(QorBitflowSrc *self)
{
    SourceState &s = *self->state;
    if (quietMs(s) < s.runTimeoutMs) return false;
    s.quietSinceUs = g_get_monotonic_time();
    // A trigger that brought no frame in all that time is given up.
    s.triggerInFlight = false;
    if (s.runPolicy == qorgst::TimeoutPolicy::Wait) return false;
    const std::string what = "No frame within " + std::to_string(s.runTimeoutMs) + " ms";
    GST_ELEMENT_ERROR(self, RESOURCE, READ, ("%s", describe(what, BF_E_SIGNAL_WAIT).c_str()), (nullptr));
    return true;
}

GstFlowReturn startGrab(QorBitflowSrc *self)
{
    const int32_t started = self->state->stream.start();
    self->state->quietSinceUs = g_get_monotonic_time();
    if (started == BF_OK) return GST_FLOW_OK;
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("%s", describe("The buffer chain and grab", started).c_str()),
                      (nullptr));
    return GST_FLOW_ERROR;
}

// Copies the frame out of its chain buffer into a pool buffer. A frame the
// board may have started overwriting meanwhile is dropped (nullptr).
GstFlowReturn copyOut(QorBitflowSrc *self, const qorgst::Arrival &arrival, GstBuffer **out)
{
    SourceState &s = *self->state;
    GstBufferPool *pool = gst_base_src_get_buffer_pool(GST_BASE_SRC(self));
    if (pool == nullptr) return GST_FLOW_NOT_NEGOTIATED;
    GstBuffer *buffer = nullptr;
    const GstFlowReturn acquired = gst_buffer_pool_acquire_buffer(pool, &buffer, nullptr);
    gst_object_unref(pool);
    if (acquired != GST_FLOW_OK) return acquired;

    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s.info, buffer, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("Cannot map an output buffer"), (nullptr));
        return GST_FLOW_ERROR;
    }
    qorgst::copyFrame(arrival.pixels, s.stream.geometry(), static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                      size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)), s.shift);
    gst_video_frame_unmap(&frame);

    if (!s.stream.stillIntact(arrival)) {
        gst_buffer_unref(buffer);
        buffer = nullptr;
    }
    *out = buffer;
    return GST_FLOW_OK;
}

void stamp(SourceState &s, const qorgst::Arrival &arrival, GstBuffer *buffer)
{
    GST_BUFFER_OFFSET(buffer) = arrival.number;
    GST_BUFFER_OFFSET_END(buffer) = arrival.number + 1;
    GST_BUFFER_DURATION(buffer) = s.frameDuration;
    if (arrival.missedBefore > 0 || s.discontPending) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    s.discontPending = false;
    s.missed += arrival.missedBefore;
    s.delivered += 1;
}

GstFlowReturn create(GstPushSrc *push, GstBuffer **out)
{
    QorBitflowSrc *self = QOR_BITFLOW_SRC(push);
    SourceState &s = *self->state;
    if (!s.stream.isStarted()) {
        const GstFlowReturn started = startGrab(self);
        if (started != GST_FLOW_OK) return started;
    }
    for (;;) {
        if (s.flushing) return GST_FLOW_FLUSHING;
        fireQueuedTrigger(self);
        qorgst::Arrival arrival;
        const uint32_t slice = nextSliceMs(s);
        const int64_t before = g_get_monotonic_time();
        const int32_t waited = s.stream.waitFrame(slice, arrival);
        // The same status means a time-out and a failed wait; only a
        // failure ends a wait long before its time.
        const bool failedEarly = g_get_monotonic_time() - before < int64_t(slice / 2) * G_TIME_SPAN_MILLISECOND;
        if (waited == BF_E_SIGNAL_WAIT && !failedEarly) {
            if (timedOut(self)) return GST_FLOW_ERROR;
            continue;
        }
        if (waited != BF_OK) {
            GST_ELEMENT_ERROR(self, RESOURCE, READ, ("%s", describe("Waiting for a frame", waited).c_str()),
                              (nullptr));
            return GST_FLOW_ERROR;
        }
        s.quietSinceUs = g_get_monotonic_time();
        s.triggerInFlight = false;

        GstBuffer *buffer = nullptr;
        const GstFlowReturn copied = copyOut(self, arrival, &buffer);
        if (copied != GST_FLOW_OK) return copied;
        if (buffer == nullptr) {
            GST_DEBUG_OBJECT(self, "frame %" G_GUINT64_FORMAT " overwritten while copied; dropped", arrival.number);
            s.missed += arrival.missedBefore + 1;
            s.discontPending = true;
            continue;
        }
        stamp(s, arrival, buffer);
        *out = buffer;
        return GST_FLOW_OK;
    }
}

}  // namespace

static void qor_bitflow_src_class_init(QorBitflowSrcClass *klass)
{
    GST_DEBUG_CATEGORY_INIT(qor_bitflow_src_debug, "qorbitflowsrc", 0, "frame-grabber board source");
    GObjectClass *gobject = G_OBJECT_CLASS(klass);
    gobject->set_property = qorgst::setProperty;
    gobject->get_property = qorgst::getProperty;
    gobject->finalize = finalize;
    qorgst::installProperties(gobject);

    signals[SIGNAL_SOFTWARE_TRIGGER] =
        g_signal_new_class_handler("software-trigger", G_TYPE_FROM_CLASS(klass),
                                   GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION), G_CALLBACK(softwareTrigger),
                                   nullptr, nullptr, nullptr, G_TYPE_NONE, 0);

    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element, "Frame-grabber board source", "Source/Video",
                                          "Frames of a frame-grabber board through qor_bitflow",
                                          "qor_bitflow developers");
    gst_element_class_add_static_pad_template(element, &srcTemplate);

    GstBaseSrcClass *base = GST_BASE_SRC_CLASS(klass);
    base->start = start;
    base->stop = stop;
    base->unlock = unlock;
    base->unlock_stop = unlockStop;
    base->get_caps = getCaps;
    base->negotiate = negotiate;
    base->set_caps = setCaps;
    base->decide_allocation = decideAllocation;
    base->query = query;
    GST_PUSH_SRC_CLASS(klass)->create = create;
}

static void qor_bitflow_src_init(QorBitflowSrc *self)
{
    self->state = new SourceState();
    gst_video_info_init(&self->state->info);
    GstBaseSrc *base = GST_BASE_SRC(self);
    gst_base_src_set_live(base, TRUE);
    gst_base_src_set_format(base, GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(base, TRUE);
}
