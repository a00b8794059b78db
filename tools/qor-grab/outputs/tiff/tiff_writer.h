// TIFF output through libtiff: grey pages of 8, 16 or 32 bits a sample (the
// pixel's own size), one page per frame, each page naming its frame number
// (PageName "frame N") and capture time (DateTime to the second, and
// ImageDescription "frame=N capture_time=ISO-8601 to the microsecond").
#ifndef QOR_GRAB_TIFF_WRITER_H
#define QOR_GRAB_TIFF_WRITER_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "frame_samples.h"

namespace qorgrab {

class TiffStack {
public:
    // Creates `path`. A stack expected to pass the 4 GiB a classic TIFF can
    // address is written as BigTIFF. Throws ToolFailure when it cannot.
    TiffStack(const std::string &path, uint64_t expectedBytes);
    ~TiffStack();
    TiffStack(const TiffStack &) = delete;
    TiffStack &operator=(const TiffStack &) = delete;

    // Appends one page; throws ToolFailure when it cannot.
    void append(const FrameView &frame, uint64_t frameNumber,
                std::chrono::system_clock::time_point captured);
    // Finishes the file; throws ToolFailure when it cannot.
    void close();
    uint32_t pages() const { return pages_; }

private:
    struct File;
    std::unique_ptr<File> file_;
    std::string path_;
    uint32_t pages_ = 0;
};

// One frame as a TIFF file of one page.
void writeTiff(const std::string &path, const FrameView &frame, uint64_t frameNumber,
               std::chrono::system_clock::time_point captured);

}  // namespace qorgrab

#endif
