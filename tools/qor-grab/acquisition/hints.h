// What to tell the user to try when the board refuses or no frame comes:
// the hints every command that opens a board, sets it up or waits for a
// frame adds to the library's message.
#ifndef QOR_GRAB_HINTS_H
#define QOR_GRAB_HINTS_H

#include <cstdint>
#include <string>

#include "board_session.h"
#include "cli_options.h"

namespace qorgrab {

// A board or camera that is not there.
std::string listHint();
std::string noCameraHint(uint32_t camera);

// Whose time limit a wait ran under: --timeout, or the board's own wait
// time (a plain snap).
enum class WaitLimit { Timeout, BoardWaitTime };
// No frame ended in time.
std::string waitHint(const Options &options, WaitLimit limit);

// The board refused --window; `camera` is what it acquires without one.
std::string windowHint(const Window &window, const CameraGeometry &camera);

}  // namespace qorgrab

#endif
