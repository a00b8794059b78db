/*
 * Grey images read from files for the "files" source: binary PGM of 8 or
 * 16 bits, and TIFF where the build has libtiff.
 */
#ifndef QOR_SIM_CID_IMAGE_FILES_H
#define QOR_SIM_CID_IMAGE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace bfsim {

struct GreyImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maxValue = 0;         // the value of white
    std::vector<uint32_t> pixels;  // in line order
};

// The image in the file, by its contents' format; throws std::runtime_error
// saying what is wrong (without the path, which the caller adds).
GreyImage readGreyImage(const std::string &path);

// Whether this build reads TIFF files.
bool tiffSupported();

}  // namespace bfsim

#endif
