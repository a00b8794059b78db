/*
 * A board's construction and destruction, out of line so that the engine's
 * and the controls' state are complete where they are destroyed.
 */
#include "acquisition.h"
#include "controls_state.h"
#include "model.h"

namespace bfsim {

Board::Board() = default;
Board::~Board() = default;

}  // namespace bfsim
