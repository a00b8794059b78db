// Frames the camera lost before the host could see them. The SDK's own
// functions do not count them; the simulated SDK does, through an optional
// function of its own that is looked up in the loaded Cid at run time, so
// the same program runs unchanged on a real SDK.
#ifndef QOR_GRAB_CAMERA_LOSSES_H
#define QOR_GRAB_CAMERA_LOSSES_H

#include <cstdint>
#include <optional>

namespace qorgrab {

// Frames lost by the camera of the open board `number` of board-type code
// `typeCode` since it was opened (dropped, or not written by the end of
// their frame time); nothing when the loaded SDK cannot tell.
std::optional<uint64_t> framesLostByCamera(uint32_t typeCode, uint32_t number);

}  // namespace qorgrab

#endif
