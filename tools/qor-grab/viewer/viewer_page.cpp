#include "viewer/viewer_server.h"

#include <cstdio>
#include <map>
#include <string>

#include "viewer/page_files.h"

namespace qorgrab {
namespace {

constexpr const char *kIndexPath = "/index.html";

// Replaces every {{name}} of `text` by its value in `values`; a name
// without a value is left as it is.
std::string fillTemplate(const std::string &text, const std::map<std::string, std::string> &values)
{
    std::string out;
    size_t at = 0;
    for (;;) {
        const size_t open = text.find("{{", at);
        const size_t close = open == std::string::npos ? open : text.find("}}", open + 2);
        if (close == std::string::npos) break;
        const auto value = values.find(text.substr(open + 2, close - open - 2));
        out.append(text, at, open - at);
        out += value == values.end() ? text.substr(open, close + 2 - open) : value->second;
        at = close + 2;
    }
    return out + text.substr(at);
}

}  // namespace

const PageFile *findPageFile(const std::string &path)
{
    size_t count = 0;
    const PageFile *files = pageFiles(&count);
    for (size_t i = 0; i < count; ++i)
        if (path == files[i].path) return &files[i];
    return nullptr;
}

// The page arrives already showing the counts, the camera and what an empty
// view waits for at the moment it was asked for; its script keeps them
// current from then on. Without this a page
// caught before its first status request was answered would claim that
// no frame had been received.
std::string viewerPage(const LiveState &state)
{
    const PageFile *index = findPageFile(kIndexPath);
    if (index == nullptr) return "";
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.1f", state.fps);
    const std::string text(reinterpret_cast<const char *>(index->bytes), index->size);
    return fillTemplate(text, {{"fps", fps},
                               {"received", std::to_string(state.received)},
                               {"missed", std::to_string(state.missed)},
                               {"camera", std::to_string(state.camera)},
                               {"waiting", state.trigger == LiveTrigger::FreeRun
                                               ? "waiting for the first frame"
                                               : "waiting for trigger"}});
}

}  // namespace qorgrab
