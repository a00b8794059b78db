"""A board, or what it runs, dropped without close() is released by reference
counting at once: the cyclic garbage collector is kept off in these tests,
so a reference cycle among the package's objects would leave the board open."""
from __future__ import annotations

import gc
from typing import Callable, Iterator, List

import pytest

from qor_bitflow import Board, simulator


@pytest.fixture(autouse=True)
def no_cyclic_collector(fast_board) -> Iterator[None]:
    gc.collect()  # what earlier tests left is not this test's business
    gc.disable()
    try:
        yield
    finally:
        gc.enable()


def open_only(held: List[object]) -> None:
    held.append(Board())


def with_registers_used(held: List[object]) -> None:
    board = Board()
    board.registers[64] = 1
    board.registers.get("GAIN")
    held.append(board)


def with_snap_destination(held: List[object]) -> None:
    board = Board()
    board.snap()
    held.append(board)


def with_running_chain_board_dropped_first(held: List[object]) -> None:
    board = Board()
    chain = board.chain(buffers=3)
    chain.start()
    chain.wait(500)
    held.extend([board, chain])


def with_running_chain_chain_dropped_first(held: List[object]) -> None:
    board = Board()
    chain = board.chain(buffers=3)
    chain.start()
    held.extend([chain, board])


def with_running_grab(held: List[object]) -> None:
    board = Board()
    grab = board.grab(timeout_ms=500)
    next(grab)
    held.extend([board, grab])


def with_unreferenced_chain(held: List[object]) -> None:
    board = Board()
    board.chain(buffers=2).start()  # the chain itself is dropped here
    held.append(board)


CASES: List[Callable[[List[object]], None]] = [
    open_only, with_registers_used, with_snap_destination, with_running_chain_board_dropped_first,
    with_running_chain_chain_dropped_first, with_running_grab, with_unreferenced_chain,
]


@pytest.mark.parametrize("make", CASES, ids=[c.__name__ for c in CASES])
def test_a_board_dropped_without_close_is_closed_at_once(make):
    held: List[object] = []
    make(held)
    assert simulator.live_objects().boards == 1
    while held:
        held.pop(0)  # in the order the case gave
    assert simulator.live_objects().total == 0
    with Board() as again:  # the same board opens again into the first slot
        assert again.slot == 0


def test_a_chain_that_is_still_held_keeps_its_board_open_until_it_is_dropped():
    board = Board()
    chain = board.chain(buffers=2)
    chain.start()
    registers = board.registers
    del board
    assert chain.wait(500).number == 0 and not chain.closed
    del chain
    assert simulator.live_objects().boards == 1  # the registers still need the board
    del registers
    assert simulator.live_objects().total == 0


def test_closing_a_board_closes_what_still_holds_it():
    board = Board()
    chain = board.chain(buffers=2)
    chain.start()
    registers = board.registers
    board.close()
    assert chain.closed and simulator.live_objects().total == 0
    with pytest.raises(ValueError, match="closed"):
        registers[64]
