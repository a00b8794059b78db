// Frames as the bytes of a TIFF file, one page a frame, for the browser to
// download (libtiff writes files: they go through one in the temporary folder).
#ifndef QOR_GRAB_TIFF_DOWNLOAD_H
#define QOR_GRAB_TIFF_DOWNLOAD_H

#include <cstdint>
#include <vector>

#include "viewer/live_camera.h"

namespace qorgrab {

// Only in builds with TIFF output (QOR_GRAB_HAVE_TIFF). Throws ToolFailure when the file cannot be written.
std::vector<uint8_t> tiffBytes(const LiveFrames &frames);

}  // namespace qorgrab

#endif
