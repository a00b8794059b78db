"""board.registers: a mapping by id and by name."""
from __future__ import annotations

import pytest

from qor_bitflow import Board, BFError, RegisterNotFound, simulator

SCRATCH, GAIN, BOARD_ID, MISSING, BEYOND_NAME_SEARCH = 64, 12, 0, 5, 4000


def test_read_and_write_by_name_in_any_case_and_by_id():
    with Board() as board:
        registers = board.registers
        assert registers["GAIN"] == registers["gain"] == registers[GAIN] == 0x100
        registers["Scratch"] = 0x1234  # SCRATCH (64) comes before Scratch (3100)
        assert registers[SCRATCH] == 0x1234
        assert registers.id("sCrAtCh") == SCRATCH
        assert registers.name(3100) == "Scratch" and registers.name(BOARD_ID) == "BOARD_ID"
        assert registers[BOARD_ID] == 16 << 16


def test_membership_by_id_and_name():
    with Board() as board:
        registers = board.registers
        assert GAIN in registers and "gain" in registers and BEYOND_NAME_SEARCH in registers
        for absent in (MISSING, "GAINS", "GAI", "EXTENDED_SCRATCH", -1, 2**32, 1.5, None, True):
            assert absent not in registers, absent


@pytest.mark.parametrize("key", [MISSING, "NO_SUCH_REGISTER"])
def test_a_missing_register_raises_a_key_error_that_is_a_bferror(key):
    with Board() as board:
        with pytest.raises(KeyError) as raised:
            board.registers[key]
        assert isinstance(raised.value, RegisterNotFound) and raised.value.name == "BF_E_REGISTER_UNSUPPORTED"
        assert board.registers.get(key, -7) == -7


def test_a_read_only_register_refuses_writes():
    with Board() as board:
        with pytest.raises(BFError) as raised:
            board.registers[BOARD_ID] = 1
        assert (raised.value.name, raised.value.function) == ("BF_E_REGISTER_WRITE", "BF_RegPoke")


@pytest.mark.parametrize(
    "action, error",
    [
        (lambda r: r.__setitem__(SCRATCH, 2**32), ValueError),
        (lambda r: r.__setitem__(SCRATCH, "1"), TypeError),
        (lambda r: r["GAIN\0"], ValueError),
        (lambda r: r["GAÏN"], ValueError),
        (lambda r: list(r), TypeError),
    ],
)
def test_bad_keys_and_values_are_refused_before_any_call(action, error):
    with Board() as board, simulator.journal() as calls:
        with pytest.raises(error):
            action(board.registers)
    assert len(calls) == 0
