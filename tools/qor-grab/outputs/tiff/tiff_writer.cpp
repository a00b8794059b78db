#include "tiff/tiff_writer.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "bf_check.h"

namespace qorgrab {
namespace {

constexpr uint32_t kMaxTiffDepth = 32;
// A classic TIFF addresses 4 GiB; leave room for its directories.
constexpr uint64_t kClassicTiffLimit = 0xF0000000u;
constexpr const char *kSoftware = "qor-grab";

// libtiff reports through a process-wide handler; the last message of the
// thread that failed is the one shown.
thread_local std::string lastTiffError;

void onTiffError(const char *module, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    lastTiffError = std::string(module ? module : "libtiff") + ": " + text;
}

void installErrorHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(onTiffError);
        TIFFSetWarningHandler(nullptr);
    });
}

[[noreturn]] void fail(const std::string &what, const std::string &path)
{
    throw ToolFailure("cannot " + what + " " + path + ": " + lastTiffError);
}

// One line of `width` pixels of `Pixel`, bits above the depth cleared.
template <typename Pixel>
void copyLine(const uint8_t *from, uint8_t *to, uint32_t width, uint32_t sourceBits)
{
    const Pixel mask = static_cast<Pixel>((uint64_t{1} << sourceBits) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        Pixel value;
        std::memcpy(&value, from + size_t{x} * sizeof value, sizeof value);
        value &= mask;
        std::memcpy(to + size_t{x} * sizeof value, &value, sizeof value);
    }
}

// The frame's samples, packed, in the pixel's own size. The board's pixels
// are little-endian, as are the hosts this runs on, and libtiff records the
// host's byte order in the file.
std::vector<uint8_t> packedSamples(const FrameView &frame)
{
    const SampleFormat format = sampleFormat(frame, kMaxTiffDepth, "TIFF");
    const uint32_t bytes = frame.bytesPerPixel;
    const size_t lineBytes = size_t{frame.width} * bytes;
    std::vector<uint8_t> out(lineBytes * frame.lines);
    for (uint32_t y = 0; y < frame.lines; ++y) {
        const uint8_t *from = frame.data + size_t{y} * frame.stride;
        uint8_t *to = out.data() + lineBytes * y;
        if (format.sourceBits == 8 * bytes) std::memcpy(to, from, lineBytes);
        else if (bytes == 1) copyLine<uint8_t>(from, to, frame.width, format.sourceBits);
        else if (bytes == 2) copyLine<uint16_t>(from, to, frame.width, format.sourceBits);
        else copyLine<uint32_t>(from, to, frame.width, format.sourceBits);
    }
    return out;
}

struct CaptureTime {
    std::string tiffDateTime;  // "YYYY:MM:DD HH:MM:SS", as the DateTime tag wants it
    std::string iso;           // "YYYY-MM-DDTHH:MM:SS.uuuuuuZ"
};

CaptureTime captureTime(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            when.time_since_epoch()).count() % 1000000;
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char tiff[20], iso[40];
    std::strftime(tiff, sizeof tiff, "%Y:%m:%d %H:%M:%S", &utc);
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", &utc);
    char full[64];
    std::snprintf(full, sizeof full, "%s.%06lldZ", iso, static_cast<long long>(micros));
    return CaptureTime{tiff, full};
}

}  // namespace

struct TiffStack::File {
    TIFF *tiff = nullptr;
};

TiffStack::TiffStack(const std::string &path, uint64_t expectedBytes)
    : file_(std::make_unique<File>()), path_(path)
{
    installErrorHandler();
    file_->tiff = TIFFOpen(path.c_str(), expectedBytes > kClassicTiffLimit ? "w8" : "w");
    if (file_->tiff == nullptr) fail("create", path);
}

TiffStack::~TiffStack()
{
    if (file_->tiff != nullptr) TIFFClose(file_->tiff);
}

void TiffStack::append(const FrameView &frame, uint64_t frameNumber,
                       std::chrono::system_clock::time_point captured)
{
    const std::vector<uint8_t> samples = packedSamples(frame);
    const CaptureTime time = captureTime(captured);
    const std::string pageName = "frame " + std::to_string(frameNumber);
    const std::string description =
        "frame=" + std::to_string(frameNumber) + " capture_time=" + time.iso;
    TIFF *tiff = file_->tiff;
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, frame.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, frame.lines);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8 * frame.bytesPerPixel);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, frame.lines);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, pages_, 0);
    TIFFSetField(tiff, TIFFTAG_PAGENAME, pageName.c_str());
    TIFFSetField(tiff, TIFFTAG_DATETIME, time.tiffDateTime.c_str());
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, kSoftware);
    if (TIFFWriteEncodedStrip(tiff, 0, const_cast<uint8_t *>(samples.data()),
                              static_cast<tmsize_t>(samples.size())) < 0 ||
        !TIFFWriteDirectory(tiff))
        fail("write a page of", path_);
    ++pages_;
}

void TiffStack::close()
{
    TIFF *tiff = file_->tiff;
    file_->tiff = nullptr;
    // TIFFClose flushes what is still buffered; a failing flush is reported
    // only through the error handler.
    lastTiffError.clear();
    if (TIFFFlush(tiff) != 1) {
        TIFFClose(tiff);
        fail("finish", path_);
    }
    TIFFClose(tiff);
}

void writeTiff(const std::string &path, const FrameView &frame, uint64_t frameNumber,
               std::chrono::system_clock::time_point captured)
{
    const uint64_t bytes = uint64_t{frame.width} * frame.lines * frame.bytesPerPixel;
    TiffStack file(path, bytes);
    file.append(frame, frameNumber, captured);
    file.close();
}

}  // namespace qorgrab
