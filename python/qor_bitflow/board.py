"""A frame-grabber board opened through the library: geometry, snaps,
grabs, buffer chains, controls and registers."""
from __future__ import annotations

import ctypes
import enum
from typing import Any, Dict, NamedTuple, Optional, Tuple, Union

import numpy as np

from . import _arguments
from ._library import functions
from ._session import Session, Trigger
from .acquisition import DEFAULT_TIMEOUT_MS, DRAIN_TIMEOUT_MS, Chain, Grab, Pixels, aligned_frame, timeout_value
from .errors import check
from .registers import Registers

#: numpy's pixel type for each number of bytes per pixel the library supports.
PIXEL_TYPES: Dict[int, "np.dtype[Any]"] = {1: np.dtype(np.uint8), 2: np.dtype(np.uint16), 4: np.dtype(np.uint32)}
#: The family codes ``BF_Open`` knows: type codes 208, 16, 32 and 64.
FAMILIES = range(0, 4)


class LutKind(enum.IntEnum):
    """The seven lookup-table kinds of ``Board.load_lut``."""

    WORDS_4096 = 0
    WORDS_32768 = 1
    BYTES_ALL_LANES = 2
    BYTES_LANE_0 = 3
    BYTES_LANE_1 = 4
    BYTES_LANE_2 = 5
    BYTES_LANE_3 = 6


#: Entries and entry type of each kind's table.
LUT_TABLES: Dict[LutKind, Tuple[int, "np.dtype[Any]"]] = {
    LutKind.WORDS_4096: (4096, np.dtype(np.uint16)),
    LutKind.WORDS_32768: (32768, np.dtype(np.uint16)),
    **{kind: (256, np.dtype(np.uint8)) for kind in list(LutKind)[2:]},
}


class Geometry(NamedTuple):
    """What the board's current camera delivers."""

    bit_depth: int
    bytes_per_pixel: int
    width: int
    lines: int


class BoardStatus(NamedTuple):
    """``Board.status()``: overflow resets so far, whether an acquisition is busy, the frame count."""

    overflow_resets: int
    busy: bool
    frame_count: int


