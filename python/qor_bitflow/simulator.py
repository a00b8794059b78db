"""Drive the simulated frame-grabber SDK from Python, for host tests.

When the qor_bitflow library runs on the simulated SDK (the ``Cid`` and
``BFD`` libraries of this project instead of the vendor's), this module
reaches the simulator's test interface in the very copy of ``Cid`` the
library uses, so what it sets up is what the library sees::

    from qor_bitflow import simulator
    simulator.load({"boards": [{"type": 16, "cameras": [{"framePeriodMs": 1}]}]})
    simulator.inject_fault("CiAqCommand", result=simulator.ERR_ARGUMENT)
    with simulator.journal() as calls:
        ...
    assert simulator.live_objects().total == 0
"""
from __future__ import annotations

import contextlib
import ctypes
import json
import os
import sys
import threading
from typing import Any, Dict, Iterator, List, NamedTuple, Optional, Sequence, Tuple, overload

import numpy as np
import numpy.typing as npt

from ._library import library

#: The names the simulated Cid library is known by, once loaded as a dependency.
CID_NAMES = ("Cid.dll",) if sys.platform == "win32" else ("libCid.so", "libCid.so.1")

# Failure results of the simulated SDK functions, for inject_fault.
ERR_HANDLE = 0x8101
ERR_ARGUMENT = 0x8102
ERR_BUSY = 0x8103
ERR_UNSUPPORTED = 0x8104
ERR_NOT_FOUND = 0x8105
ERR_READ_ONLY = 0x8106
WAIT_TIMEOUT = 0x8001
WAIT_CANCELLED = 0x8002

# Kinds of live objects, as bfsim_live_count counts them.
_OBJECT_KINDS = {"boards": 0, "signals": 1, "rel_qtabs": 2, "phys_qtabs": 3, "destinations": 4}
_ALL_OBJECTS = 99
#: The first four bytes of every simulated frame hold its number.
_FRAME_NUMBER_BYTES = 4


class SimulatorUnavailable(OSError):
    """The library in use does not run on the simulated SDK."""


class _Call(ctypes.Structure):
    _fields_ = [("function", ctypes.c_char * 32), ("argc", ctypes.c_int), ("args", ctypes.c_int64 * 12)]


class Call(NamedTuple):
    """One journaled SDK call: the function's name and its arguments as integers."""

    function: str
    args: Tuple[int, ...]


class LiveObjects(NamedTuple):
    """Simulated objects alive now, by kind, and all of them together."""

    boards: int
    signals: int
    rel_qtabs: int
    phys_qtabs: int
    destinations: int
    total: int


_PROTOTYPES: Dict[str, Tuple[Any, Tuple[Any, ...]]] = {
    "bfsim_reset": (None, ()),
    "bfsim_load_config": (ctypes.c_int, (ctypes.c_char_p,)),
    "bfsim_live_count": (ctypes.c_int, (ctypes.c_int,)),
    "bfsim_journal_enable": (None, (ctypes.c_int,)),
    "bfsim_journal_clear": (None, ()),
    "bfsim_journal_size": (ctypes.c_size_t, ()),
    "bfsim_journal_get": (ctypes.c_int, (ctypes.c_size_t, ctypes.POINTER(_Call))),
    "bfsim_fault": (None, (ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int32)),
    "bfsim_fault_clear": (None, ()),
    "bfsim_fire_external_trigger": (None, (ctypes.c_uint32, ctypes.c_uint32)),
    "bfsim_pattern_value": (ctypes.c_uint32, (ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32)),
    "bfsim_message_box_count": (ctypes.c_int, ()),
    "bfsim_set_output": (None, (ctypes.c_char_p, ctypes.c_uint32)),
    "bfsim_clear_output": (None, (ctypes.c_char_p,)),
}

_cid: Optional[ctypes.CDLL] = None
_lock = threading.Lock()


def _already_loaded(name: str) -> ctypes.CDLL:
    """``name`` as the process already has it loaded; never a second copy."""
    if sys.platform == "win32":
        kernel32 = ctypes.WinDLL("kernel32")
        kernel32.GetModuleHandleW.restype = ctypes.c_void_p  # a handle, not an int
        kernel32.GetModuleHandleW.argtypes = [ctypes.c_wchar_p]
        handle = kernel32.GetModuleHandleW(name)
        if not handle:
            raise OSError(f"{name} is not loaded")
        return ctypes.CDLL(name, handle=handle)
    return ctypes.CDLL(name, mode=os.RTLD_NOLOAD)


def _find_cid() -> ctypes.CDLL:
    used = library()  # the library loads Cid as its dependency
    for name in CID_NAMES:
        try:
            cid = _already_loaded(name)
        except OSError:
            continue
        for function, (restype, argtypes) in _PROTOTYPES.items():
            getattr(cid, function).restype = restype
            getattr(cid, function).argtypes = list(argtypes)
        return cid
    raise SimulatorUnavailable(
        f"the qor_bitflow library {used.path} does not run on the simulated SDK: none of "
        f"{', '.join(CID_NAMES)} is loaded with it"
    )


def _sim() -> ctypes.CDLL:
    global _cid
    with _lock:
        if _cid is None:
            _cid = _find_cid()
        return _cid


def available() -> bool:
    """True when the library in use runs on the simulated SDK."""
    try:
        _sim()
    except (SimulatorUnavailable, AttributeError):
        return False
    return True


def reset() -> None:
    """Closes every board, forgets faults, overrides and the journal, and loads the default population.

    Boards opened through ``qor_bitflow.Board`` must be closed first: their
    slots would otherwise outlive the simulated boards.
    """
    _sim().bfsim_reset()


