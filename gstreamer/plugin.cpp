// The plugin: one element, qorbitflowsrc.
#include <gst/gst.h>

#include "qor_bitflow.h"
#include "qorbitflowsrc.h"

#define QOR_GST_STRINGIFY(x) #x
#define QOR_GST_VERSION_STRING(major, minor, patch) \
    QOR_GST_STRINGIFY(major) "." QOR_GST_STRINGIFY(minor) "." QOR_GST_STRINGIFY(patch)

#define VERSION \
    QOR_GST_VERSION_STRING(QOR_BITFLOW_VERSION_MAJOR, QOR_BITFLOW_VERSION_MINOR, QOR_BITFLOW_VERSION_PATCH)
#define PACKAGE "qor_bitflow"

static gboolean plugin_init(GstPlugin *plugin)
{
    return gst_element_register(plugin, "qorbitflowsrc", GST_RANK_NONE, QOR_TYPE_BITFLOW_SRC);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qorbitflow,
                  "Frames of frame-grabber boards through qor_bitflow", plugin_init, VERSION,
                  GST_LICENSE_UNKNOWN, "qor_bitflow", "https://localhost/qor_bitflow")
