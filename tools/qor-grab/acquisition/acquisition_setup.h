// Getting a board ready to acquire: camera, window, trigger and LUT, in the
// order the library needs them (all before a destination is registered).
#ifndef QOR_GRAB_ACQUISITION_SETUP_H
#define QOR_GRAB_ACQUISITION_SETUP_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "board_session.h"
#include "cli_options.h"
#include "frame_samples.h"

namespace qorgrab {

// The frames the board will deliver and the buffers they need.
struct FrameLayout {
    CameraGeometry camera;
    uint32_t width = 0;       // pixels per line acquired (the window's, if any)
    uint32_t lines = 0;       // lines acquired
    uint32_t stride = 0;      // bytes from one line to the next
    size_t bufferBytes = 0;   // what the library registers: width x P x camera lines, at least

    FrameView view(const uint8_t *data) const;
};

// Applies --camera, --window, --trigger and --lut to the open board and
// works out the frame layout from what the board then reports.
FrameLayout prepareAcquisition(BoardSession &board, const Options &options);

// The inverting table and the LUT kind that fits a bit depth.
struct InvertingLut {
    int32_t kind = 0;
    std::vector<uint8_t> entries;  // as the board reads them: 8-bit or 16-bit little-endian
    int32_t length = 0;            // in entries
};
InvertingLut invertingLut(uint32_t bitDepth);

}  // namespace qorgrab

#endif
