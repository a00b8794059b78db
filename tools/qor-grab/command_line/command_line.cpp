#include "command_line.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

#include "image_output.h"
#include "number_text.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr uint32_t kU32Max = std::numeric_limits<uint32_t>::max();
constexpr int32_t kLastFamily = BF_FAMILY_64;
// A chain buffer holds a whole frame; more than this is a typing slip
// rather than a plan.
constexpr int32_t kMaxBuffers = 1024;
constexpr uint16_t kDefaultPort = 8080;
constexpr const char *kLoopback = "127.0.0.1";

#define QOR_TEXT_(x) #x
#define QOR_TEXT(x) QOR_TEXT_(x)

const std::map<std::string, TriggerChoice> kTriggers = {
    {"ext", TriggerChoice::External}, {"sw", TriggerChoice::Software}, {"off", TriggerChoice::Off}};
const std::map<std::string, LutChoice> kLuts = {{"invert", LutChoice::Invert},
                                                {"mask", LutChoice::Mask}};

// Turns a decimal or 0x-hex number into the decimal text CLI11 converts.
CLI::Validator numberValidator(bool allowNegative)
{
    return CLI::Validator(
        [allowNegative](std::string &text) -> std::string {
            const auto decimal = decimalText(text, allowNegative);
            if (!decimal) return "'" + text + "' is not a decimal or 0x-hex integer";
            text = *decimal;
            return "";
        },
        "", allowNegative ? "INTEGER" : "UNSIGNED");
}

template <typename T>
CLI::Option *addNumber(CLI::App &app, const std::string &name, T &target,
                       const std::string &help, T min, T max)
{
    // The type's own bounds need no mention in the help.
    const bool wholeType = min == std::numeric_limits<T>::min() && max == std::numeric_limits<T>::max();
    CLI::Range range(min, max);
    if (wholeType) range.description("");
    return app.add_option(name, target, help)
        ->transform(numberValidator(std::is_signed<T>::value))
        ->check(range);
}

// One of the names in `choices` (any case), turned into its value; the
// help shows them as "a|b|c".
template <typename T>
CLI::Option *addChoice(CLI::App &app, const std::string &name, T &target, const std::string &help,
                       const std::map<std::string, T> &choices)
{
    std::string names;
    for (const auto &choice : choices) names += (names.empty() ? "" : "|") + choice.first;
    const CLI::Validator pick(
        [choices, names](std::string &text) -> std::string {
            const auto found = choices.find(CLI::detail::to_lower(text));
            if (found == choices.end()) return "'" + text + "' is not one of " + names;
            text = std::to_string(static_cast<int>(found->second));
            return "";
        },
        "");
    return app.add_option(name, target, help)->transform(pick)->type_name(names);
}

std::optional<Window> parseWindow(const std::string &text)
{
    const auto cross = text.find_first_of("xX");
    if (cross == std::string::npos) return std::nullopt;
    const auto width = decimalText(text.substr(0, cross), false);
    const auto lines = decimalText(text.substr(cross + 1), false);
    if (!width || !lines || width->size() > 10 || lines->size() > 10) return std::nullopt;
    const uint64_t w = std::stoull(*width), l = std::stoull(*lines);
    if (w == 0 || l == 0 || w > kU32Max || l > kU32Max) return std::nullopt;
    return Window{static_cast<uint32_t>(w), static_cast<uint32_t>(l)};
}

const CLI::Validator kWindowText(
    [](std::string &text) -> std::string {
        return parseWindow(text) ? "" : "'" + text + "' is not WIDTHxLINES, each from 1";
    },
    "WIDTHxLINES");

std::map<std::string, ImageFormat> formatsBuilt()
{
    std::map<std::string, ImageFormat> formats;
    for (const ImageFormat format : availableFormats()) formats[formatName(format)] = format;
    return formats;
}


bool given(const CLI::App &command, const std::string &option)
{
    const CLI::Option *found = command.get_option_no_throw(option);
    return found != nullptr && found->count() > 0;
}

}  // namespace

std::string versionText()
{
    return "qor-grab, qor_bitflow " QOR_TEXT(QOR_BITFLOW_VERSION_MAJOR) "." QOR_TEXT(
        QOR_BITFLOW_VERSION_MINOR) "." QOR_TEXT(QOR_BITFLOW_VERSION_PATCH);
}

CommandLine::CommandLine()
    : app_("qor-grab: acquire frames and drive board controls through qor_bitflow.", "qor-grab")
{
    app_.set_version_flag("--version", versionText(), "Print the library version and exit");
    app_.footer(
        "Numbers are decimal (a leading zero is still decimal) or hex after 0x.\n"
        "Run 'qor-grab COMMAND --help' for a command's own options.\n"
        "Exit status: 0 on success; 1 when a library call or a file fails (the message\n"
        "names the function, its status and what it means); 2 on a usage error.");
    app_.require_subcommand(1);
    // Board options may follow the command too: "reg get 5 --board 1".
    app_.fallthrough();
    addBoardOptions();
    addListCommand();
    addAcquisitionCommands();
    addControlCommands();
    addViewCommand();
}

