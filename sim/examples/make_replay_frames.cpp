// Writes the frames sim/examples/replay.json replays: a few frames of the
// simulator's own scene as 16-bit PGM files, so the example runs without
// anyone's recordings.
//
//   make_replay_frames FOLDER
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bfsim.h"

namespace {

constexpr uint32_t kWidth = 320, kLines = 240, kFrames = 8;
constexpr uint32_t kPgmMax = 65535;
constexpr const char *kScene =
    R"({"boards":[{"type":16,"cameras":[{"width":320,"lines":240,"bitDepth":16,"bytesPerPixel":2,)"
    R"("source":"scene","noise":300,"seed":3}]}]})";

bool writePgm(const std::string &path, const std::vector<uint16_t> &pixels)
{
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << kWidth << " " << kLines << "\n" << kPgmMax << "\n";
    for (uint16_t v : pixels) {
        out.put(static_cast<char>(v >> 8));  // PGM's two-byte samples are big-endian
        out.put(static_cast<char>(v & 0xFF));
    }
    return bool(out);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_replay_frames FOLDER\n");
        return 2;
    }
    if (bfsim_load_config(kScene) != 0) return 1;
    const bfsim_frame_format format{kWidth, kLines, kWidth * 2, 0, 0, nullptr, 0};
    std::vector<uint16_t> pixels(size_t(kWidth) * kLines);
    for (uint32_t f = 0; f < kFrames; ++f) {
        // Frame numbers from 1: the stamp of frame 0 would be a black corner.
        if (bfsim_render_frame(16, 0, 0, pixels.data(), &format, f + 1) != 0) return 1;
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%02u.pgm", f);
        if (!writePgm(argv[1] + std::string(name), pixels)) return 1;
    }
    return 0;
}
