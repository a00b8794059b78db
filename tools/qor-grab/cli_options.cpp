#include "cli_options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <map>

namespace qorgrab {
namespace {

constexpr uint32_t kSnapDefaultFrames = 1;
constexpr uint32_t kStreamDefaultFrames = 10;

const std::map<std::string, Command> kCommands = {
    {"list", Command::List},   {"snap", Command::Snap},     {"grab", Command::Grab},
    {"chain", Command::Chain}, {"reg", Command::Reg},       {"ntg", Command::Ntg},
    {"encdiv", Command::EncDiv}, {"gpout", Command::GpOut}, {"reset", Command::Reset},
    {"status", Command::Status},
};

bool isAcquisition(Command command)
{
    return command == Command::Snap || command == Command::Grab || command == Command::Chain;
}

// Splits "--name=value" so both spellings of an option read alike.
void splitInlineValue(std::string &word, std::optional<std::string> &value)
{
    const auto equals = word.find('=');
    if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
        value = word.substr(equals + 1);
        word.resize(equals);
    }
}

TriggerChoice parseTrigger(const std::string &text)
{
    if (text == "ext") return TriggerChoice::External;
    if (text == "sw") return TriggerChoice::Software;
    if (text == "off") return TriggerChoice::Off;
    throw UsageError("--trigger takes ext, sw or off, not '" + text + "'");
}

LutChoice parseLut(const std::string &text)
{
    if (text == "invert") return LutChoice::Invert;
    if (text == "mask") return LutChoice::Mask;
    throw UsageError("--lut takes invert or mask, not '" + text + "'");
}

Window parseWindow(const std::string &text)
{
    const auto cross = text.find('x');
    if (cross == std::string::npos)
        throw UsageError("--window takes WIDTHxLINES, not '" + text + "'");
    return Window{parseUnsigned(text.substr(0, cross), "--window width"),
                  parseUnsigned(text.substr(cross + 1), "--window lines")};
}

uint32_t parsePositive(const std::string &text, const char *what)
{
    const uint32_t value = parseUnsigned(text, what);
    if (value == 0)
        throw UsageError(std::string(what) + " must be at least 1");
    return value;
}

// Which options each command accepts, so a misplaced one is reported rather
// than silently ignored.
void checkOptionFits(const std::string &name, Command command)
{
    const bool acquisitionOnly = name == "--frames" || name == "--out" || name == "--trigger" ||
                                 name == "--lut" || name == "--window";
    if (acquisitionOnly && !isAcquisition(command))
        throw UsageError(name + " applies to snap, grab and chain");
    if (name == "--buffers" && command != Command::Chain)
        throw UsageError("--buffers applies to chain");
    if (name == "--lut" && command == Command::Chain)
        throw UsageError("--lut applies to snap and grab: a chain acquires without LUT");
    if (name == "--camera" && !(isAcquisition(command) || command == Command::List))
        throw UsageError("--camera applies to list, snap, grab and chain");
}

void applyOption(Options &options, const std::string &name, const std::string &value)
{
    if (name == "--family") {
        options.family = parseSigned(value, "--family");
        options.familyGiven = true;
    }
    else if (name == "--board") options.board = parseUnsigned(value, "--board");
    else if (name == "--camera") options.camera = parseUnsigned(value, "--camera");
    else if (name == "--timeout") options.timeoutMs = parseUnsigned(value, "--timeout");
    else if (name == "--frames") options.frames = parsePositive(value, "--frames");
    else if (name == "--buffers") options.buffers = parseSigned(value, "--buffers");
    else if (name == "--out") options.outDir = value;
    else if (name == "--trigger") options.trigger = parseTrigger(value);
    else if (name == "--lut") options.lut = parseLut(value);
    else if (name == "--window") options.window = parseWindow(value);
    else throw UsageError("unknown option " + name);
}

void checkOperands(const Options &options)
{
    const auto &words = options.operands;
    const size_t count = words.size();
    const std::string first = count > 0 ? words[0] : "";
    switch (options.command) {
    case Command::Reg:
        if ((first == "get" || first == "name" || first == "find") && count == 2) return;
        if (first == "set" && count == 3) return;
        throw UsageError("reg takes: get ID | set ID VALUE | name ID | find NAME");
    case Command::Ntg:
        if (count == 5) return;
        throw UsageError("ntg takes: PERIOD EXPOSURE DELAY MODE BIT");
    case Command::EncDiv:
        if (count == 3) return;
        throw UsageError("encdiv takes: DIVIDER ENCODER BOTHEDGES");
    case Command::GpOut:
        if ((first == "get" && count == 1) || (first == "set" && count == 3)) return;
        throw UsageError("gpout takes: get | set MASK LEVELS");
    default:
        if (count == 0) return;
        throw UsageError("unexpected argument '" + first + "'");
    }
}

}  // namespace

uint32_t parseUnsigned(const std::string &text, const char *what)
{
    errno = 0;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    const bool whole = !text.empty() && *end == '\0' && text[0] != '-' && text[0] != '+';
    if (!whole || errno == ERANGE || value > std::numeric_limits<uint32_t>::max())
        throw UsageError(std::string(what) + " must be an unsigned 32-bit number, not '" + text + "'");
    return static_cast<uint32_t>(value);
}

int32_t parseSigned(const std::string &text, const char *what)
{
    errno = 0;
    char *end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    const bool whole = !text.empty() && *end == '\0';
    if (!whole || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw UsageError(std::string(what) + " must be a signed 32-bit number, not '" + text + "'");
    return static_cast<int32_t>(value);
}

double parseDouble(const std::string &text, const char *what)
{
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(std::string(what) + " must be a number, not '" + text + "'");
    return value;
}

Options parseOptions(const std::vector<std::string> &args)
{
    Options options;
    std::vector<std::pair<std::string, std::string>> given;
    bool haveCommand = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        if (word == "--help" || word == "-h") return Options{};
        if (word.rfind("--", 0) == 0) {
            std::optional<std::string> value;
            splitInlineValue(word, value);
            if (!value) {
                if (i + 1 >= args.size()) throw UsageError(word + " needs a value");
                value = args[++i];
            }
            given.emplace_back(word, *value);
        } else if (!haveCommand) {
            const auto found = kCommands.find(word);
            if (found == kCommands.end()) throw UsageError("unknown command '" + word + "'");
            options.command = found->second;
            haveCommand = true;
        } else {
            options.operands.push_back(word);
        }
    }
    if (!haveCommand) throw UsageError("no command given");
    for (const auto &[name, value] : given) {
        applyOption(options, name, value);
        checkOptionFits(name, options.command);
    }
    checkOperands(options);
    return options;
}

uint32_t framesFor(const Options &options)
{
    if (options.frames != 0) return options.frames;
    return options.command == Command::Snap ? kSnapDefaultFrames : kStreamDefaultFrames;
}

}  // namespace qorgrab