void CommandLine::addBoardOptions()
{
    familyOption_ = addNumber(app_, "--family", options_.family,
                              "Board family: 0 (type 208), 1 (type 16), 2 (type 32), 3 (type 64)",
                              int32_t{BF_FAMILY_208}, kLastFamily)
                        ->capture_default_str();
    addNumber(app_, "--board", options_.board, "Board number within the family", uint32_t{0},
              kU32Max)
        ->capture_default_str();
}

void CommandLine::addListCommand()
{
    CLI::App *list = app_.add_subcommand(
        "list", "Open every board of every family (only --family F's, if given), print slot, "
                "family, number, geometry, camera value and number of cameras, then close them");
    list->callback([this] { options_.command = Command::List; });
    addNumber(*list, "--camera", camera_, "Select camera N on every board that has one first",
              uint32_t{0}, kU32Max);
}

void CommandLine::addAcquisitionCommands()
{
    struct Acquisition {
        const char *name;
        Command command;
        const char *help;
    };
    const Acquisition commands[] = {
        {"snap", Command::Snap, "Snap frames one at a time into one destination"},
        {"grab", Command::Grab, "Grab continuously into one destination"},
        {"chain", Command::Chain,
         "Grab into a chain of --buffers buffers filled in turn (without LUT: a chain never "
         "passes through one)"},
    };
    for (const Acquisition &a : commands) {
        CLI::App *sub = app_.add_subcommand(a.name, a.help);
        const Command command = a.command;
        sub->callback([this, command] { options_.command = command; });
        addNumber(*sub, "--camera", camera_, "Select camera N first", uint32_t{0}, kU32Max);
        addNumber(*sub, "--timeout", options_.timeoutMs,
                  "Longest wait for one end of frame, ms (a plain snap waits the board's time)",
                  uint32_t{1}, kU32Max)
            ->capture_default_str();
        addNumber(*sub, "--frames", options_.frames,
                  "Frames to acquire (default 1 for snap, 10 otherwise)", uint32_t{1}, kU32Max);
        sub->add_option("--out", options_.out,
                        "Write frames: a folder gets one file per frame (frame_NNNNNN.EXT, "
                        "numbered by board frame, so missed frames leave gaps); a path ending "
                        ".tif/.tiff gets one multi-page TIFF");
        sub->add_flag("--overwrite", options_.overwrite,
                      "Replace an existing --out stack, or the frame files already in an --out "
                      "folder (without it, either stops the run)");
        sub->add_flag_callback(
            "--display", [this] { options_.samples = Samples::Display; },
            "PNG files for viewing: 8-bit, scaled from the camera's full range (default: the "
            "exact samples, 16-bit with sBIT for a deeper camera)");
        addChoice(*sub, "--format", format_,
                  "Image format of the files in an --out folder (default " +
                      std::string(formatName(defaultFolderFormat())) + ")",
                  formatsBuilt());
        addChoice(*sub, "--trigger", options_.trigger,
                  "ext: frames wait for the external line; sw: a software trigger per frame; "
                  "off: disconnect the external trigger (default: as the board is)",
                  kTriggers);
        if (command != Command::Chain)
            addChoice(*sub, "--lut", options_.lut,
                      "invert: an inverting lookup table; mask: the board's bit mask", kLuts);
        sub->add_option("--window", window_, "Acquire a window of W pixels by L lines")
            ->check(kWindowText);
        sub->add_flag("--progress,!--no-progress", progress_,
                      "Show or hide the progress line (default: only when stderr is a terminal)");
        if (command == Command::Chain)
            addNumber(*sub, "--buffers", options_.buffers, "Buffers in the chain", int32_t{1},
                      kMaxBuffers)
                ->capture_default_str();
    }
}

