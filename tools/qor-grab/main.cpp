// qor-grab: a command-line host of qor_bitflow.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"

namespace {

void run(const qorgrab::Options &options)
{
    using qorgrab::Command;
    switch (options.command) {
    case Command::List: qorgrab::runList(options); break;
    case Command::Snap: qorgrab::runSnap(options); break;
    case Command::Grab: qorgrab::runGrab(options); break;
    case Command::Chain: qorgrab::runChain(options); break;
    case Command::RegGet:
    case Command::RegSet:
    case Command::RegName:
    case Command::RegFind: qorgrab::runReg(options); break;
    case Command::Ntg: qorgrab::runNtg(options); break;
    case Command::EncDiv: qorgrab::runEncDiv(options); break;
    case Command::GpOutGet:
    case Command::GpOutSet: qorgrab::runGpOut(options); break;
    case Command::Reset: qorgrab::runReset(options); break;
    case Command::Status: qorgrab::runStatus(options); break;
#if QOR_GRAB_HAVE_VIEWER
    case Command::View: qorgrab::runView(options); break;
#else
    case Command::View: break;  // refused by the command line
#endif
    }
}

}  // namespace

int main(int argc, char **argv)
{
    qorgrab::CommandLine commandLine;
    qorgrab::Options options;
    try {
        options = commandLine.parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const CLI::ParseError &error) {
        return commandLine.report(error);
    }
    try {
        run(options);
        return qorgrab::kExitSuccess;
    } catch (const std::exception &error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qor-grab: %s\n", error.what());
        return qorgrab::kExitFailure;
    }
}
