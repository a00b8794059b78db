#include "cli_options.h"

namespace qorgrab {

const char *usageText()
{
    return R"(qor-grab: acquire frames and drive board controls through qor_bitflow.

Usage: qor-grab COMMAND [OPERANDS] [OPTIONS]

Boards
  list                     Open every board of every family (0..3; only F with
                           --family F) in turn and print slot, family, board
                           number, width, lines, bit depth, bytes per pixel and
                           camera value; then close them.

Acquisition (frames are written as binary PGM when --out is given)
  snap                     Snap frames one at a time into one destination.
  grab                     Grab continuously into one destination, waiting for
                           each end of frame.
  chain                    Grab into a chain of --buffers buffers filled in turn.

Board controls (each opens the board, acts, prints the result, closes)
  reg get ID               Read register ID.
  reg set ID VALUE         Write register ID, then read it back.
  reg name ID              Print the name of register ID.
  reg find NAME            Print the id of the register named NAME (any case).
  ntg PERIOD EXPOSURE DELAY MODE BIT
                           Program the exposure timing generator: period,
                           exposure and delay in ms, mode, output bit (from 1).
  encdiv DIVIDER ENCODER BOTHEDGES
                           Divide encoder ENCODER's pulses by DIVIDER, counting
                           both edges when BOTHEDGES is not 0.
  gpout get                Print the general-purpose output levels.
  gpout set MASK LEVELS    Set the outputs in MASK to LEVELS, then read back.
  reset                    Register a destination, stop and reset its
                           acquisition, release it.
  status                   Print overflow resets, acquisition status and frame
                           count.

Options
  --family F       Board family: 0 (type 208), 1 (type 16), 2 (type 32),
                   3 (type 64). Default 1.
  --board N        Board number within the family. Default 0.
  --camera N       Select camera N before anything else (list, snap, grab,
                   chain; list: on every board it opens).
  --timeout MS     Longest wait for one end of frame, in ms. Default 2000.
                   (A plain snap waits as long as the board's own wait time.)
  --frames N       Frames to acquire. Default 1 for snap, 10 for grab and chain.
  --buffers K      Buffers in the chain (chain only). Default 4.
  --out DIR        Write each frame to DIR/frame_NNNNNN.pgm (DIR is created if
                   missing): 8-bit PGM for 1 byte per pixel, 16-bit big-endian
                   PGM otherwise, maxval 2^depth-1. NNNNNN counts every frame
                   the board ended, so missed frames leave gaps. Nothing is
                   written without --out.
  --trigger MODE   ext: frames wait for the external trigger line;
                   sw:  frames wait for a trigger, fired by software per frame;
                   off: disconnect the external trigger.
                   Without it the board's trigger set-up is left as it is.
  --lut KIND       invert: load an inverting lookup table for the bit depth;
                   mask:   let the board choose its bit mask for the depth.
                   Applies to snap and grab (a chain acquires without LUT).
  --window WxL     Acquire a window of W pixels by L lines (engine 0).
  --help, -h       Show this text.

Numbers may be decimal or hex (0x...). Progress (frames and frames/s) goes to
stderr on long runs; the summary (frames, missed frames, overflow resets,
frames/s) to stdout.

Exit status: 0 on success; 1 when a library call fails (the message names the
function and its status) or a file cannot be written; 2 on a usage error.
)";
}

}  // namespace qorgrab
