/*
 * Test support: whether a host's buffer holds a given frame of a simulated
 * camera, asked of the simulator's own checker so every suite holds frames
 * to the same source the board renders.
 */
#ifndef QOR_TESTS_FRAME_CHECK_H
#define QOR_TESTS_FRAME_CHECK_H

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bfsim.h"

namespace qortest {

// The board that suites load their own single-board population for.
constexpr uint32_t kCheckedBoardType = 16;

// The frame number the board stamps over a frame's first four bytes.
uint32_t frameStamp(const void *frame);

// A frame of `width` x `lines` pixels of `bytesPerPixel` bytes, lines packed
// one after the other, at the camera's depth; through `lut` (value -> stored
// value) when not null. The format keeps a pointer into `lut`.
bfsim_frame_format packedFrame(uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                               const std::vector<uint32_t> *lut = nullptr);

// Success when `frame` holds frame number `f` of camera `camera` of board
// (type, number) of the loaded population: its stamp and every pixel.
// Otherwise the first difference.
::testing::AssertionResult holdsFrame(const void *frame, const bfsim_frame_format &format, uint32_t f,
                                      uint32_t type = kCheckedBoardType, uint32_t number = 0,
                                      uint32_t camera = 0);

}  // namespace qortest

#endif