void CommandLine::addControlCommands()
{
    CLI::App *reg = app_.add_subcommand("reg", "Read, write and name registers");
    reg->require_subcommand(1);
    CLI::App *get = reg->add_subcommand("get", "Read register ID");
    get->callback([this] { options_.command = Command::RegGet; });
    addNumber(*get, "ID", options_.reg.id, "Register id", uint32_t{0}, kU32Max)->required();
    CLI::App *set = reg->add_subcommand("set", "Write register ID, then read it back");
    set->callback([this] { options_.command = Command::RegSet; });
    addNumber(*set, "ID", options_.reg.id, "Register id", uint32_t{0}, kU32Max)->required();
    addNumber(*set, "VALUE", options_.reg.value, "Value to write", uint32_t{0}, kU32Max)->required();
    CLI::App *name = reg->add_subcommand("name", "Print the name of register ID");
    name->callback([this] { options_.command = Command::RegName; });
    addNumber(*name, "ID", options_.reg.id, "Register id", uint32_t{0}, kU32Max)->required();
    CLI::App *find = reg->add_subcommand("find", "Print the id of register NAME (any case)");
    find->callback([this] { options_.command = Command::RegFind; });
    find->add_option("NAME", options_.reg.name, "Register name")->required();

    CLI::App *ntg = app_.add_subcommand("ntg", "Program the exposure timing generator");
    ntg->callback([this] { options_.command = Command::Ntg; });
    ntg->add_option("PERIOD", options_.ntg.periodMs, "Period, ms")->required();
    ntg->add_option("EXPOSURE", options_.ntg.exposureMs, "Exposure, ms")->required();
    ntg->add_option("DELAY", options_.ntg.delayMs, "Delay, ms")->required();
    addNumber(*ntg, "MODE", options_.ntg.mode, "Mode", uint32_t{0}, kU32Max)->required();
    addNumber(*ntg, "BIT", options_.ntg.bit, "Output bit, counted from 1",
              std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())
        ->required();

    CLI::App *encdiv = app_.add_subcommand("encdiv", "Divide an encoder's pulses");
    encdiv->callback([this] { options_.command = Command::EncDiv; });
    addNumber(*encdiv, "DIVIDER", options_.encdiv.divider, "Divider", uint32_t{0}, kU32Max)->required();
    addNumber(*encdiv, "ENCODER", options_.encdiv.encoder, "Encoder input", uint32_t{0}, kU32Max)
        ->required();
    addNumber(*encdiv, "BOTHEDGES", options_.encdiv.bothEdges, "Not 0: count both edges",
              uint32_t{0}, kU32Max)
        ->required();

    CLI::App *gpout = app_.add_subcommand("gpout", "Read or set the general-purpose outputs");
    gpout->require_subcommand(1);
    gpout->add_subcommand("get", "Print the output levels")->callback([this] {
        options_.command = Command::GpOutGet;
    });
    CLI::App *gpset = gpout->add_subcommand("set", "Set the outputs in MASK to LEVELS, read back");
    gpset->callback([this] { options_.command = Command::GpOutSet; });
    addNumber(*gpset, "MASK", options_.gpout.mask, "Outputs to set", uint32_t{0}, kU32Max)->required();
    addNumber(*gpset, "LEVELS", options_.gpout.levels, "Their levels", uint32_t{0}, kU32Max)->required();

    app_.add_subcommand("reset", "Register a destination, reset its acquisition, release it")
        ->callback([this] { options_.command = Command::Reset; });
    app_.add_subcommand("status", "Print overflow resets, acquisition status and frame count")
        ->callback([this] { options_.command = Command::Status; });
}

void CommandLine::addViewCommand()
{
    CLI::App *view = app_.add_subcommand(
        "view", "Grab continuously and serve a live view with the board's controls on "
                "http://127.0.0.1:PORT/ until Ctrl-C");
    view->callback([this] { options_.command = Command::View; });
    options_.view.port = kDefaultPort;
    options_.view.listen = kLoopback;
    addNumber(*view, "--port", options_.view.port, "TCP port; 0 picks a free one", uint16_t{0},
              std::numeric_limits<uint16_t>::max())
        ->capture_default_str();
    view->add_option("--listen", options_.view.listen,
                     "Address to listen on; other than loopback, anyone who reaches it controls "
                     "the board")
        ->capture_default_str();
    addNumber(*view, "--camera", camera_, "Select camera N first", uint32_t{0}, kU32Max);
    addNumber(*view, "--buffers", options_.buffers, "Buffers in the chain", int32_t{1}, kMaxBuffers)
        ->capture_default_str();
#if !QOR_GRAB_HAVE_VIEWER
    view->callback([] {
        throw CLI::ValidationError("view", "this build of qor-grab has no viewer (it needs "
                                           "libpng and cpp-httplib)");
    });
#endif
}

// What single options cannot check: how they combine.
void CommandLine::finish()
{
    options_.familyGiven = familyOption_->count() > 0;
    for (CLI::App *sub : app_.get_subcommands()) {
        if (given(*sub, "--camera")) options_.camera = camera_;
        if (given(*sub, "--progress")) options_.progress = progress_;
        if (given(*sub, "--format")) options_.format = format_;
    }
    if (!window_.empty()) options_.window = parseWindow(window_);
    const std::string problem = outputProblem(options_.out, options_.format, options_.samples);
    if (!problem.empty()) throw CLI::ValidationError("--format", problem);
}

const Options &CommandLine::parse(const std::vector<std::string> &args)
{
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
    try {
        app_.parse(reversed);
    } catch (const CLI::RequiredError &) {
        // A misspelt command leaves its word over: that is the news, not
        // the missing command.
        std::vector<std::string> unknown = app_.remaining(true);
        std::reverse(unknown.begin(), unknown.end());  // CLI11 keeps them last first
        if (!unknown.empty()) throw CLI::ExtrasError(unknown);
        throw;
    }
    finish();
    return options_;
}

int CommandLine::report(const CLI::ParseError &error)
{
    if (error.get_exit_code() == 0) return app_.exit(error);
    std::fprintf(stderr, "qor-grab: %s\nRun 'qor-grab --help' for the commands and options.\n",
                 error.what());
    return kExitUsage;
}

uint32_t framesFor(const Options &options)
{
    constexpr uint32_t kSnapDefaultFrames = 1;
    constexpr uint32_t kStreamDefaultFrames = 10;
    if (options.frames != 0) return options.frames;
    return options.command == Command::Snap ? kSnapDefaultFrames : kStreamDefaultFrames;
}

}  // namespace qorgrab
