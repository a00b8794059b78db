"""Single frames: content, geometry and pixel types."""
from __future__ import annotations

import numpy as np
import pytest
from conftest import population

import qor_bitflow
from qor_bitflow import Board, simulator


def frame_number(frame: np.ndarray) -> int:
    return int.from_bytes(frame.reshape(-1).view(np.uint8)[:4].tobytes(), "little")


def test_snaps_are_new_arrays_of_successive_frames_matching_the_pattern(fast_board):
    with Board() as board:
        assert (board.shape, board.dtype, board.bit_depth) == ((480, 640), np.uint8, 8)
        first, second = board.snap(), board.snap()
    assert not np.shares_memory(first, second)
    assert frame_number(second) == frame_number(first) + 1
    for snap in (first, second):
        expected = simulator.expected_frame(frame_number(snap), (480, 640), 8, np.uint8)
        np.testing.assert_array_equal(snap, expected)


@pytest.mark.parametrize(
    "camera, dtype",
    [
        ({"width": 64, "lines": 48, "bitDepth": 12, "bytesPerPixel": 2}, np.uint16),
        ({"width": 32, "lines": 16, "bitDepth": 20, "bytesPerPixel": 4}, np.uint32),
        ({"width": 33, "lines": 7, "bitDepth": 7, "bytesPerPixel": 1}, np.uint8),
    ],
)
def test_pixel_types_follow_bytes_per_pixel(camera, dtype):
    simulator.load(population({**camera, "framePeriodMs": 1}))
    with Board() as board:
        snap = board.snap(timeout_ms=500)
    assert snap.dtype == dtype and snap.shape == (camera["lines"], camera["width"])
    expected = simulator.expected_frame(frame_number(snap), snap.shape, camera["bitDepth"], dtype)
    np.testing.assert_array_equal(snap, expected)


def test_expected_frame_agrees_with_the_simulators_own_pattern():
    frame = simulator.expected_frame(7, (5, 9), 3, np.uint8)
    for y, x in [(2, 4), (4, 8), (1, 5)]:
        assert frame[y, x] == simulator.pattern_value(x, y, 7, 3)


def test_three_bytes_per_pixel_is_refused_before_acquiring():
    simulator.load(population({"bitDepth": 24, "bytesPerPixel": 3}))
    with Board() as board:
        assert board.bytes_per_pixel == 3
        with simulator.journal() as calls, pytest.raises(ValueError, match="3 bytes per pixel"):
            board.snap()
        assert len(calls) == 0


def test_second_camera_changes_the_geometry():
    with Board(family=2, camera=1) as board:
        assert (board.width, board.lines, board.bit_depth, board.dtype) == (1024, 768, 12, np.uint16)
        board.select_camera(0)
        assert board.shape == (480, 640)


def test_a_snap_that_times_out_raises_bftimeout_and_the_next_one_works(fast_board):
    with Board() as board:
        board.trigger(qor_bitflow.Trigger.EXTERNAL)  # nothing fires the line
        with pytest.raises(qor_bitflow.BFTimeout) as raised:
            board.snap(timeout_ms=20)
        assert raised.value.name == "BF_E_SIGNAL_WAIT"
        board.trigger(qor_bitflow.Trigger.FREE_RUN)
        assert board.snap(timeout_ms=500).shape == board.shape


def test_snaps_after_untimed_ones_still_wait_for_their_own_frame(fast_board):
    with Board() as board:
        untimed = [frame_number(board.snap()) for _ in range(3)]
        timed = [frame_number(board.snap(timeout_ms=500)) for _ in range(3)]
    assert untimed + timed == list(range(6))


def test_closed_board_refuses_calls():
    board = Board()
    board.close()
    board.close()
    with pytest.raises(ValueError, match="closed"):
        board.snap()
    assert board.slot == -1