class Board:
    """One board of a family, opened on construction.

    ``Board(family=1, board=0, camera=None)`` opens board number ``board`` of
    ``family`` (0 to 3: type codes 208, 16, 32, 64) and, when ``camera`` is
    given, selects that camera. Use it as a context manager, or call
    ``close()``: closing stops and releases whatever acquisition is running.
    Like the library, a board serves one thread at a time.
    """

    def __init__(self, family: int = 1, board: int = 0, camera: Optional[int] = None) -> None:
        self._session: Optional[Session] = None
        family = _arguments.integer(family, "family", FAMILIES.start, FAMILIES.stop - 1)
        number = _arguments.uint32(board, "board")
        if camera is not None:
            camera = _arguments.uint32(camera, "camera")
        bf = functions()
        self._family = family
        self._number = number
        depth, per_pixel, width, lines = (ctypes.c_uint32() for _ in range(4))
        slot = ctypes.c_int32(-1)
        check(bf.BF_Open(None, ctypes.byref(depth), ctypes.byref(per_pixel), ctypes.byref(width),
                         ctypes.byref(lines), number, family, ctypes.byref(slot)), "BF_Open")
        # The session closes the board when its last holder is dropped.
        self._session = Session(bf, slot.value)
        self._registers = Registers(self._session)
        self._geometry = Geometry(depth.value, per_pixel.value, width.value, lines.value)
        if camera is not None:
            try:
                self.select_camera(camera)
            except BaseException:
                self.close()
                raise

    # ---- Life cycle --------------------------------------------------------

    @property
    def closed(self) -> bool:
        """True once the board is closed (or never opened)."""
        return self._session is None or self._session.closed

    def close(self) -> None:
        """Stops and releases any acquisition, then closes the board; closing twice does nothing."""
        if self._session is not None:
            self._session.close()

    def __enter__(self) -> "Board":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        where = "closed" if self.closed else f"slot {self.slot}"
        return f"<qor_bitflow.Board family={self._family} board={self._number} {where}>"

    def _functions(self) -> ctypes.CDLL:
        return self._open().functions()

    def _open(self) -> Session:
        if self._session is None:
            raise ValueError("the board is closed")
        self._session.functions()
        return self._session

    # ---- Geometry ----------------------------------------------------------

    @property
    def slot(self) -> int:
        """The library's slot index for this board (-1 once closed)."""
        return -1 if self._session is None else self._session.slot

    @property
    def family(self) -> int:
        """The family the board was opened as."""
        return self._family

    @property
    def number(self) -> int:
        """The board's number within its family."""
        return self._number

    @property
    def width(self) -> int:
        """Pixels per line."""
        return self._geometry.width

    @property
    def lines(self) -> int:
        """Lines per frame."""
        return self._geometry.lines

    @property
    def bit_depth(self) -> int:
        """Significant bits per pixel."""
        return self._geometry.bit_depth

    @property
    def bytes_per_pixel(self) -> int:
        """Bytes each pixel takes in a frame."""
        return self._geometry.bytes_per_pixel

    @property
    def geometry(self) -> Geometry:
        """Bit depth, bytes per pixel, width and lines together."""
        return self._geometry

    @property
    def dtype(self) -> "np.dtype[Any]":
        """numpy's type for one pixel; a camera of 3 bytes per pixel raises ``ValueError``."""
        found = PIXEL_TYPES.get(self.bytes_per_pixel)
        if found is None:
            raise ValueError(f"the camera delivers {self.bytes_per_pixel} bytes per pixel; frames of 1, 2 "
                             "or 4 bytes per pixel only can be acquired")
        return found

    @property
    def shape(self) -> Tuple[int, int]:
        """A frame's array shape: ``(lines, width)``."""
        return (self.lines, self.width)

    def _refresh_geometry(self) -> None:
        session = self._open()
        info = [ctypes.c_uint32() for _ in range(5)]
        destination = ctypes.c_void_p()
        check(session.functions().BF_ImageInfo(*(ctypes.byref(v) for v in info), ctypes.byref(destination),
                                               session.slot), "BF_ImageInfo")
        _camera_info, depth, per_pixel, width, lines = (v.value for v in info)
        self._geometry = Geometry(depth, per_pixel, width, lines)

    def select_camera(self, camera: int) -> None:
        """Switches to camera ``camera``; the geometry properties then describe it."""
        number = _arguments.uint32(camera, "camera")
        session = self._open()
        session.ensure_idle("change the camera")
        session.release_destination()
        check(session.functions().BF_SelectCamera(number, session.slot), "BF_SelectCamera")
        self._refresh_geometry()

    # ---- Snaps ---------------------------------------------------------------

    def _snap_destination(self, session: Session) -> Pixels:
        # Snaps share one registered destination, so that the board numbers
        # them as one acquisition; it is released whenever something needs
        # the board without one.
        if session.destination is None:
            buffer = aligned_frame(self.shape, self.dtype)
            session.register_destination(buffer, buffer.ctypes.data, self.width)
        destination: Pixels = session.destination  # type: ignore[assignment]
        return destination

    def snap(self, timeout_ms: Optional[int] = None) -> Pixels:
        """Acquires one frame and returns it as a new array of ``shape`` and ``dtype``.

        Without ``timeout_ms`` the board's own wait time bounds the wait;
        a frame that does not come raises ``BFTimeout``. In
        ``Trigger.SOFTWARE`` a snap raises ``RuntimeError``: its frame would
        wait for a trigger that nothing can fire while the snap waits (use a
        grab or a chain and fire between waits, or ``SOFTWARE_EACH_FRAME``).
        """
        timeout = None if timeout_ms is None else timeout_value(timeout_ms)
        session = self._open()
        session.ensure_idle("snap")
        if session.trigger is Trigger.SOFTWARE:
            raise RuntimeError("a snap cannot wait for software_trigger() in Trigger.SOFTWARE; grab or chain "
                               "and fire between waits, or use Trigger.SOFTWARE_EACH_FRAME")
        buffer = self._snap_destination(session)
        if timeout is None and session.trigger is not Trigger.SOFTWARE_EACH_FRAME:
            check(session.functions().BF_GetFrame(session.slot), "BF_GetFrame")
            # BF_GetFrame leaves the end of frame counted on the signal.
            session.destination_stale = True
        else:
            self._snap_and_wait(session, DEFAULT_TIMEOUT_MS if timeout is None else timeout)
        return buffer.copy()

    @staticmethod
    def _snap_and_wait(session: Session, timeout: int) -> None:
        bf, slot = session.functions(), session.slot
        count = ctypes.c_uint32()
        if session.destination_stale:
            # Frames counted earlier would end this wait before the snap's own frame.
            bf.BF_Wait4Frame(DRAIN_TIMEOUT_MS, slot, ctypes.byref(count))
            session.destination_stale = False
        check(bf.BF_FastGetFrame(slot), "BF_FastGetFrame")
        session.fire_for_frame()
        status = bf.BF_Wait4Frame(timeout, slot, ctypes.byref(count))
        # A frame that comes after the wait gave up is counted for the next one.
        session.destination_stale = status != 0
        check(status, "BF_Wait4Frame")

    # ---- Continuous acquisition -----------------------------------------------

    def grab(self, count: Optional[int] = None, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> Grab:
        """Starts a continuous grab into one destination and returns it as an iterator of ``Frame``.

        Each frame overwrites the last in the same array. The grab ends after
        ``count`` frames (never, with None), when the loop breaks, or on
        ``close()``; each wait lasts at most ``timeout_ms``.
        """
        if count is not None:
            _arguments.integer(count, "count", 0, _arguments.INT64_MAX)
        timeout_value(timeout_ms)
        session = self._idle_without_destination("grab")
        return Grab(session, self.shape, self.dtype, count, timeout_ms)

    def chain(self, buffers: int = 4) -> Chain:
        """Sets up a chain of ``buffers`` frame buffers and returns it, not yet grabbing."""
        _arguments.integer(buffers, "buffers", 1, _arguments.INT32_MAX)
        session = self._idle_without_destination("set up a chain")
        return Chain(session, self.shape, self.dtype, buffers)

    def _idle_without_destination(self, action: str) -> Session:
        session = self._open()
        session.ensure_idle(action)
        session.release_destination()
        return session

    def reset_acquisition(self) -> None:
        """Stops and resets the board's acquisition; a running chain must be started again, a grab ends."""
        self._open().reset()

    def status(self) -> BoardStatus:
        """Overflow resets so far, whether an acquisition is busy, and the board's frame count."""
        session = self._open()
        resets, busy, frames = ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32()
        zero = ctypes.c_int32()
        check(session.functions().BF_Status(ctypes.byref(resets), ctypes.byref(busy), ctypes.byref(zero),
                                            ctypes.byref(frames), session.slot), "BF_Status")
        return BoardStatus(resets.value, busy.value != 0, frames.value)

    # ---- Triggers --------------------------------------------------------------

    @property
    def trigger_mode(self) -> Trigger:
        """The trigger mode last set through ``trigger()`` (``FREE_RUN`` after opening)."""
        return Trigger.FREE_RUN if self._session is None else self._session.trigger

    def trigger(self, mode: Union[Trigger, int]) -> None:
        """Chooses what starts frames: a ``Trigger`` (or its value, 0 to 3).

        In ``Trigger.SOFTWARE`` frames come only on ``software_trigger()``:
        start a grab or chain, fire, then wait.
        """
        chosen = Trigger(_arguments.integer(mode, "trigger mode", min(Trigger), max(Trigger)))
        session = self._open()
        enable = ctypes.c_int32(0 if chosen is Trigger.FREE_RUN else 1)
        check(session.functions().BF_TriggerMode(ctypes.byref(enable), session.slot), "BF_TriggerMode")
        session.trigger = chosen

    def software_trigger(self, which: int = 1) -> None:
        """Fires software trigger ``which`` (1 or 2)."""
        line = _arguments.integer(which, "software trigger", 1, 2)
        self._open().software_trigger(line)

    # ---- Lookup tables ----------------------------------------------------------

    def load_lut(self, kind: Union[LutKind, int], table: Pixels) -> None:
        """Loads a lookup table that later acquisitions apply.

        ``table`` is a one-dimensional numpy array: 4096 (kind 0) or 32768
        (kind 1) ``uint16`` entries, or 256 ``uint8`` entries (kinds 2 to 6).
        """
        chosen = LutKind(_arguments.integer(kind, "LUT kind", min(LutKind), max(LutKind)))
        if not isinstance(table, np.ndarray):
            raise TypeError(f"a lookup table is a numpy array, not {type(table).__name__}")
        entries, entry_type = LUT_TABLES[chosen]
        if table.dtype != entry_type:
            raise TypeError(f"a {chosen.name} table holds {entry_type.name} entries, not {table.dtype.name}")
        if table.shape != (entries,):
            raise ValueError(f"a {chosen.name} table is one-dimensional with {entries} entries, "
                             f"not of shape {table.shape}")
        session = self._open()
        session.release_destination()
        contiguous = np.ascontiguousarray(table)
        check(session.functions().BF_LoadLUT(int(chosen), contiguous.ctypes.data, entries, session.slot),
              "BF_LoadLUT")

    def mask_bits(self) -> None:
        """Has the board mask each pixel to the camera's bit depth."""
        check(self._functions().BF_MaskBits(self.slot), "BF_MaskBits")

    # ---- Timing generator, encoder and outputs --------------------------------

    def timing_generator(self, period_ms: float, exposure_ms: float, delay_ms: float, mode: int, bit: int) -> None:
        """Programs the exposure timing generator; ``bit`` is the output line, 1 to 32."""
        period = _arguments.milliseconds(period_ms, "period_ms")
        exposure = _arguments.milliseconds(exposure_ms, "exposure_ms")
        delay = _arguments.milliseconds(delay_ms, "delay_ms")
        mode = _arguments.uint32(mode, "mode")
        bit = _arguments.integer(bit, "bit", 1, 32)
        check(self._functions().BF_NTGSetup(self.slot, period, exposure, delay, mode, bit), "BF_NTGSetup")

    def encoder_divider(self, divider: int, encoder: int = 0, both_edges: bool = False) -> None:
        """Divides encoder input ``encoder``'s pulses by ``divider``, counting both edges if asked."""
        divider = _arguments.integer(divider, "divider", 1, _arguments.UINT32_MAX)
        encoder = _arguments.uint32(encoder, "encoder")
        if not isinstance(both_edges, (bool, np.bool_)):
            raise TypeError(f"both_edges must be a bool, not {type(both_edges).__name__}")
        check(self._functions().BF_NTGEncDiv(self.slot, divider, encoder, int(bool(both_edges))),
              "BF_NTGEncDiv")

    @property
    def gpout(self) -> int:
        """The general-purpose output levels, one bit an output."""
        levels = ctypes.c_uint32()
        check(self._functions().BF_GetGPOUT(self.slot, ctypes.byref(levels)), "BF_GetGPOUT")
        return levels.value

    def set_gpout(self, mask: int, levels: int) -> None:
        """Sets the outputs selected by ``mask`` to the bits of ``levels``."""
        mask = _arguments.uint32(mask, "mask")
        levels = _arguments.uint32(levels, "levels")
        check(self._functions().BF_SetGPOUT(self.slot, mask, levels), "BF_SetGPOUT")

    # ---- Registers ----------------------------------------------------------------

    @property
    def registers(self) -> Registers:
        """The board's registers, by id or by name: ``board.registers["GAIN"]``."""
        return self._registers
