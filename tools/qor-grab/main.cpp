// qor-grab: a command-line host of qor_bitflow.
#include <cstdio>
#include <string>
#include <vector>

#include "bf_check.h"
#include "cli_options.h"
#include "commands.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void run(const qorgrab::Options &options)
{
    using qorgrab::Command;
    switch (options.command) {
    case Command::Help: std::fputs(qorgrab::usageText(), stdout); break;
    case Command::List: qorgrab::runList(options); break;
    case Command::Snap: qorgrab::runSnap(options); break;
    case Command::Grab: qorgrab::runGrab(options); break;
    case Command::Chain: qorgrab::runChain(options); break;
    case Command::Reg: qorgrab::runReg(options); break;
    case Command::Ntg: qorgrab::runNtg(options); break;
    case Command::EncDiv: qorgrab::runEncDiv(options); break;
    case Command::GpOut: qorgrab::runGpOut(options); break;
    case Command::Reset: qorgrab::runReset(options); break;
    case Command::Status: qorgrab::runStatus(options); break;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        run(qorgrab::parseOptions(std::vector<std::string>(argv + 1, argv + argc)));
        return 0;
    } catch (const qorgrab::UsageError &error) {
        std::fprintf(stderr, "qor-grab: %s\nRun 'qor-grab --help' for the commands and options.\n",
                     error.what());
        return kExitUsage;
    } catch (const std::exception &error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qor-grab: %s\n", error.what());
        return kExitFailure;
    }
}
