// qorbitflowsrc as a pipeline sees it: the process's CPU time per frame of
// `qorbitflowsrc ! fakesink` against one memcpy of the frame, and against
// the same frames waited for through the library alone (the simulator
// writing them costs this process too). What the element adds per frame,
// its copy out of the chain and GStreamer's own work, is the difference
// between the two. Every figure is a ratio or difference within one run.
#include <benchmark/benchmark.h>

#include <gst/gst.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "bfsim.h"
#include "qor_bitflow.h"
#include "support/page_buffer.h"

namespace {

constexpr int32_t kChainBuffers = 8;
constexpr uint32_t kPeriodUs = 1000;
constexpr uint32_t kWaitTimeoutMs = 1000;
constexpr double kNsPerUs = 1e3;
constexpr int kMemcpyRounds = 64;

double processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

bool loadCamera(uint32_t width, uint32_t lines)
{
    bfsim_reset();
    const std::string json = "{\"boards\":[{\"type\":16,\"cameras\":[{\"width\":" + std::to_string(width) +
                             ",\"lines\":" + std::to_string(lines) +
                             ",\"framePeriodUs\":" + std::to_string(kPeriodUs) + "}]}]}";
    return bfsim_load_config(json.c_str()) == 0;
}

// One memcpy of a frame, in CPU ns, into the buffers of a ring in turn so
// no copy finds its destination in cache.
double memcpyNs(size_t bytes)
{
    qortest::PageBufferRing ring(bytes, kChainBuffers);
    qortest::PageBuffer source(bytes, 0x5A);
    const double start = processCpuNs();
    for (int i = 0; i < kMemcpyRounds; ++i) {
        std::memcpy(ring.pointers[i % ring.pointers.size()], source.data(), bytes);
        benchmark::ClobberMemory();
    }
    return (processCpuNs() - start) / kMemcpyRounds;
}

// CPU ns per frame of a chain grab waited on frame by frame through the
// library, no copy made; negative when the board fails.
double libraryNsPerFrame(uint32_t width, uint32_t lines, int frames)
{
    uint32_t depth = 0, bytes = 0, w = 0, l = 0;
    int32_t slot = -1;
    if (BF_Open(nullptr, &depth, &bytes, &w, &l, 0, BF_FAMILY_16, &slot) != BF_OK) return -1;
    qortest::PageBufferRing ring(size_t(width) * lines, kChainBuffers);
    double cpu = -1;
    if (BF_BufferSetup(ring.pointers.data(), width, kChainBuffers, slot) == BF_OK && BF_Grab(slot, 1) == BF_OK) {
        uint32_t count = 0;
        const uint64_t before = bfsim_frames_completed(16, 0);
        const double start = processCpuNs();
        int waited = 0;
        while (waited < frames && BF_Wait(kWaitTimeoutMs, slot, 0, &count) == BF_OK) ++waited;
        const double made = double(bfsim_frames_completed(16, 0) - before);
        if (waited == frames) cpu = (processCpuNs() - start) / made;
        BF_Stop(slot);
        BF_BufferCleanup(slot);
    }
    BF_Close(slot);
    return cpu;
}

// The CPU spent between the pipeline's first frame and its last, read in
// fakesink's hand-off so that starting and stopping the pipeline (the
// chain's allocation, the threads) stay out of the figure.
struct SteadyState {
    GstElement *source = nullptr;
    int frames = 0;
    int seen = 0;
    double cpuFirst = 0;
    double cpuLast = 0;
    uint64_t missedFirst = 0;
    uint64_t missedLast = 0;
};

uint64_t missedSoFar(GstElement *source)
{
    guint64 missed = 0;
    g_object_get(source, "frames-missed", &missed, nullptr);
    return missed;
}

void onHandoff(GstElement *, GstBuffer *, GstPad *, gpointer data)
{
    auto *steady = static_cast<SteadyState *>(data);
    ++steady->seen;
    if (steady->seen == 1) {
        steady->cpuFirst = processCpuNs();
        steady->missedFirst = missedSoFar(steady->source);
    } else if (steady->seen == steady->frames) {
        steady->cpuLast = processCpuNs();
        steady->missedLast = missedSoFar(steady->source);
    }
}

// Runs `qorbitflowsrc num-buffers=frames ! fakesink` to its end; false on
// an error.
bool runPipeline(SteadyState &steady)
{
    const std::string description = "qorbitflowsrc name=src num-buffers=" + std::to_string(steady.frames) +
                                    " ! fakesink name=sink sync=false signal-handoffs=true";
    GstElement *pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (pipeline == nullptr) return false;
    steady.source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(onHandoff), &steady);
    gst_object_unref(sink);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *end =
        gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ended = end != nullptr && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end != nullptr) gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(steady.source);
    gst_object_unref(pipeline);
    return ended && steady.seen == steady.frames;
}

void sourceCost(benchmark::State &state, uint32_t width, uint32_t lines, int frames)
{
    if (!loadCamera(width, lines)) {
        state.SkipWithError("the simulator refused the camera");
        return;
    }
    const size_t bytes = size_t(width) * lines;
    const double copyNs = memcpyNs(bytes);
    const double libraryNs = libraryNsPerFrame(width, lines, frames);
    if (libraryNs < 0) {
        state.SkipWithError("the library's grab failed");
        return;
    }
    double cpu = 0;
    uint64_t made = 0, missed = 0;
    for (auto _ : state) {
        SteadyState steady;
        steady.frames = frames;
        if (!runPipeline(steady)) {
            state.SkipWithError("the pipeline failed");
            return;
        }
        // Per frame the board made after the first: missed ones were written too.
        cpu += steady.cpuLast - steady.cpuFirst;
        missed += steady.missedLast - steady.missedFirst;
        made += uint64_t(frames - 1) + (steady.missedLast - steady.missedFirst);
    }
    const double gstNs = cpu / double(made);
    state.counters["cpu_us"] = gstNs / kNsPerUs;
    state.counters["library_us"] = libraryNs / kNsPerUs;
    state.counters["memcpy_us"] = copyNs / kNsPerUs;
    state.counters["element_us"] = (gstNs - libraryNs) / kNsPerUs;
    state.counters["element_per_memcpy"] = (gstNs - libraryNs) / copyNs;
    state.counters["ratio"] = gstNs / copyNs;
    state.counters["missed"] = double(missed);
    state.counters["bytes"] = double(bytes);
}

// The plugin of this build, before any benchmark runs.
bool registerPlugin()
{
    gst_init(nullptr, nullptr);
    gst_registry_scan_path(gst_registry_get(), QOR_GST_PLUGIN_DIR);
    return true;
}
const bool registered = registerPlugin();

}  // namespace

BENCHMARK_CAPTURE(sourceCost, 640x480, 640, 480, 1000)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(sourceCost, 2048x2048, 2048, 2048, 300)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
