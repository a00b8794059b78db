"""Triggers, lookup tables, timing generator, encoder, outputs, status."""
from __future__ import annotations

import numpy as np
import pytest
from conftest import fire_until_frame, population
from test_snap import frame_number

from qor_bitflow import Board, BFError, BFTimeout, LutKind, Trigger, simulator


def test_software_each_frame_mode_fires_for_every_frame_waited_for(fast_board):
    with Board() as board:
        board.trigger(Trigger.SOFTWARE_EACH_FRAME)
        assert board.trigger_mode is Trigger.SOFTWARE_EACH_FRAME
        with simulator.journal() as calls:
            snap = board.snap()
        assert "CiConSwTrig" in calls.functions()
        assert frame_number(snap) == 0
        with board.chain(buffers=2) as chain:
            chain.start()
            assert [chain.wait(500).index for _ in range(3)] == [0, 1, 0]


def test_software_mode_delivers_frames_only_when_the_host_fires(fast_board):
    with Board() as board:
        board.trigger(Trigger.SOFTWARE)
        with simulator.journal() as calls:
            with pytest.raises(RuntimeError, match="software_trigger"):
                board.snap()
        assert len(calls) == 0
        with board.chain(buffers=2) as chain:
            chain.start()
            with simulator.journal() as calls:
                with pytest.raises(BFTimeout):
                    chain.wait(timeout_ms=30)
            assert "CiConSwTrig" not in calls.functions()
            numbers = []
            for _ in range(2):
                board.software_trigger()
                numbers.append(chain.wait(500).number)
            assert numbers == [0, 1]
        with board.grab(timeout_ms=30) as grab:
            with pytest.raises(BFTimeout):
                grab.wait()
            board.software_trigger()
            assert grab.wait(500).number == 0


def test_external_trigger_frames_come_when_the_line_fires(fast_board):
    with Board() as board:
        board.trigger(1)  # the C value
        with board.grab() as grab:
            assert fire_until_frame(grab.wait).number == 0
        board.trigger(Trigger.FREE_RUN)


def test_a_board_that_refuses_external_triggering_raises_trigger_mode():
    with Board(family=3) as board:  # the R64 board refuses the triggered mode
        with pytest.raises(BFError) as raised:
            board.trigger(Trigger.EXTERNAL)
        assert (raised.value.name, raised.value.function) == ("BF_E_TRIGGER_MODE", "BF_TriggerMode")
        assert board.trigger_mode is Trigger.FREE_RUN
        assert simulator.message_box_count() == 1


def inverting(kind: LutKind, depth: int) -> np.ndarray:
    from qor_bitflow.board import LUT_TABLES

    entries, dtype = LUT_TABLES[kind]
    return ((2**depth - 1) - (np.arange(entries) % 2**depth)).astype(dtype)


def test_a_loaded_lut_applies_to_the_next_snaps(fast_board):
    with Board() as board:
        board.snap()  # a snap destination is registered: the table must still load
        board.load_lut(LutKind.BYTES_ALL_LANES, inverting(LutKind.BYTES_ALL_LANES, 8))
        snap = board.snap()
    expected = 255 - simulator.expected_frame(0, snap.shape, 8, np.uint8)
    np.testing.assert_array_equal(snap.reshape(-1)[4:], expected.reshape(-1)[4:])


def test_a_16_bit_lut_on_a_12_bit_camera():
    simulator.load(population({"width": 64, "lines": 8, "bitDepth": 12, "bytesPerPixel": 2, "framePeriodMs": 1}))
    with Board() as board:
        board.load_lut(LutKind.WORDS_4096, inverting(LutKind.WORDS_4096, 12))
        snap = board.snap()
    expected = 4095 - simulator.expected_frame(0, snap.shape, 12, np.uint16)
    np.testing.assert_array_equal(snap.reshape(-1)[2:], expected.reshape(-1)[2:])


@pytest.mark.parametrize(
    "kind, table, error",
    [
        (LutKind.BYTES_LANE_0, np.zeros(255, np.uint8), ValueError),
        (LutKind.BYTES_LANE_0, np.zeros(256, np.uint16), TypeError),
        (LutKind.WORDS_4096, np.zeros(4096, np.uint8), TypeError),
        (LutKind.WORDS_32768, np.zeros(4096, np.uint16), ValueError),
        (LutKind.WORDS_4096, np.zeros((64, 64), np.uint16), ValueError),
        (LutKind.BYTES_ALL_LANES, list(range(256)), TypeError),
        (7, np.zeros(256, np.uint8), ValueError),
    ],
)
def test_lut_tables_are_checked_before_any_call(kind, table, error):
    with Board() as board, simulator.journal() as calls:
        with pytest.raises(error):
            board.load_lut(kind, table)
    assert len(calls) == 0


def test_mask_bits_and_the_board_without_luts():
    simulator.load({"boards": [{"type": 16, "model": 4142, "cameras": [{}]}]})
    with Board() as board:
        for action, name in [(board.mask_bits, "BF_E_MASK_UNSUPPORTED"),
                             (lambda: board.load_lut(2, np.zeros(256, np.uint8)), "BF_E_LUT_UNSUPPORTED")]:
            with pytest.raises(BFError) as raised:
                action()
            assert raised.value.name == name


def test_timing_generator_and_encoder_reach_the_board_unchanged():
    with Board() as board, simulator.journal() as calls:
        board.timing_generator(10.5, 2.25, 0.0, 1, 3)
        board.encoder_divider(4, encoder=1, both_edges=True)
    exposure, divider = calls[0], calls[1]
    assert exposure.function == "CiConExposureControlSet" and exposure.args[1:] == (10, 2, 0, 1, 4)
    assert divider.function == "CiEncoderDividerSet" and divider.args[1:] == (4, 1, 1, 0)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda b: b.trigger(4), ValueError),
        (lambda b: b.trigger("ext"), TypeError),
        (lambda b: b.timing_generator(float("nan"), 1, 0, 0, 1), ValueError),
        (lambda b: b.timing_generator(1, 1, 0, 0, 33), ValueError),
        (lambda b: b.encoder_divider(0), ValueError),
        (lambda b: b.set_gpout(2**32, 0), ValueError),
        (lambda b: b.snap(timeout_ms=1.5), TypeError),
    ],
)
def test_control_arguments_are_checked_before_any_call(call, error):
    with Board() as board, simulator.journal() as calls:
        with pytest.raises(error):
            call(board)
    assert len(calls) == 0


def test_outputs_read_back_what_was_set():
    with Board() as board:
        board.set_gpout(0xF, 0x5)
        board.set_gpout(0x2, 0x2)
        assert board.gpout == 0x7


def test_status_reports_a_busy_grab_and_its_frames(fast_board):
    with Board() as board:
        assert board.status() == (0, False, 0)
        with board.chain(buffers=2) as chain:
            chain.start()
            chain.wait(500)
            status = board.status()
            assert status.busy and status.frame_count >= 1 and status.overflow_resets == 0
