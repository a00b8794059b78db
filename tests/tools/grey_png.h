/*
 * A PNG read back as 8-bit grey through libpng's simplified API, for the
 * tests that look at what the viewer serves or what a browser shows.
 */
#ifndef QOR_TESTS_TOOLS_GREY_PNG_H
#define QOR_TESTS_TOOLS_GREY_PNG_H

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qortest {

struct GreyPng {
    uint32_t width = 0, lines = 0;
    std::vector<uint8_t> pixels;  // 8-bit grey, lines packed end to end
    uint8_t at(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

// The image held in `bytes`; width 0 when libpng cannot read it.
inline GreyPng decodeGreyPng(const std::string &bytes)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    GreyPng out;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return out;
    image.format = PNG_FORMAT_GRAY;
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) return GreyPng{};
    out.width = image.width;
    out.lines = image.height;
    return out;
}

}  // namespace qortest

#endif
