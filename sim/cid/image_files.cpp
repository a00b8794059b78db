/*
 * Reading grey images. The format is recognised by the file's first bytes,
 * not its name: "P5" for PGM, "II*" or "MM*" for TIFF.
 */
#include "image_files.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#if defined(QOR_SIM_HAVE_TIFF)
#include <tiffio.h>
#endif

namespace bfsim {
namespace {

constexpr uint32_t kPgmLargest = 65535;
constexpr uint32_t kWidePgm = 256;  // a maximum from here on takes two bytes a pixel

[[noreturn]] void bad(const std::string &problem)
{
    throw std::runtime_error(problem);
}

std::vector<uint8_t> slurp(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) bad("cannot be opened");
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A PGM header number, skipping white space and comments before it.
uint32_t headerNumber(const std::vector<uint8_t> &bytes, size_t &at)
{
    for (;;) {
        while (at < bytes.size() && std::isspace(bytes[at])) ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n') ++at;
            continue;
        }
        break;
    }
    uint64_t value = 0;
    const size_t start = at;
    while (at < bytes.size() && std::isdigit(bytes[at]) && value <= kPgmLargest * 1000ull)
        value = value * 10 + (bytes[at++] - '0');
    if (at == start) bad("is not a PGM file: its header is cut short");
    return static_cast<uint32_t>(value);
}

GreyImage readPgm(const std::vector<uint8_t> &bytes)
{
    size_t at = 2;
    GreyImage image;
    image.width = headerNumber(bytes, at);
    image.height = headerNumber(bytes, at);
    image.maxValue = headerNumber(bytes, at);
    if (image.width == 0 || image.height == 0) bad("is a PGM file of no pixels");
    if (image.maxValue == 0 || image.maxValue > kPgmLargest) bad("is a PGM file whose maximum is not 1..65535");
    ++at;  // the one white-space byte before the pixels
    const uint32_t bytesPerPixel = image.maxValue < kWidePgm ? 1 : 2;
    const uint64_t count = uint64_t(image.width) * image.height;
    if (at > bytes.size() || bytes.size() - at < count * bytesPerPixel) bad("is a PGM file cut short");
    image.pixels.resize(size_t(count));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint8_t *p = &bytes[at + i * bytesPerPixel];
        // Two-byte PGM samples are big-endian.
        image.pixels[i] = bytesPerPixel == 1 ? p[0] : uint32_t(p[0]) << 8 | p[1];
    }
    return image;
}

bool isTiff(const std::vector<uint8_t> &bytes)
{
    return bytes.size() >= 4 && ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
                                 (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42));
}

#if defined(QOR_SIM_HAVE_TIFF)
GreyImage readTiff(const std::string &path)
{
    // libtiff's own messages would only repeat what the error says.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF *tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) bad("is not a TIFF file libtiff can read");
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (samples != 1 || (bits != 8 && bits != 16) || width == 0 || height == 0) {
        TIFFClose(tiff);
        bad("is a TIFF file that is not one grey channel of 8 or 16 bits");
    }
    GreyImage image{width, height, bits == 8 ? 255u : 65535u, {}};
    image.pixels.resize(size_t(width) * height);
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tiff)));
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) {
            TIFFClose(tiff);
            bad("is a TIFF file that cannot be read to its end");
        }
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t value = line[x];
            if (bits == 16) {
                uint16_t word;
                std::memcpy(&word, &line[size_t(x) * 2], sizeof word);  // libtiff gives host order
                value = word;
            }
            image.pixels[size_t(y) * width + x] = value;
        }
    }
    TIFFClose(tiff);
    return image;
}
#endif

}  // namespace

bool tiffSupported()
{
#if defined(QOR_SIM_HAVE_TIFF)
    return true;
#else
    return false;
#endif
}

GreyImage readGreyImage(const std::string &path)
{
    const std::vector<uint8_t> bytes = slurp(path);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '5') return readPgm(bytes);
    if (isTiff(bytes)) {
#if defined(QOR_SIM_HAVE_TIFF)
        return readTiff(path);
#else
        bad("is a TIFF file, which this build cannot read (it has no libtiff): use PGM");
#endif
    }
    bad("is neither a binary PGM nor a TIFF file");
}

}  // namespace bfsim
