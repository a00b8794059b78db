"""Status names and sentences against the header, and what a BFError says."""
from __future__ import annotations

import re
from typing import Dict

import pytest
from conftest import HEADER

from qor_bitflow import BFError, BFTimeout, RegisterNotFound, Status, status_name, status_text
from qor_bitflow._status import STATUS_TEXT
from qor_bitflow.errors import check, error_for


def switch_table(function: str) -> Dict[str, str]:
    """The enumerator -> string cases of one of the header's status switches."""
    text = HEADER.read_text()
    body = text[text.index(f"{function}(int32_t status)") :]
    body = body[: body.index("\n}\n")]
    return dict(re.findall(r'case (\w+):\s*return "((?:[^"\\]|\\.)*)";', body))


def header_codes() -> Dict[str, int]:
    return {name: int(code) for name, code in re.findall(r"\b(BF_(?:OK|E_\w+)) = (\d+)", HEADER.read_text())}


def test_every_header_status_is_a_member_with_the_same_code():
    codes = header_codes()
    assert len(codes) == 48  # BF_OK, 46 failures, and BF_E_NTG_SETUP sharing 5037
    for name, code in codes.items():
        assert Status[name.replace("BF_E_", "").replace("BF_", "")] == code


def test_texts_are_the_header_sentences():
    texts = switch_table("bf_status_text")
    codes = header_codes()
    assert {codes[name]: text for name, text in texts.items()} == STATUS_TEXT
    assert status_text(4999) == "Unknown status."


def test_names_are_those_of_bf_status_name():
    names = switch_table("bf_status_name")
    for enumerator, spelled in names.items():
        code = header_codes()[enumerator]
        if "/" in spelled:  # one code, two meanings: the function tells them apart
            assert spelled == f"{status_name(code, 'BF_Grab')}/{status_name(code, 'BF_NTGSetup')}"
        else:
            assert status_name(code, "BF_Open") == spelled
    assert status_name(4999, "BF_Open") == "BF_E_UNKNOWN"


@pytest.mark.parametrize("status", sorted(set(STATUS_TEXT) - {0}))
def test_every_failure_raises_bferror_naming_status_function_and_sentence(status):
    with pytest.raises(BFError) as raised:
        check(status, "BF_Wait")
    error = raised.value
    assert (error.status, error.function) == (status, "BF_Wait")
    assert error.name == status_name(status, "BF_Wait")
    assert str(error) == f"BF_Wait returned {status} ({error.name}): {STATUS_TEXT[status]}"


@pytest.mark.parametrize(
    "status, kind",
    [(Status.SIGNAL_WAIT, BFTimeout), (Status.FRAME_WAIT, BFTimeout), (Status.REGISTER_UNSUPPORTED, RegisterNotFound),
     (Status.SNAP, BFError)],
)
def test_wait_failures_and_missing_registers_have_their_own_classes(status, kind):
    error = error_for(status, "BF_X")
    assert type(error) is kind
    if kind is RegisterNotFound:
        assert isinstance(error, KeyError)

