#include "image_output.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "bf_check.h"
#include "pgm_writer.h"
#if QOR_GRAB_HAVE_PNG
#include "png/png_writer.h"
#endif
#if QOR_GRAB_HAVE_TIFF
#include "tiff/tiff_writer.h"
#endif

namespace qorgrab {
namespace {

struct FormatInfo {
    ImageFormat format;
    const char *name;
    const char *extension;
    bool built;
};
constexpr FormatInfo kFormats[] = {
    {ImageFormat::Pgm, "pgm", "pgm", true},
#if QOR_GRAB_HAVE_PNG
    {ImageFormat::Png, "png", "png", true},
#else
    {ImageFormat::Png, "png", "png", false},
#endif
#if QOR_GRAB_HAVE_TIFF
    {ImageFormat::Tiff, "tiff", "tif", true},
#else
    {ImageFormat::Tiff, "tiff", "tif", false},
#endif
};

const FormatInfo &info(ImageFormat format)
{
    return *std::find_if(std::begin(kFormats), std::end(kFormats),
                         [format](const FormatInfo &f) { return f.format == format; });
}

std::string lowerExtension(const std::string &path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

class FolderOutput : public ImageOutput {
public:
    FolderOutput(const std::string &folder, ImageFormat format, Samples samples)
        : folder_(folder), format_(format), samples_(samples)
    {
    }

    void write(const FrameView &frame, uint64_t frameNumber,
               std::chrono::system_clock::time_point captured) override
    {
        const std::string path =
            (std::filesystem::path(folder_) / frameFileName(frameNumber, format_)).string();
        switch (format_) {
#if QOR_GRAB_HAVE_PNG
        case ImageFormat::Png: writePng(path, frame, samples_); break;
#endif
#if QOR_GRAB_HAVE_TIFF
        case ImageFormat::Tiff: writeTiff(path, frame, frameNumber, captured); break;
#endif
        default: writePgm(path, frame); break;
        }
        static_cast<void>(captured);
    }

private:
    std::string folder_;
    ImageFormat format_;
    Samples samples_;
};

#if QOR_GRAB_HAVE_TIFF
class StackOutput : public ImageOutput {
public:
    StackOutput(const std::string &path, uint64_t expectedBytes) : stack_(path, expectedBytes) {}
    void write(const FrameView &frame, uint64_t frameNumber,
               std::chrono::system_clock::time_point captured) override
    {
        stack_.append(frame, frameNumber, captured);
    }
    void close() override { stack_.close(); }

private:
    TiffStack stack_;
};
#endif

}  // namespace

std::vector<ImageFormat> availableFormats()
{
    std::vector<ImageFormat> formats;
    for (const FormatInfo &f : kFormats)
        if (f.built) formats.push_back(f.format);
    return formats;
}

const char *formatName(ImageFormat format)
{
    return info(format).name;
}

ImageFormat defaultFolderFormat()
{
    return info(ImageFormat::Png).built ? ImageFormat::Png : ImageFormat::Pgm;
}

bool isStackPath(const std::string &out)
{
    const std::string extension = lowerExtension(out);
    return extension == ".tif" || extension == ".tiff";
}

std::string outputProblem(const std::string &out, std::optional<ImageFormat> format,
                          Samples samples)
{
    if (out.empty() && format) return "--format needs --out";
    if (samples == Samples::Display &&
        (out.empty() || isStackPath(out) ||
         format.value_or(defaultFolderFormat()) != ImageFormat::Png))
        return "--display writes PNG files: it needs an --out folder with PNG files in it "
               "(--format png)";
    if (!isStackPath(out)) return "";
    if (!info(ImageFormat::Tiff).built)
        return "this build of qor-grab writes no TIFF (it needs libtiff); give --out a folder";
    if (format && *format != ImageFormat::Tiff)
        return "an --out path ending in .tif or .tiff is a TIFF stack, not " +
               std::string(formatName(*format));
    return "";
}

std::unique_ptr<ImageOutput> openImageOutput(const std::string &out,
                                             std::optional<ImageFormat> format, Samples samples,
                                             uint64_t expectedBytes)
{
    if (out.empty()) return nullptr;
#if QOR_GRAB_HAVE_TIFF
    if (isStackPath(out)) return std::make_unique<StackOutput>(out, expectedBytes);
#endif
    static_cast<void>(expectedBytes);
    return std::make_unique<FolderOutput>(out, format.value_or(defaultFolderFormat()), samples);
}

bool isFrameFileName(const std::string &name)
{
    constexpr size_t kPrefix = sizeof "frame_" - 1;
    constexpr size_t kMinDigits = 6;
    if (name.compare(0, kPrefix, "frame_") != 0) return false;
    const size_t dot = name.find('.', kPrefix);
    if (dot == std::string::npos || dot - kPrefix < kMinDigits) return false;
    for (size_t i = kPrefix; i < dot; ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    const std::string extension = name.substr(dot + 1);
    return std::any_of(std::begin(kFormats), std::end(kFormats),
                       [&extension](const FormatInfo &f) { return extension == f.extension; });
}

std::string frameFileName(uint64_t frameNumber, ImageFormat format)
{
    char name[48];
    std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".%s", frameNumber,
                  info(format).extension);
    return name;
}

}  // namespace qorgrab
