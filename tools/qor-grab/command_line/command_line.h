// qor-grab's command line: subcommands, options, their checks and help.
#ifndef QOR_GRAB_COMMAND_LINE_H
#define QOR_GRAB_COMMAND_LINE_H

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli_options.h"

namespace qorgrab {

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // a library call or a file failed
constexpr int kExitUsage = 2;    // the command line cannot be run

// "qor-grab, qor_bitflow 1.0.0": what --version prints.
std::string versionText();

class CommandLine {
public:
    CommandLine();
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    // Reads the words after the program name. Throws CLI::ParseError for
    // anything that cannot run, and for --help and --version.
    const Options &parse(const std::vector<std::string> &args);
    // Prints what `error` calls for (help and version on stdout, a usage
    // error on stderr) and gives the exit status.
    int report(const CLI::ParseError &error);

private:
    void addBoardOptions();
    void addListCommand();
    void addAcquisitionCommands();
    void addControlCommands();
    void addViewCommand();
    void finish();

    CLI::App app_;
    Options options_;
    std::string window_;
    uint32_t camera_ = 0;
    bool progress_ = false;
    ImageFormat format_ = ImageFormat::Pgm;
    CLI::Option *familyOption_ = nullptr;
};

}  // namespace qorgrab

#endif
