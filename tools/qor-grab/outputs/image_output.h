// Where an acquisition run's frames go: numbered files in a folder (PGM,
// PNG or TIFF), or one multi-page TIFF stack for an --out path ending in
// .tif/.tiff.
#ifndef QOR_GRAB_IMAGE_OUTPUT_H
#define QOR_GRAB_IMAGE_OUTPUT_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "frame_samples.h"

namespace qorgrab {

// The formats this build writes (PGM always; PNG and TIFF where their
// libraries were found), and their names on the command line.
std::vector<ImageFormat> availableFormats();
const char *formatName(ImageFormat format);
// A folder's format when --format is not given: PNG where built, else PGM.
ImageFormat defaultFolderFormat();
// Whether `out` names a TIFF stack rather than a folder.
bool isStackPath(const std::string &out);
// Why --out, --format and --display cannot go together; empty when they can.
std::string outputProblem(const std::string &out, std::optional<ImageFormat> format,
                          Samples samples);

class ImageOutput {
public:
    virtual ~ImageOutput() = default;
    // Writes frame `frameNumber` (the board's count from the start of the
    // run); throws ToolFailure when it cannot.
    virtual void write(const FrameView &frame, uint64_t frameNumber,
                       std::chrono::system_clock::time_point captured) = 0;
    // Completes what was written; throws ToolFailure when it cannot.
    virtual void close() {}
};

// Opens the output --out names, once prepareOutputPath() has readied it;
// a stack's file is created now.
// `expectedBytes`: the run's frames, for a stack to choose its TIFF flavour.
// `samples`: how a folder's PNG files hold the pixels.
std::unique_ptr<ImageOutput> openImageOutput(const std::string &out,
                                             std::optional<ImageFormat> format, Samples samples,
                                             uint64_t expectedBytes);

// The file name of frame `frameNumber` in a folder: frame_NNNNNN.EXT.
std::string frameFileName(uint64_t frameNumber, ImageFormat format);
// Whether `name` is one frameFileName() gives, in any format and number.
bool isFrameFileName(const std::string &name);

}  // namespace qorgrab

#endif
