#include <cstdio>
#include <iterator>
#include <vector>

#include "bf_check.h"
#include "board_session.h"
#include "commands.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kFamilies[] = {BF_FAMILY_208, BF_FAMILY_16, BF_FAMILY_32, BF_FAMILY_64};

void printHeader()
{
    std::printf("%-4s  %-11s  %-5s  %6s  %6s  %5s  %8s  %10s\n", "slot", "family", "board",
                "width", "lines", "depth", "bytes/px", "camera");
}

void printRow(const BoardSession &board, const CameraGeometry &g)
{
    char family[16];
    std::snprintf(family, sizeof family, "%d (%u)", board.family(), familyTypeCode(board.family()));
    std::printf("%-4d  %-11s  %-5u  %6u  %6u  %5u  %8u  %10u\n", board.slot(), family,
                board.number(), g.width, g.lines, g.bitDepth, g.bytesPerPixel, g.cameraInfo);
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
    for (const int32_t family : families) {
        for (uint32_t number = 0;; ++number) {
            auto board = BoardSession::openIfPresent(family, number);
            if (!board) break;
            if (options.camera) board->selectCamera(*options.camera);
            printRow(*board, board->imageInfo());
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
}

}  // namespace qorgrab