def load(config: Dict[str, Any]) -> None:
    """Replaces the board population with ``config`` (the JSON population, as a dict).

    Raises ``ValueError`` when the simulator refuses it (the reason goes to stderr).
    """
    if not isinstance(config, dict):
        raise TypeError(f"a population is a dict, not {type(config).__name__}")
    if _sim().bfsim_load_config(json.dumps(config).encode("utf-8")) != 0:
        raise ValueError("the simulator refused the population (see stderr); it now has no boards")


def inject_fault(function: str, nth: int = 1, result: int = ERR_ARGUMENT, persistent: bool = False) -> None:
    """Makes the ``nth`` next call of SDK ``function`` return ``result``; with
    ``persistent``, every call from the ``nth`` on does. Functions that answer
    a value (``BFRegSupported``, ``BFRegPeek``…) answer ``result`` instead."""
    if not isinstance(function, str) or not function:
        raise TypeError("function is the SDK function's name")
    if isinstance(nth, bool) or not isinstance(nth, int) or nth < 1:
        raise ValueError(f"nth counts calls from 1, not {nth!r}")
    if isinstance(result, bool) or not isinstance(result, int) or not -(2**31) <= result < 2**31:
        raise ValueError(f"result must be a 32-bit integer, not {result!r}")
    _sim().bfsim_fault(function.encode("ascii"), nth, 1 if persistent else 0, result)


def clear_faults() -> None:
    """Forgets every injected fault."""
    _sim().bfsim_fault_clear()


def live_objects() -> LiveObjects:
    """How many simulated objects (open boards, signals, QTabs, destinations) are alive."""
    sim = _sim()
    counts = {name: sim.bfsim_live_count(kind) for name, kind in _OBJECT_KINDS.items()}
    return LiveObjects(total=sim.bfsim_live_count(_ALL_OBJECTS), **counts)


def fire_external_trigger(board_type: int, number: int = 0) -> None:
    """Fires the external trigger line of board ``number`` of type code ``board_type`` (16, 32, 64, 208)."""
    _sim().bfsim_fire_external_trigger(board_type, number)


def set_output(function: str, value: int) -> None:
    """Makes SDK ``function`` write ``value`` through its output pointer until
    ``clear_output`` (``CiAqOverflowCheck``, ``CiConAqStatus``,
    ``CiConGetFrameCount``, ``CiLutSetMask``, ``BFQTabModeRequest``, ``CiSignalWait``)."""
    _sim().bfsim_set_output(function.encode("ascii"), value)


def clear_output(function: str) -> None:
    """Lets SDK ``function`` write its own output again."""
    _sim().bfsim_clear_output(function.encode("ascii"))


def message_box_count() -> int:
    """Messages the library showed to the user since the last reset."""
    return int(_sim().bfsim_message_box_count())


class Journal(Sequence[Call]):
    """The SDK calls made inside ``journal()``'s block, in order; read afresh while the block runs."""

    def __init__(self) -> None:
        self._calls: List[Call] = []
        self._recording = True

    def _collect(self) -> None:
        if not self._recording:
            return
        sim = _sim()
        record = _Call()
        for index in range(len(self._calls), sim.bfsim_journal_size()):
            if sim.bfsim_journal_get(index, ctypes.byref(record)) != 0:
                break
            name = record.function.decode("ascii", errors="replace")
            self._calls.append(Call(name, tuple(record.args[: record.argc])))

    def _finish(self) -> None:
        self._collect()
        self._recording = False

    def functions(self) -> List[str]:
        """The names of the calls, in order."""
        self._collect()
        return [call.function for call in self._calls]

    @overload
    def __getitem__(self, index: int) -> Call: ...

    @overload
    def __getitem__(self, index: slice) -> Sequence[Call]: ...

    def __getitem__(self, index: Any) -> Any:
        self._collect()
        return self._calls[index]

    def __len__(self) -> int:
        self._collect()
        return len(self._calls)

    def __repr__(self) -> str:
        self._collect()
        return f"Journal({self._calls!r})"


@contextlib.contextmanager
def journal() -> Iterator[Journal]:
    """Records every SDK call made inside the block: ``with journal() as calls: ...``."""
    sim = _sim()
    sim.bfsim_journal_clear()
    sim.bfsim_journal_enable(1)
    calls = Journal()
    try:
        yield calls
    finally:
        sim.bfsim_journal_enable(0)
        calls._finish()
        sim.bfsim_journal_clear()


def pattern_value(x: int, y: int, frame: int, bit_depth: int) -> int:
    """The simulator's test-pattern value at pixel (``x``, ``y``) of frame ``frame``, before any LUT."""
    return int(_sim().bfsim_pattern_value(x, y, frame, bit_depth))


def expected_frame(frame: int, shape: Tuple[int, int], bit_depth: int, dtype: npt.DTypeLike) -> npt.NDArray[np.unsignedinteger[Any]]:
    """The frame the simulator delivers as number ``frame`` (no LUT): the moving
    diagonal ``(x + y + frame) mod 2**bit_depth``, with the frame number
    written little-endian over the first four bytes."""
    lines, width = shape
    ramp = (np.arange(lines, dtype=np.uint64)[:, None] + np.arange(width, dtype=np.uint64)[None, :] + frame)
    pixels = (ramp % (1 << bit_depth)).astype(dtype)
    stamp = np.frombuffer(int(frame % 2**32).to_bytes(_FRAME_NUMBER_BYTES, "little"), dtype=np.uint8)
    flat = pixels.reshape(-1).view(np.uint8)
    flat[:_FRAME_NUMBER_BYTES] = stamp
    return pixels
