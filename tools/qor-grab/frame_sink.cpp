#include "frame_sink.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "bf_check.h"

namespace qorgrab {

FrameSink::FrameSink(const std::string &directory) : directory_(directory)
{
    if (directory_.empty()) return;
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error || !std::filesystem::is_directory(directory_))
        throw ToolFailure("cannot create directory " + directory_ + ": " + error.message());
}

std::string FrameSink::pathFor(uint64_t index) const
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".pgm", index);
    return (std::filesystem::path(directory_) / name).string();
}

void FrameSink::put(uint64_t index, const FrameView &frame) const
{
    if (writes()) writePgm(pathFor(index), frame);
}

}  // namespace qorgrab
