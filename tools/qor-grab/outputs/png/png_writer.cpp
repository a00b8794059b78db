#include "png/png_writer.h"

#include <png.h>

#include <cstdio>

#include "bf_check.h"
#include "file_bytes.h"

namespace qorgrab {
namespace {

constexpr uint32_t kMaxPngDepth = 16;
// Frames are written as they arrive: speed matters more than size.
constexpr int kCompressionLevel = 1;
constexpr size_t kErrorCapacity = 256;

// Samples laid out as PNG rows: one byte, or two big-endian bytes, each.
struct PngRows {
    std::vector<uint8_t> bytes;
    std::vector<png_bytep> rows;
    int bitDepth = 8;
    int significantBits = 8;
};

constexpr uint32_t kMaxPixelBits = 32;

PngRows displayRows(const FrameView &frame)
{
    const SampleFormat format = sampleFormat(frame, kMaxPixelBits, "PNG");
    PngRows out;
    out.bytes.resize(size_t{frame.width} * frame.lines);
    for (uint32_t y = 0; y < frame.lines; ++y) {
        uint8_t *sample = out.bytes.data() + size_t{frame.width} * y;
        out.rows.push_back(sample);
        for (uint32_t x = 0; x < frame.width; ++x) *sample++ = displaySampleAt(frame, format, x, y);
    }
    return out;
}

PngRows pngRows(const FrameView &frame, Samples samples)
{
    if (samples == Samples::Display) return displayRows(frame);
    const SampleFormat format = sampleFormat(frame, kMaxPngDepth, "PNG");
    PngRows out;
    out.bitDepth = frame.bytesPerPixel == 1 ? 8 : 16;
    out.significantBits = static_cast<int>(format.outputBits);
    const size_t rowBytes = size_t{frame.width} * (out.bitDepth / 8);
    out.bytes.resize(rowBytes * frame.lines);
    for (uint32_t y = 0; y < frame.lines; ++y) {
        uint8_t *sample = out.bytes.data() + rowBytes * y;
        out.rows.push_back(sample);
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint32_t value = sampleAt(frame, format, x, y);
            if (out.bitDepth == 16) *sample++ = static_cast<uint8_t>(value >> 8);
            *sample++ = static_cast<uint8_t>(value & 0xFF);
        }
    }
    return out;
}

void onError(png_structp png, png_const_charp message)
{
    auto *error = static_cast<char *>(png_get_error_ptr(png));
    std::snprintf(error, kErrorCapacity, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

// libpng reports errors by longjmp, so this frame holds nothing with a
// destructor: everything it writes was made by the caller.
bool runLibpng(std::vector<uint8_t> *out, const FrameView &frame, PngRows *rows, char *error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, onError, onWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendBytes, noFlush);
    png_set_IHDR(png, info, frame.width, frame.lines, rows->bitDepth, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (rows->significantBits < rows->bitDepth) {
        png_color_8 significant{};
        significant.gray = static_cast<png_byte>(rows->significantBits);
        png_set_sBIT(png, info, &significant);
    }
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    png_write_image(png, rows->rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::vector<uint8_t> encodePng(const FrameView &frame, Samples samples)
{
    PngRows rows = pngRows(frame, samples);
    std::vector<uint8_t> out;
    out.reserve(rows.bytes.size() / 2);
    char error[kErrorCapacity] = "out of memory";
    if (!runLibpng(&out, frame, &rows, error))
        throw ToolFailure(std::string("cannot encode PNG: ") + error);
    return out;
}

void writePng(const std::string &path, const FrameView &frame, Samples samples)
{
    writeBytes(path, encodePng(frame, samples));
}

}  // namespace qorgrab
