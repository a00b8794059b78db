#include "pgm_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "bf_check.h"

namespace qorgrab {
namespace {

constexpr uint32_t kMaxPgmDepth = 16;  // PGM's maxval is at most 65535
constexpr uint32_t kMaxPixelBytes = 4;

// How a pixel's bits become one PGM sample.
struct SampleFormat {
    uint32_t sourceBits;  // meaningful bits of the pixel
    uint32_t outputBits;  // bits of the written sample (<= 16)
};

SampleFormat sampleFormat(const FrameView &frame)
{
    const uint32_t p = frame.bytesPerPixel;
    if (p != 1 && p != 2 && p != kMaxPixelBytes)
        throw ToolFailure("cannot write PGM for " + std::to_string(p) + " bytes per pixel");
    if (frame.bitDepth == 0)
        throw ToolFailure("cannot write PGM for a bit depth of 0");
    const uint32_t sourceBits = std::min(frame.bitDepth, 8 * p);
    return SampleFormat{sourceBits, std::min(sourceBits, kMaxPgmDepth)};
}

uint32_t readPixel(const uint8_t *pixel, uint32_t bytesPerPixel)
{
    uint32_t value = 0;
    for (uint32_t b = 0; b < bytesPerPixel; ++b) value |= uint32_t{pixel[b]} << (8 * b);
    return value;
}

// Bits above the depth are not image data (and would break maxval), so they
// are dropped; depths beyond 16 bits keep their top 16.
uint32_t toSample(uint32_t value, const SampleFormat &format)
{
    const uint64_t mask = (uint64_t{1} << format.sourceBits) - 1;
    return static_cast<uint32_t>((value & mask) >> (format.sourceBits - format.outputBits));
}

std::string header(const FrameView &frame, const SampleFormat &format)
{
    const uint32_t maxval = (1u << format.outputBits) - 1;
    return "P5\n" + std::to_string(frame.width) + " " + std::to_string(frame.lines) + "\n" +
           std::to_string(maxval) + "\n";
}

}  // namespace

std::vector<uint8_t> encodePgm(const FrameView &frame)
{
    const SampleFormat format = sampleFormat(frame);
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
            const uint32_t value =
                toSample(readPixel(row + size_t{x} * frame.bytesPerPixel, frame.bytesPerPixel), format);
            if (wide) *sample++ = static_cast<uint8_t>(value >> 8);  // PGM is big-endian
            *sample++ = static_cast<uint8_t>(value & 0xFF);
        }
    }
    return out;
}

void writePgm(const std::string &path, const FrameView &frame)
{
    const std::vector<uint8_t> bytes = encodePgm(frame);
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) throw ToolFailure("cannot create " + path + ": " + std::strerror(errno));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0)
        throw ToolFailure("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace qorgrab
