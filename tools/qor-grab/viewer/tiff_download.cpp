#include "viewer/tiff_download.h"

#if QOR_GRAB_HAVE_TIFF

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "tiff/tiff_writer.h"

namespace qorgrab {
namespace {

// Each download its own file: browsers ask for several at once.
std::filesystem::path temporaryPath()
{
    static std::atomic<uint64_t> next{0};
    return std::filesystem::temp_directory_path() /
           ("qor-grab-view-" + std::to_string(::getpid()) + "-" + std::to_string(next++) + ".tif");
}

// Removes the file however the download ends.
struct RemovedAtEnd {
    std::filesystem::path path;
    ~RemovedAtEnd()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

}  // namespace

std::vector<uint8_t> tiffBytes(const LiveFrames &frames)
{
    const RemovedAtEnd file{temporaryPath()};
    uint64_t expected = 0;
    for (const auto &frame : frames) expected += frame->bytes.size();
    {
        TiffStack stack(file.path.string(), expected);
        for (const auto &frame : frames) stack.append(frame->view, frame->frameNumber, frame->captured);
        stack.close();
    }
    std::ifstream in(file.path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace qorgrab

#endif
