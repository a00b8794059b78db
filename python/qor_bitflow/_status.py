"""Status codes of the library and the sentences that explain them.

The texts are those of ``bf_status_text()`` in ``include/qor_bitflow.h``, held
here because an installed package has no header to read; a test keeps the two
in step, and the names in step with ``bf_status_name()``.
"""
from __future__ import annotations

import enum
from typing import Dict


class Status(enum.IntEnum):
    """Every status the library returns, named as in the C header without ``BF_E_``.

    5037 has two names: ``CHAIN_REQUIRED`` from ``BF_Grab``/``BF_Wait`` and
    ``NTG_SETUP`` from ``BF_NTGSetup`` (an alias of the first).
    """

    OK = 0
    NO_BOARD = 5000
    OPEN_FAILED = 5001
    SLOT_NOT_OPEN = 5002
    ALLOC_FAILED = 5003
    TRIGGER_MODE = 5004
    DESTINATION_ACTIVE = 5005
    CAMERA_SELECT = 5006
    LUT_DESTINATION = 5007
    LUT_UNSUPPORTED = 5008
    LUT_TOO_SHORT = 5009
    LUT_KIND = 5010
    LUT_WRITE = 5011
    NULL_DESTINATION = 5012
    BYTES_PER_PIXEL = 5013
    ACQ_SETUP = 5014
    NO_ACQUISITION = 5015
    OVERFLOW_RESET = 5016
    SNAP = 5017
    FRAME_WAIT = 5018
    GRAB = 5019
    SIGNAL_WAIT = 5020
    CLOSE = 5021
    RESET_STOP = 5022
    RESET = 5023
    MASK_UNSUPPORTED = 5024
    MASK_SET = 5025
    BUFFER_COUNT = 5026
    NULL_BUFFER_LIST = 5027
    QTAB_MEMORY = 5028
    REL_QTAB = 5029
    PHYS_QTAB = 5030
    CHAIN_LINK = 5031
    CHAIN_ENGAGE = 5032
    DMA_COMMAND = 5033
    QTAB_FREE = 5034
    CHAIN_ACTIVE = 5035
    NO_CHAIN = 5036
    CHAIN_REQUIRED = 5037
    NTG_SETUP = 5037
    ENCODER_DIVIDER = 5038
    GPOUT_GET = 5039
    GPOUT_SET = 5040
    ENGINE = 5041
    FRAME_SIZE = 5042
    REGISTER_UNSUPPORTED = 5043
    REGISTER_WRITE = 5044
    REGISTER_NAME = 5045


#: One sentence for people per status.
STATUS_TEXT: Dict[int, str] = {
    0: "Success.",
    5000: "No board of the requested family is present, or the board number was not found.",
    5001: "The board could not be opened, or all ten slots are in use.",
    5002: "The slot holds no open board; open one with BF_Open first.",
    5003: "The buffer could not be allocated: the size is not positive or memory ran out.",
    5004: "The trigger mode was refused: the board rejected it, or a grab was asked for in one-shot mode with the external trigger on.",
    5005: "The camera cannot change while a destination is registered; call BF_Cleanup first.",
    5006: "The board refused the camera number.",
    5007: "A lookup table cannot be loaded while a destination is registered; call BF_Cleanup first.",
    5008: "This board model has no lookup table.",
    5009: "The lookup table is shorter than its kind requires.",
    5010: "The lookup-table kind is outside 0 to 6.",
    5011: "The board refused the lookup table.",
    5012: "The destination buffer pointer is null.",
    5013: "The camera delivers 3 bytes per pixel, which is not supported.",
    5014: "The board refused the destination, or the frame does not fit in 32 bits.",
    5015: "Nothing is set up to acquire into; call BF_Setup or BF_BufferSetup first.",
    5016: "The board overflowed and the reset that recovers from it failed.",
    5017: "The board refused the snap command.",
    5018: "Waiting for the snapped frame failed or timed out.",
    5019: "The board refused the grab command.",
    5020: "No frame ended within the time-out, or the wait was cancelled.",
    5021: "The board refused to close; the slot stays open.",
    5022: "The stop that begins an acquisition reset failed.",
    5023: "The board refused the acquisition reset.",
    5024: "This board model has no bit mask.",
    5025: "The board refused the bit mask.",
    5026: "A buffer chain needs at least one buffer.",
    5027: "The buffer list pointer is null.",
    5028: "There is no memory for the buffer chain's tables.",
    5029: "The board refused a chain buffer (relative QTab), or the buffer size does not fit in 32 bits.",
    5030: "The board could not map a chain buffer (physical QTab).",
    5031: "The chain's buffers could not be linked.",
    5032: "The board could not engage the buffer chain.",
    5033: "The board refused to start the chain's DMA.",
    5034: "A chain buffer could not be released; the chain stays in force, so call BF_BufferCleanup again.",
    5035: "A buffer chain is in force; release it with BF_BufferCleanup.",
    5036: "No buffer chain is in force.",
    5037: "A chain was asked for but none is in force (from BF_NTGSetup: the board refused the timing set-up).",
    5038: "The board refused the encoder divider.",
    5039: "The general-purpose outputs could not be read.",
    5040: "The general-purpose outputs could not be set.",
    5041: "The acquisition engine number is above 1.",
    5042: "The board refused the frame size.",
    5043: "No such register on this board (by name: no register has that name).",
    5044: "The board refused the register write.",
    5045: "The register's name could not be read.",
}

UNKNOWN_TEXT = "Unknown status."

#: The one function whose 5037 means the timing generator's refusal.
_NTG_FUNCTION = "BF_NTGSetup"


def status_name(status: int, function: str = "") -> str:
    """The C enumerator that spells ``status`` as ``function`` returned it.

    5037 is ``BF_E_NTG_SETUP`` from ``BF_NTGSetup`` and ``BF_E_CHAIN_REQUIRED``
    from any other function; a code the library does not know is ``BF_E_UNKNOWN``.
    """
    if status == Status.NTG_SETUP and function == _NTG_FUNCTION:
        return "BF_E_NTG_SETUP"
    try:
        member = Status(status)
    except ValueError:
        return "BF_E_UNKNOWN"
    return "BF_OK" if member is Status.OK else "BF_E_" + member.name


def status_text(status: int) -> str:
    """The sentence that explains ``status`` ("Unknown status." for a code the library does not know)."""
    return STATUS_TEXT.get(status, UNKNOWN_TEXT)
