"""qor_bitflow.simulator drives the very simulator the library runs on."""
from __future__ import annotations

import pytest
from conftest import population

from qor_bitflow import Board, BFError, simulator


def test_the_simulator_is_the_one_the_library_uses():
    assert simulator.available()
    assert simulator.live_objects().boards == 0
    with Board() as board:
        assert simulator.live_objects().boards == 1
        board.snap()
        live = simulator.live_objects()
        assert (live.destinations, live.signals) == (1, 1)
        assert live.total == live.boards + live.signals + live.destinations


def test_a_loaded_population_is_what_boards_open_on():
    simulator.load({"boards": [{"type": 32, "cameras": [{"width": 100, "lines": 10}]}]})
    with Board(family=2) as board:
        assert board.shape == (10, 100)
    with pytest.raises(BFError, match="BF_E_NO_BOARD"):
        Board(family=1)


@pytest.mark.parametrize("config", [{"boards": [{"cameras": [{}]}]}, {"boards": [{"type": 16, "colour": 1}]}])
def test_a_refused_population_raises_and_leaves_no_boards(config):
    with pytest.raises(ValueError):
        simulator.load(config)
    with pytest.raises(BFError, match="BF_E_NO_BOARD"):
        Board()


def test_journal_records_the_calls_of_its_block_in_order():
    with Board() as board:
        board.registers[64] = 7
        with simulator.journal() as calls:
            assert board.registers[64] == 7
            assert calls.functions() == ["BFRegSupported", "BFRegPeek"]
            board.set_gpout(3, 1)
        board.set_gpout(3, 0)  # after the block: not recorded
    assert calls.functions() == ["BFRegSupported", "BFRegPeek", "CiRegGPOutSet"]
    assert calls[2].args[1:] == (3, 1)
    assert calls[-1] == calls[2]


def test_faults_fire_on_the_nth_call_once_or_for_good():
    with Board() as board:
        simulator.inject_fault("CiRegGPOutSet", nth=2)
        board.set_gpout(1, 1)
        with pytest.raises(BFError, match="BF_E_GPOUT_SET"):
            board.set_gpout(1, 1)
        board.set_gpout(1, 1)
        simulator.inject_fault("CiRegGPOutSet", persistent=True)
        for _ in range(3):
            with pytest.raises(BFError):
                board.set_gpout(1, 1)
        simulator.clear_faults()
        board.set_gpout(1, 1)


def test_reset_restores_the_default_population():
    simulator.load(population(board_type=64))
    simulator.reset()
    with Board(family=2, camera=1) as board:
        assert board.bit_depth == 12
