"""Continuous grabs into one destination, iterated."""
from __future__ import annotations

import numpy as np
import pytest
from conftest import population
from test_snap import frame_number

from qor_bitflow import Board, simulator


def test_grab_yields_count_successive_frames_then_releases_the_destination():
    # Slow enough that each frame can be copied before the next overwrites it.
    simulator.load(population({"framePeriodMs": 20}))
    with Board() as board:
        numbers = []
        for frame in board.grab(count=5, timeout_ms=500):
            pixels = frame.copy()
            assert frame.index == 0 and frame.ended >= 1
            assert frame_number(pixels) == frame.number
            np.testing.assert_array_equal(pixels, simulator.expected_frame(frame.number, board.shape, 8, np.uint8))
            numbers.append(frame.number)
        assert len(numbers) == 5 and numbers == sorted(set(numbers)) and numbers[0] == 0
        assert simulator.live_objects().destinations == 0


def test_breaking_out_of_the_loop_stops_the_grab(fast_board):
    with Board() as board:
        for frame in board.grab(timeout_ms=500):
            if frame.number >= 2:
                break
        assert simulator.live_objects().destinations == 0
        assert board.snap(timeout_ms=500).shape == board.shape  # the board is free again


def test_an_exception_in_the_loop_leaves_nothing_behind(fast_board):
    with pytest.raises(ZeroDivisionError):
        with Board() as board, board.grab(timeout_ms=500) as frames:
            for frame in frames:
                frame.number / 0
    assert simulator.live_objects().total == 0


def test_reset_ends_a_grab(fast_board):
    with Board() as board:
        grab = board.grab(timeout_ms=500)
        next(grab)
        board.reset_acquisition()
        assert list(grab) == []
        assert grab.closed
