#include "pgm_writer.h"

#include <algorithm>

#include "bf_check.h"
#include "file_bytes.h"

namespace qorgrab {
namespace {

constexpr uint32_t kMaxPgmDepth = 16;  // PGM's maxval is at most 65535

std::string header(const FrameView &frame, const SampleFormat &format)
{
    const uint32_t maxval = (1u << format.outputBits) - 1;
    return "P5\n" + std::to_string(frame.width) + " " + std::to_string(frame.lines) + "\n" +
           std::to_string(maxval) + "\n";
}

}  // namespace

std::vector<uint8_t> encodePgm(const FrameView &frame)
{
    const SampleFormat format = sampleFormat(frame, kMaxPgmDepth, "PGM");
    const bool wide = frame.bytesPerPixel > 1;
    const size_t sampleBytes = wide ? 2 : 1;
    const std::string text = header(frame, format);
    std::vector<uint8_t> out(text.size() + size_t{frame.width} * frame.lines * sampleBytes);
    std::copy(text.begin(), text.end(), out.begin());
    uint8_t *sample = out.data() + text.size();
    // 8-bit pixels that use all their bits are already PGM samples.
    const bool verbatim = !wide && format.sourceBits == 8;
    for (uint32_t y = 0; y < frame.lines; ++y) {
        const uint8_t *row = frame.data + size_t{y} * frame.stride;
        if (verbatim) {
            sample = std::copy(row, row + frame.width, sample);
            continue;
        }
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint32_t value = sampleAt(frame, format, x, y);
            if (wide) *sample++ = static_cast<uint8_t>(value >> 8);  // PGM is big-endian
            *sample++ = static_cast<uint8_t>(value & 0xFF);
        }
    }
    return out;
}

void writePgm(const std::string &path, const FrameView &frame)
{
    writeBytes(path, encodePgm(frame));
}

}  // namespace qorgrab
