// The commands qor-grab runs; each throws BfFailure, ToolFailure or
// UsageError when it cannot finish, after releasing what it set up.
#ifndef QOR_GRAB_COMMANDS_H
#define QOR_GRAB_COMMANDS_H

#include "cli_options.h"

namespace qorgrab {

void runList(const Options &options);
void runSnap(const Options &options);
void runGrab(const Options &options);
void runChain(const Options &options);
void runReg(const Options &options);
void runNtg(const Options &options);
void runEncDiv(const Options &options);
void runGpOut(const Options &options);
void runReset(const Options &options);
void runStatus(const Options &options);

}  // namespace qorgrab

#endif
