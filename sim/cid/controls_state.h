/*
 * The controls' state of one open board: dropped at close, so every open
 * starts from the board's defaults.
 */
#ifndef QOR_SIM_CID_CONTROLS_STATE_H
#define QOR_SIM_CID_CONTROLS_STATE_H

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "controls.h"

namespace bfsim {

// The exposure timing generator as CiConExposureControlSet programmed it.
struct Timing {
    double periodMs = 0;
    double exposureMs = 0;
    double delayMs = 0;
    uint32_t mode = 0;
    uint32_t outputMask = 0;
};

// One encoder input's divider as CiEncoderDividerSet programmed it.
struct EncoderDivider {
    uint32_t divider = 1;
    uint32_t bothEdges = 0;
    uint32_t flags = 0;
};

constexpr uint32_t kEncoderCount = 2;
constexpr uint32_t kTrigParamCount = 3;

// A LUT is addressed by its type, bank and lane.
using LutKey = std::tuple<uint32_t, uint32_t, uint32_t>;

struct Controls {
    bool externalConnected = false;
    // Set by CiConVTrigModeSet; until then the camera's own mode applies.
    std::optional<uint32_t> trigMode;
    uint32_t trigParams[kTrigParamCount] = {0, 0, 0};
    std::map<LutKey, std::vector<uint16_t>> luts;
    std::optional<uint8_t> maskType;
    std::optional<Timing> timing;
    EncoderDivider encoders[kEncoderCount];
    uint32_t gpoutLevels = 0;
    std::map<uint32_t, uint32_t> registers;  // every register the board has
};

// Puts every register the board has at its starting value. Call under lock().
void resetRegisters(Board &board);

// The open board behind a handle and its controls, or null. Call under lock().
inline Board *controlledBoard(void *handle)
{
    Board *board = findBoard(handle);
    return board != nullptr && board->controls != nullptr ? board : nullptr;
}

}  // namespace bfsim

#endif
