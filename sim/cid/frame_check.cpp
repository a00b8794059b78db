/*
 * The one frame checker: whether a buffer holds a given frame of a camera's
 * source, for tests, tools and hosts alike, and the frame rendered for
 * comparisons of their own.
 */
#include <cstdio>
#include <string>
#include <vector>

#include "bfsim.h"
#include "frame_layout.h"
#include "source.h"
#include "state.h"

namespace bfsim {
namespace {

struct Expected {
    SourceFrame source;
    uint32_t bytesPerPixel = 1;
    bool stamp = true;  // the frame number over the first bytes
};

// The source of camera `camera` of a board of the population, at the
// format's depth and pixel size where it gives them.
std::optional<Expected> expectedFrame(uint32_t type, uint32_t number, uint32_t camera,
                                      const bfsim_frame_format &format, uint32_t frame)
{
    std::lock_guard<std::mutex> held(lock());
    const Board *board = findBoard(type, number);
    if (board == nullptr || camera >= board->config.cameras.size()) return std::nullopt;
    const CameraConfig &config = board->config.cameras[camera];
    Expected expected{sourceFrame(config, frame), config.bytesPerPixel, config.stamp};
    if (format.bitDepth != 0) expected.source.bitDepth = format.bitDepth;
    if (format.bytesPerPixel != 0) expected.bytesPerPixel = format.bytesPerPixel;
    return expected;
}

uint32_t throughLut(const bfsim_frame_format &format, uint32_t value)
{
    if (format.lut == nullptr || format.lutSize == 0) return value;
    return format.lut[value % format.lutSize];
}

bool validFormat(const bfsim_frame_format *format, uint32_t bytesPerPixel)
{
    return format != nullptr && bytesPerPixel >= 1 && bytesPerPixel <= 4 &&
           uint64_t(format->width) * bytesPerPixel <= format->stride;
}

// Calls `pixel(x, y, value, at)` for every pixel of the window, `value`
// being what the source puts there after the LUT and `at` its first byte.
template <class Pixel>
bool forEachPixel(const Expected &e, const bfsim_frame_format &format, const uint8_t *base, Pixel pixel)
{
    std::vector<uint32_t> values(format.width);
    for (uint32_t y = 0; y < format.lines; ++y) {
        renderLine(e.source, y, format.width, values.data());
        const uint8_t *line = base + size_t(y) * format.stride;
        for (uint32_t x = 0; x < format.width; ++x)
            if (!pixel(x, y, throughLut(format, values[x]), line + size_t(x) * e.bytesPerPixel)) return false;
    }
    return true;
}

void explain(char *why, size_t size, const std::string &text)
{
    if (why != nullptr && size > 0) copyText(why, size, text.c_str());
}

}  // namespace
}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API uint32_t bfsim_pattern_value(uint32_t x, uint32_t y, uint32_t frame, uint32_t bitDepth)
{
    return rampValue(x, y, frame, bitDepth);
}

extern "C" BFSIM_API int bfsim_check_frame(uint32_t type, uint32_t number, uint32_t camera, const void *buffer,
                                           const bfsim_frame_format *format, uint32_t frame, char *why,
                                           size_t whySize)
{
    if (buffer == nullptr || format == nullptr) return -1;
    const std::optional<Expected> e = expectedFrame(type, number, camera, *format, frame);
    if (!e || !validFormat(format, e->bytesPerPixel)) {
        explain(why, whySize, "no such camera, or a format that does not fit its pixels");
        return -1;
    }
    const auto *base = static_cast<const uint8_t *>(buffer);
    const uint32_t stampBytes = std::min<uint32_t>(kStampBytes, format->width * e->bytesPerPixel);
    const uint32_t stamp = loadLittleEndian(base, stampBytes);
    if (e->stamp && format->lines > 0 && stamp != (frame & depthMaskBytes(stampBytes))) {
        explain(why, whySize, "stamp " + std::to_string(stamp) + ", expected " + std::to_string(frame));
        return -1;
    }
    const bool same = forEachPixel(*e, *format, base, [&](uint32_t x, uint32_t y, uint32_t want, const uint8_t *at) {
        if (e->stamp && y == 0 && x * e->bytesPerPixel < kStampBytes) return true;  // under the stamp
        const uint32_t got = loadLittleEndian(at, e->bytesPerPixel);
        if (got == want) return true;
        explain(why, whySize, "frame " + std::to_string(frame) + " pixel (" + std::to_string(x) + ", " +
                                  std::to_string(y) + ") holds " + std::to_string(got) + ", expected " +
                                  std::to_string(want));
        return false;
    });
    return same ? 0 : -1;
}

extern "C" BFSIM_API int bfsim_render_frame(uint32_t type, uint32_t number, uint32_t camera, void *buffer,
                                            const bfsim_frame_format *format, uint32_t frame)
{
    if (buffer == nullptr || format == nullptr) return -1;
    const std::optional<Expected> e = expectedFrame(type, number, camera, *format, frame);
    if (!e || !validFormat(format, e->bytesPerPixel)) return -1;
    auto *base = static_cast<uint8_t *>(buffer);
    forEachPixel(*e, *format, base, [&](uint32_t, uint32_t, uint32_t value, const uint8_t *at) {
        storeLittleEndian(const_cast<uint8_t *>(at), value, e->bytesPerPixel);
        return true;
    });
    const uint32_t stampBytes = std::min<uint32_t>(kStampBytes, format->width * e->bytesPerPixel);
    if (e->stamp && format->lines > 0) storeLittleEndian(base, frame, stampBytes);
    return 0;
}
