// Command-line options of qor-grab: what to run and on which board.
#ifndef QOR_GRAB_CLI_OPTIONS_H
#define QOR_GRAB_CLI_OPTIONS_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorgrab {

enum class Command { Help, List, Snap, Grab, Chain, Reg, Ntg, EncDiv, GpOut, Reset, Status };
enum class TriggerChoice { Unchanged, External, Software, Off };
enum class LutChoice { None, Invert, Mask };

struct Window {
    uint32_t width = 0;
    uint32_t height = 0;
};

struct Options {
    Command command = Command::Help;
    std::vector<std::string> operands;  // the command's own words (reg, ntg, ...)
    int32_t family = 1;                 // board-type code 16: present in every default population
    bool familyGiven = false;           // list: only this family
    uint32_t board = 0;
    std::optional<uint32_t> camera;
    uint32_t timeoutMs = 2000;
    uint32_t frames = 0;  // 0: the command's default
    int32_t buffers = 4;
    std::string outDir;   // empty: no files written
    TriggerChoice trigger = TriggerChoice::Unchanged;
    LutChoice lut = LutChoice::None;
    std::optional<Window> window;
};

// A command line that cannot be run; the message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads argv; throws UsageError on anything it cannot make sense of.
Options parseOptions(const std::vector<std::string> &args);

// Frames the acquisition commands take when --frames is not given.
uint32_t framesFor(const Options &options);

// Number parsing shared by the option and operand readers: decimal, or hex
// with 0x. Throws UsageError naming `what` when the text is not a number in
// range.
uint32_t parseUnsigned(const std::string &text, const char *what);
int32_t parseSigned(const std::string &text, const char *what);
double parseDouble(const std::string &text, const char *what);

// The --help text.
const char *usageText();

}  // namespace qorgrab

#endif
