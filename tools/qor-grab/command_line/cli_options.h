// What qor-grab was asked to do, as read from its command line.
#ifndef QOR_GRAB_CLI_OPTIONS_H
#define QOR_GRAB_CLI_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>

#include "frame_samples.h"

namespace qorgrab {

enum class Command {
    List, Snap, Grab, Chain,
    RegGet, RegSet, RegName, RegFind,
    Ntg, EncDiv, GpOutGet, GpOutSet, Reset, Status, View
};
enum class TriggerChoice { Unchanged, External, Software, Off };
enum class LutChoice { None, Invert, Mask };
enum class ImageFormat { Pgm, Png, Tiff };

struct Window {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The operands of the board-control commands.
struct RegisterArgs {
    uint32_t id = 0;
    uint32_t value = 0;
    std::string name;
};
struct TimingArgs {
    double periodMs = 0, exposureMs = 0, delayMs = 0;
    uint32_t mode = 0;
    int32_t bit = 0;
};
struct EncoderArgs {
    uint32_t divider = 0, encoder = 0, bothEdges = 0;
};
struct OutputArgs {
    uint32_t mask = 0, levels = 0;
};

// Where the viewer listens.
struct ViewArgs {
    uint16_t port = 0;
    std::string listen;
};

struct Options {
    Command command = Command::List;
    int32_t family = 1;        // board-type code 16: present in every default population
    bool familyGiven = false;  // list: only this family
    uint32_t board = 0;
    std::optional<uint32_t> camera;
    uint32_t timeoutMs = 2000;
    uint32_t frames = 0;       // 0: the command's default
    int32_t buffers = 4;
    std::string out;           // empty: no files written
    std::optional<ImageFormat> format;  // unset: chosen from --out
    bool overwrite = false;    // replace what an earlier run left at --out
    Samples samples = Samples::Exact;  // --display: PNG files scaled to 8 bits
    TriggerChoice trigger = TriggerChoice::Unchanged;
    LutChoice lut = LutChoice::None;
    std::optional<Window> window;
    std::optional<bool> progress;  // unset: shown when stderr is a terminal

    RegisterArgs reg;
    TimingArgs ntg;
    EncoderArgs encdiv;
    OutputArgs gpout;
    ViewArgs view;
};

// Frames the acquisition commands take when --frames is not given.
uint32_t framesFor(const Options &options);

}  // namespace qorgrab

#endif
