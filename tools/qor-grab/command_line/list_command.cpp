#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "bf_check.h"
#include "board_session.h"
#include "commands.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kFamilies[] = {BF_FAMILY_208, BF_FAMILY_16, BF_FAMILY_32, BF_FAMILY_64};
constexpr uint32_t kCameraAtOpen = 0;

void printHeader()
{
    std::printf("%-4s  %-11s  %-5s  %6s  %6s  %5s  %8s  %10s  %7s\n", "slot", "family", "board",
                "width", "lines", "depth", "bytes/px", "camera", "cameras");
}

void printBoard(const BoardSession &board)
{
    char family[16];
    std::snprintf(family, sizeof family, "%d (%u)", board.family(), familyTypeCode(board.family()));
    std::printf("%-4d  %-11s  %-5u  ", board.slot(), family, board.number());
}

void printGeometry(const CameraGeometry &g, uint32_t cameras)
{
    std::printf("%6u  %6u  %5u  %8u  %10u  %7u\n", g.width, g.lines, g.bitDepth, g.bytesPerPixel,
                g.cameraInfo, cameras);
}

// One board's row: the geometry of its current camera (--camera N's, when
// it has one) and how many cameras it has. Returns whether the camera asked
// for was there.
bool listBoard(BoardSession &board, const Options &options)
{
    printBoard(board);
    const uint32_t camera = options.camera.value_or(kCameraAtOpen);
    const bool present = !options.camera || board.trySelectCamera(camera);
    const CameraGeometry geometry = board.imageInfo();
    const uint32_t cameras = board.countCameras(present ? camera : kCameraAtOpen);
    if (present)
        printGeometry(geometry, cameras);
    else
        std::printf("no camera %u: it has %u\n", camera, cameras);
    return present;
}

}  // namespace

void runList(const Options &options)
{
    // Boards stay open until the table is done, so each gets its own slot,
    // and are closed newest first.
    std::vector<BoardSession> open;
    printHeader();
    std::vector<int32_t> families(std::begin(kFamilies), std::end(kFamilies));
    if (options.familyGiven) families = {options.family};
    bool cameraFound = false;
    for (const int32_t family : families) {
        for (uint32_t number = 0;; ++number) {
            auto board = BoardSession::openIfPresent(family, number);
            if (!board) break;
            cameraFound = listBoard(*board, options) || cameraFound;
            open.push_back(std::move(*board));
        }
    }
    if (open.empty()) {
        // A script must tell "no boards" (a broken QOR_SIM_CONFIG, a missing
        // driver) from a listing.
        std::printf("(no boards)\n");
        throw ToolFailure(
            "no boards found: check the board's driver, or QOR_SIM_CONFIG for the simulator");
    }
    std::fflush(stdout);
    while (!open.empty()) {
        open.back().close();
        open.pop_back();
    }
    if (!cameraFound)
        throw ToolFailure("no board has camera " + std::to_string(*options.camera) +
                          "; the cameras column counts each board's cameras, from 0");
}

}  // namespace qorgrab
