#include "source_properties.h"

#include "source_state.h"

namespace qorgst {

namespace {

// Fewer than two buffers would leave the board writing the very buffer a
// frame is being copied out of.
constexpr int32_t kMinBuffers = 2;
constexpr int32_t kMaxBuffers = 1024;
constexpr int32_t kMaxFamily = BF_FAMILY_64;
const StreamSettings kDefaults;

enum {
    PROP_0,
    PROP_FAMILY,
    PROP_BOARD,
    PROP_CAMERA,
    PROP_BUFFERS,
    PROP_TRIGGER,
    PROP_TIMEOUT,
    PROP_TIMEOUT_POLICY,
    PROP_FRAMERATE,
    PROP_SCALE_TO_16,
    PROP_FRAMES_DELIVERED,
    PROP_FRAMES_MISSED
};

GType triggerSourceType()
{
    static GType type = 0;
    static const GEnumValue values[] = {
        {int(TriggerSource::Free), "Free-running at the camera's own rate", "free"},
        {int(TriggerSource::External), "A frame per pulse on the board's trigger line", "external"},
        {int(TriggerSource::Software), "A frame per software-trigger signal", "software"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("QorBitflowTrigger", values));
    return type;
}

GType timeoutPolicyType()
{
    static GType type = 0;
    static const GEnumValue values[] = {
        {int(TimeoutPolicy::Error), "A wait that times out is a stream error", "error"},
        {int(TimeoutPolicy::Wait), "Keep waiting: a quiet trigger line is not an error", "wait"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("QorBitflowTimeoutPolicy", values));
    return type;
}

}  // namespace

void setProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    SourceState &s = stateOf(object);
    GST_OBJECT_LOCK(object);
    switch (id) {
    case PROP_FAMILY: s.settings.family = g_value_get_int(value); break;
    case PROP_BOARD: s.settings.board = g_value_get_uint(value); break;
    case PROP_CAMERA: s.settings.camera = g_value_get_uint(value); break;
    case PROP_BUFFERS: s.settings.buffers = g_value_get_int(value); break;
    case PROP_TRIGGER: s.settings.trigger = TriggerSource(g_value_get_enum(value)); break;
    case PROP_TIMEOUT: s.timeoutMs = g_value_get_uint(value); break;
    case PROP_TIMEOUT_POLICY: s.policy = TimeoutPolicy(g_value_get_enum(value)); break;
    case PROP_FRAMERATE:
        s.fpsNumerator = gst_value_get_fraction_numerator(value);
        s.fpsDenominator = gst_value_get_fraction_denominator(value);
        break;
    case PROP_SCALE_TO_16: s.scaleTo16 = g_value_get_boolean(value); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(object);
}

void getProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec)
{
    SourceState &s = stateOf(object);
    GST_OBJECT_LOCK(object);
    switch (id) {
    case PROP_FAMILY: g_value_set_int(value, s.settings.family); break;
    case PROP_BOARD: g_value_set_uint(value, s.settings.board); break;
    case PROP_CAMERA: g_value_set_uint(value, s.settings.camera); break;
    case PROP_BUFFERS: g_value_set_int(value, s.settings.buffers); break;
    case PROP_TRIGGER: g_value_set_enum(value, int(s.settings.trigger)); break;
    case PROP_TIMEOUT: g_value_set_uint(value, s.timeoutMs); break;
    case PROP_TIMEOUT_POLICY: g_value_set_enum(value, int(s.policy)); break;
    case PROP_FRAMERATE: gst_value_set_fraction(value, s.fpsNumerator, s.fpsDenominator); break;
    case PROP_SCALE_TO_16: g_value_set_boolean(value, s.scaleTo16); break;
    case PROP_FRAMES_DELIVERED: g_value_set_uint64(value, s.delivered.load()); break;
    case PROP_FRAMES_MISSED: g_value_set_uint64(value, s.missed.load()); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(object);
}

void installProperties(GObjectClass *gobject)
{
    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    const auto ro = GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        gobject, PROP_FAMILY,
        g_param_spec_int("family", "Family", "Board family (0: type 208, 1: type 16, 2: type 32, 3: type 64)", 0,
                         kMaxFamily, kDefaults.family, rw));
    g_object_class_install_property(
        gobject, PROP_BOARD,
        g_param_spec_uint("board", "Board", "The board's number among boards of its family", 0, G_MAXUINT, 0, rw));
    g_object_class_install_property(
        gobject, PROP_CAMERA,
        g_param_spec_uint("camera", "Camera", "The camera's number on the board", 0, G_MAXUINT, 0, rw));
    g_object_class_install_property(
        gobject, PROP_BUFFERS,
        g_param_spec_int("buffers", "Buffers", "Length of the board's buffer chain", kMinBuffers, kMaxBuffers,
                         kDefaults.buffers, rw));
    g_object_class_install_property(
        gobject, PROP_TRIGGER,
        g_param_spec_enum("trigger", "Trigger", "What starts each frame", triggerSourceType(),
                          int(kDefaults.trigger), rw));
    g_object_class_install_property(
        gobject, PROP_TIMEOUT,
        g_param_spec_uint("timeout", "Timeout", "How long to wait for a frame, in ms", 1, G_MAXUINT,
                          kDefaultTimeoutMs, rw));
    g_object_class_install_property(
        gobject, PROP_TIMEOUT_POLICY,
        g_param_spec_enum("timeout-policy", "Timeout policy", "What a wait that times out means",
                          timeoutPolicyType(), int(TimeoutPolicy::Error), rw));
    g_object_class_install_property(
        gobject, PROP_FRAMERATE,
        gst_param_spec_fraction("framerate", "Frame rate",
                                "The camera's frame rate, for caps and latency (0/1: variable or unknown)", 0, 1,
                                G_MAXINT, 1, 0, 1, rw));
    g_object_class_install_property(
        gobject, PROP_SCALE_TO_16,
        g_param_spec_boolean("scale-to-16", "Scale to 16 bits",
                             "Shift values of a 2-byte camera of fewer than 16 bits up to the full 16 bits", FALSE,
                             rw));
    g_object_class_install_property(
        gobject, PROP_FRAMES_DELIVERED,
        g_param_spec_uint64("frames-delivered", "Frames delivered", "Frames pushed downstream since start", 0,
                            G_MAXUINT64, 0, ro));
    g_object_class_install_property(
        gobject, PROP_FRAMES_MISSED,
        g_param_spec_uint64("frames-missed", "Frames missed",
                            "Frames the board numbered that never went downstream since start", 0, G_MAXUINT64, 0,
                            ro));
}

}  // namespace qorgst
