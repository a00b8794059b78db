#include "gstreamer/gst_fixture.h"

#include <sstream>
#include <vector>

namespace qorgsttest {

std::string population(const std::string &cameraKeys)
{
    return "{\"boards\":[{\"type\":16,\"cameras\":[{" + cameraKeys + "}]}]}";
}

void GstSourceTest::SetUpTestSuite()
{
#ifdef QOR_GST_SCAN_IN_PROCESS
    // GStreamer's scanning helper is not sanitized and could not load a
    // sanitized plugin; this process scans it itself.
    g_setenv("GST_REGISTRY_FORK", "no", TRUE);
#endif
    gst_init(nullptr, nullptr);
    // The plugin of this build, whatever GST_PLUGIN_PATH says.
    gst_registry_scan_path(gst_registry_get(), QOR_GST_PLUGIN_DIR);
    GstPlugin *plugin = gst_registry_find_plugin(gst_registry_get(), "qorbitflow");
    ASSERT_NE(plugin, nullptr) << "no plugin in " << QOR_GST_PLUGIN_DIR;
    gst_object_unref(plugin);
}

void GstSourceTest::SetUp()
{
    bfsim_reset();
    loadCamera("");
}

void GstSourceTest::TearDown()
{
    closeHarness();
    EXPECT_EQ(bfsim_live_count(BFSIM_OBJ_ALL), 0) << "simulated objects left live";
    EXPECT_EQ(bfsim_misuse_count(), 0) << "SDK misused";
}

void GstSourceTest::loadCamera(const std::string &cameraKeys)
{
    ASSERT_EQ(bfsim_load_config(population(cameraKeys).c_str()), 0);
}

void GstSourceTest::closeHarness()
{
    if (h != nullptr) gst_harness_teardown(h);
    if (bus != nullptr) gst_object_unref(bus);
    h = nullptr;
    bus = nullptr;
}

GstHarness *GstSourceTest::harness(const std::string &properties)
{
    h = gst_harness_new_with_padnames("qorbitflowsrc", nullptr, "src");
    setProperties(h->element, properties);
    bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    return h;
}

std::string GstSourceTest::nextError(uint32_t timeoutMs)
{
    GstMessage *message = gst_bus_timed_pop_filtered(bus, GstClockTime(timeoutMs) * GST_MSECOND, GST_MESSAGE_ERROR);
    if (message == nullptr) return "";
    GError *error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error->message;
    g_error_free(error);
    gst_message_unref(message);
    return text;
}

void setProperties(GstElement *element, const std::string &properties)
{
    std::istringstream words(properties);
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        ASSERT_NE(equals, std::string::npos) << word;
        gst_util_set_object_arg(G_OBJECT(element), word.substr(0, equals).c_str(), word.substr(equals + 1).c_str());
    }
}

::testing::AssertionResult holdsFrame(GstBuffer *buffer, uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                                      uint32_t frame, uint32_t stride)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return ::testing::AssertionFailure() << "unmappable buffer";
    if (stride == 0) stride = width * bytesPerPixel;
    const bfsim_frame_format format{width, lines, stride, bytesPerPixel, 0, nullptr, 0};
    char why[160] = "";
    const bool holds = map.size >= size_t(stride) * lines &&
                       bfsim_check_frame(kBoardType, 0, 0, map.data, &format, frame, why, sizeof why) == 0;
    gst_buffer_unmap(buffer, &map);
    if (holds) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "frame " << frame << ": " << why;
}

}  // namespace qorgsttest
