// The commands qor-grab runs; each throws BfFailure or ToolFailure when it
// cannot finish, after releasing what it set up.
#ifndef QOR_GRAB_COMMANDS_H
#define QOR_GRAB_COMMANDS_H

#include "cli_options.h"

namespace qorgrab {

void runList(const Options &options);
void runSnap(const Options &options);
void runGrab(const Options &options);
void runChain(const Options &options);
void runReg(const Options &options);      // reg get | set | name | find
void runNtg(const Options &options);
void runEncDiv(const Options &options);
void runGpOut(const Options &options);    // gpout get | set
void runReset(const Options &options);
void runStatus(const Options &options);
void runView(const Options &options);     // serves until SIGINT or SIGTERM

}  // namespace qorgrab

#endif
