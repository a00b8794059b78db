/*
 * Frames a camera loses before they reach the board: every Nth, and each
 * with a seeded chance. Which frames are lost depends only on the frame's
 * place since set-up, so a run is reproduced whatever its timing.
 */
#ifndef QOR_SIM_CID_LOST_FRAMES_H
#define QOR_SIM_CID_LOST_FRAMES_H

#include <cstdint>

#include "hash.h"
#include "model.h"

namespace bfsim {

// Keeps the drop decisions apart from the scene noise drawn from the same seed.
constexpr uint64_t kDropSalt = 0xD509'F4A3'0000'0000ull;

// Whether the camera loses frame `index` (0: the first since set-up).
inline bool cameraLoses(const CameraConfig &camera, uint64_t index)
{
    const CameraFaults &faults = camera.faults;
    if (faults.dropEvery != 0 && (index + 1) % faults.dropEvery == 0) return true;
    if (faults.dropProbability <= 0) return false;
    const uint64_t draw = mix(mix(kDropSalt ^ camera.source.seed) ^ index);
    return unitInterval(draw) < faults.dropProbability;
}

}  // namespace bfsim

#endif
