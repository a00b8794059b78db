#include "output_path.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "bf_check.h"
#include "image_output.h"

namespace qorgrab {
namespace {

namespace fs = std::filesystem;

void createFolders(const fs::path &folder)
{
    if (folder.empty()) return;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw ToolFailure("cannot create directory " + folder.string() + ": " + error.message());
    if (!fs::is_directory(folder))
        throw ToolFailure("cannot create directory " + folder.string() +
                          ": a file of that name is in the way");
}

std::vector<fs::path> frameFilesIn(const fs::path &folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file() && isFrameFileName(entry.path().filename().string()))
            found.push_back(entry.path());
    if (error)
        throw ToolFailure("cannot read directory " + folder.string() + ": " + error.message());
    return found;
}

void removeFiles(const std::vector<fs::path> &files)
{
    for (const fs::path &file : files) {
        std::error_code error;
        fs::remove(file, error);
        if (error) throw ToolFailure("cannot remove " + file.string() + ": " + error.message());
    }
}

void prepareStack(const fs::path &stack, bool overwrite)
{
    if (fs::is_directory(stack))
        throw ToolFailure("--out " + stack.string() + " is a directory, not a TIFF stack file");
    if (fs::exists(stack) && !overwrite)
        throw ToolFailure("--out " + stack.string() + " already exists; give --overwrite to " +
                          "replace it, or choose another path");
    createFolders(stack.parent_path());
}

void prepareFolder(const fs::path &folder, bool overwrite)
{
    if (fs::is_directory(folder)) {
        const std::vector<fs::path> earlier = frameFilesIn(folder);
        if (!earlier.empty() && !overwrite)
            throw ToolFailure("--out " + folder.string() + " already holds " +
                              std::to_string(earlier.size()) +
                              " frame files; give --overwrite to replace them, or choose another "
                              "folder");
        // Missed frames leave gaps in the numbering: an earlier run's files
        // in those gaps would pass for this run's.
        removeFiles(earlier);
    }
    createFolders(folder);
}

}  // namespace

void prepareOutputPath(const std::string &out, bool overwrite)
{
    if (out.empty()) return;
    if (isStackPath(out))
        prepareStack(out, overwrite);
    else
        prepareFolder(out, overwrite);
}

}  // namespace qorgrab
