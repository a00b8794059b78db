"""Failures of the simulated SDK surface as BFError with the status's name,
and leave nothing alive once the block that met them is left."""
from __future__ import annotations

import numpy as np
import pytest
from conftest import population

from qor_bitflow import Board, BFError, BFTimeout, simulator
from qor_bitflow.simulator import WAIT_TIMEOUT


def snap(board):
    board.snap()


def timed_snap(board):
    board.snap(timeout_ms=200)


def grab_one(board):
    next(board.grab(timeout_ms=200))


def chain_frame(board):
    with board.chain(buffers=3) as chain:
        chain.start()
        chain.wait(200)


def snap_then_reset(board):
    board.snap()  # the board resets the acquisition it has: the snap's
    board.reset_acquisition()


#: What an injected fault returns: waits time out, value answers say "no".
RESULTS = {"CiSignalWait": WAIT_TIMEOUT, "CiAqWaitDone": WAIT_TIMEOUT, "BFRegSupported": 0}

# (SDK function made to fail, its nth call, what the host does, expected name, expected class)
CASES = [
    ("CiAqSetup", 1, snap, "BF_E_ACQ_SETUP", BFError),
    ("CiAqCommand", 1, snap, "BF_E_SNAP", BFError),
    ("CiAqCommand", 1, timed_snap, "BF_E_SNAP", BFError),
    ("CiAqWaitDone", 1, snap, "BF_E_FRAME_WAIT", BFTimeout),
    ("CiSignalWait", 1, timed_snap, "BF_E_SIGNAL_WAIT", BFTimeout),
    ("CiAqCommand", 1, grab_one, "BF_E_GRAB", BFError),
    ("CiSignalWait", 1, grab_one, "BF_E_SIGNAL_WAIT", BFTimeout),
    ("CiRelQTabCreate", 2, chain_frame, "BF_E_REL_QTAB", BFError),
    ("CiPhysQTabCreate", 3, chain_frame, "BF_E_PHYS_QTAB", BFError),
    ("CiPhysQTabChainLink", 1, chain_frame, "BF_E_CHAIN_LINK", BFError),
    ("CiPhysQTabChainEngage", 1, chain_frame, "BF_E_CHAIN_ENGAGE", BFError),
    ("CiConDMACommand", 1, chain_frame, "BF_E_DMA_COMMAND", BFError),
    ("CiConAqCommand", 1, chain_frame, "BF_E_GRAB", BFError),
    ("CiSignalWait", 1, chain_frame, "BF_E_SIGNAL_WAIT", BFTimeout),
    ("CiAqCommand", 2, snap_then_reset, "BF_E_RESET_STOP", BFError),
    ("CiAqCommand", 3, snap_then_reset, "BF_E_RESET", BFError),
    ("CiBrdCamSel", 1, lambda b: b.select_camera(0), "BF_E_CAMERA_SELECT", BFError),
    ("CiLutWrite", 1, lambda b: b.load_lut(2, np.zeros(256, np.uint8)), "BF_E_LUT_WRITE", BFError),
    ("CiLutSetMask", 1, lambda b: b.mask_bits(), "BF_E_MASK_SET", BFError),
    ("CiConExposureControlSet", 1, lambda b: b.timing_generator(10, 1, 0, 0, 1), "BF_E_NTG_SETUP", BFError),
    ("CiEncoderDividerSet", 1, lambda b: b.encoder_divider(2), "BF_E_ENCODER_DIVIDER", BFError),
    ("CiRegGPOutGet", 1, lambda b: b.gpout, "BF_E_GPOUT_GET", BFError),
    ("CiRegGPOutSet", 1, lambda b: b.set_gpout(1, 1), "BF_E_GPOUT_SET", BFError),
    ("BFRegName", 1, lambda b: b.registers.name(64), "BF_E_REGISTER_NAME", BFError),
    ("BFRegPoke", 1, lambda b: b.registers.__setitem__(64, 1), "BF_E_REGISTER_WRITE", BFError),
    ("BFRegSupported", 1, lambda b: b.registers[64], "BF_E_REGISTER_UNSUPPORTED", KeyError),
]


@pytest.mark.parametrize("function, nth, action, name, kind", CASES, ids=[f"{c[0]}-{c[3]}" for c in CASES])
def test_an_sdk_failure_raises_the_status_and_leaves_nothing_alive(function, nth, action, name, kind):
    simulator.load(population({"framePeriodMs": 2}))
    with pytest.raises(kind) as raised:
        with Board() as board:
            simulator.inject_fault(function, nth=nth, result=RESULTS.get(function, simulator.ERR_ARGUMENT))
            action(board)
    assert raised.value.name == name
    assert name in str(raised.value)
    assert simulator.live_objects().total == 0


def test_open_failures():
    simulator.load(population())
    for family, fault, name in [(2, None, "BF_E_NO_BOARD"), (1, "CiBrdOpen", "BF_E_OPEN_FAILED"),
                                (1, "CiSysBrdFind", "BF_E_NO_BOARD")]:
        if fault:
            simulator.inject_fault(fault)
        with pytest.raises(BFError) as raised:
            Board(family=family)
        assert (raised.value.name, raised.value.function) == (name, "BF_Open")


def test_a_family_outside_0_to_3_is_refused_before_any_call():
    simulator.load(population())
    with simulator.journal() as calls:
        for family in (-1, 4, 7):
            with pytest.raises(ValueError, match="family"):
                Board(family=family)
    assert len(calls) == 0


def test_a_lut_cannot_load_while_a_grab_fills_its_destination(fast_board):
    with Board() as board, board.grab(timeout_ms=500):
        with pytest.raises(BFError) as raised:
            board.load_lut(2, np.zeros(256, np.uint8))
        assert raised.value.name == "BF_E_LUT_DESTINATION"


def test_a_camera_refused_at_open_closes_the_board_again():
    with pytest.raises(BFError, match="BF_E_CAMERA_SELECT"):
        Board(camera=7)
    assert simulator.live_objects().boards == 0


def test_a_board_that_refuses_to_close_stays_open_until_it_closes():
    board = Board()
    simulator.inject_fault("CiBrdClose")
    with pytest.raises(BFError, match="BF_E_CLOSE"):
        board.close()
    assert not board.closed
    board.close()
    assert board.closed


def test_an_overflow_during_a_snap_is_reset_and_counted(fast_board):
    with Board() as board:
        simulator.inject_fault("CiAqCommand")
        simulator.set_output("CiAqOverflowCheck", 1)
        board.snap()
        assert board.status().overflow_resets == 1
        simulator.inject_fault("CiAqCommand", nth=1, persistent=True)
        with pytest.raises(BFError, match="BF_E_OVERFLOW_RESET"):
            board.snap()
        simulator.clear_faults()
        simulator.clear_output("CiAqOverflowCheck")


def test_a_chain_that_cannot_release_a_buffer_is_released_on_the_next_try(fast_board):
    with Board() as board:
        chain = board.chain(buffers=2)
        simulator.inject_fault("CiPhysQTabFree")
        with pytest.raises(BFError, match="BF_E_QTAB_FREE"):
            chain.close()
        assert not chain.closed
        with pytest.raises(RuntimeError):
            board.snap()  # the chain is still in force
    assert chain.closed
