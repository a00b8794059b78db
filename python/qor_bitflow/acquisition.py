"""Frames, continuous grabs into one destination, and buffer chains.

Every buffer handed to the library is a numpy array that this package
allocates on a page boundary and keeps alive for as long as the board may
write into it.
"""
from __future__ import annotations

import ctypes
import time
from typing import Any, Iterator, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

from . import _arguments
from ._session import UNRELEASED, Session
from ._status import Status
from .errors import check, error_for

#: How long a frame wait lasts unless the caller says otherwise.
DEFAULT_TIMEOUT_MS = 2000
#: The wait that collects frames still counted after a stop; short but not
#: zero, which some boards take as "wait for ever".
DRAIN_TIMEOUT_MS = 1
#: Boards write by DMA; buffers start on a page, as the library's own allocator does.
PAGE_BYTES = 4096
#: BF_Wait's second mode waits once per chain buffer; a Frame is one frame.
_ONE_FRAME = 0
_CHAINED = 1
_SINGLE_DESTINATION = 0

#: A frame's pixels: unsigned integers of the camera's bytes per pixel.
Pixels = npt.NDArray[np.unsignedinteger[Any]]


def aligned_frame(shape: Tuple[int, int], dtype: npt.DTypeLike) -> Pixels:
    """A zeroed, C-contiguous array of ``shape`` and ``dtype`` that starts on a page boundary."""
    pixel = np.dtype(dtype)
    size = shape[0] * shape[1] * pixel.itemsize
    raw = np.zeros(size + PAGE_BYTES, dtype=np.uint8)
    offset = -raw.ctypes.data % PAGE_BYTES
    frame: Pixels = raw[offset : offset + size].view(pixel).reshape(shape)
    return frame


def _read_only(array: Pixels) -> Pixels:
    view = array.view()
    view.flags.writeable = False
    return view


def timeout_value(timeout_ms: object) -> int:
    """A wait's time-out in whole milliseconds, checked."""
    return _arguments.uint32(timeout_ms, "timeout_ms")


class Frame:
    """One frame that ended, as a wait reported it.

    ``array`` is a read-only view of the buffer the frame landed in, without a
    copy: it stays valid until the board fills that buffer again; ``copy()``
    keeps it. ``index`` is the buffer's place in the chain (0 for a single
    destination), ``number`` the frame's number since the acquisition
    started, and ``ended`` the number of frames that ended since the previous
    wait, so ``ended - 1`` frames were missed before this one.
    ``captured_ns`` is the host's monotonic clock (``time.monotonic_ns()``)
    when the wait returned, ``captured`` the same in seconds.

    A frame acts as its array: ``numpy.asarray(frame)``, ``frame.shape``
    and ``frame.dtype`` are those of ``array``.
    """

    __slots__ = ("array", "index", "number", "ended", "captured_ns")

    def __init__(self, array: Pixels, index: int, number: int, ended: int, captured_ns: int) -> None:
        self.array = array
        self.index = index
        self.number = number
        self.ended = ended
        self.captured_ns = captured_ns

    @property
    def captured(self) -> float:
        """When the wait returned, in seconds of ``time.monotonic()``."""
        return self.captured_ns / 1e9

    @property
    def shape(self) -> Tuple[int, ...]:
        """The pixels' shape: ``(lines, width)``."""
        return self.array.shape

    @property
    def dtype(self) -> "np.dtype[Any]":
        """The pixels' type."""
        return self.array.dtype

    def __array__(self, dtype: Optional[npt.DTypeLike] = None, copy: Optional[bool] = None) -> Pixels:
        # Without a copy or a new type numpy sees the read-only view itself.
        wanted = self.array.dtype if dtype is None else np.dtype(dtype)
        if copy is False and wanted != self.array.dtype:
            raise ValueError(f"a {self.array.dtype} frame cannot be seen as {wanted} without a copy")
        if copy or wanted != self.array.dtype:
            converted: Pixels = self.array.astype(wanted, copy=True)
            return converted
        return self.array

    @property
    def missed(self) -> int:
        """Frames that ended since the previous wait and were not reported: ``ended - 1``."""
        return self.ended - 1

    def copy(self) -> Pixels:
        """A writable copy of the pixels that the board will not overwrite."""
        return self.array.copy()

    def __repr__(self) -> str:
        return (f"Frame(index={self.index}, number={self.number}, ended={self.ended}, shape={self.array.shape}, "
                f"captured={self.captured:.6f})")


class _Acquisition:
    """What a grab and a chain share: the board, the frame count, the wait."""

    kind = "acquisition"

    def __init__(self, session: Session) -> None:
        # The session keeps the board open for as long as this acquisition lives.
        self._session = session
        self._bf = session.functions()
        self._slot = session.slot
        self._count = ctypes.c_uint32(0)
        self._count_ref = ctypes.byref(self._count)
        self._ended = 0
        self._received = 0
        # Closed until the set-up succeeds, so that a failed one releases nothing.
        self._closed = True

    @property
    def closed(self) -> bool:
        """True once the acquisition released everything it set up."""
        return self._closed

    @property
    def frames_ended(self) -> int:
        """Frames that ended since the acquisition (last) started, reported or not."""
        return self._ended

    @property
    def frames_received(self) -> int:
        """Frames the waits reported since the acquisition (last) started."""
        return self._received

    @property
    def missed(self) -> int:
        """Frames that ended without a wait reporting them, since the acquisition (last) started."""
        return self._ended - self._received

    def _restart_count(self) -> None:
        self._ended = 0
        self._received = 0

    def _count_ended(self) -> int:
        # A wait that succeeds reports at least its own frame.
        ended = max(self._count.value, 1)
        self._ended += ended
        self._received += 1
        return ended

    def _drain(self) -> None:
        """Collects the frames that ended before a stop returned, so that a later start counts from zero."""
        self._bf.BF_Wait(DRAIN_TIMEOUT_MS, self._slot, _ONE_FRAME, self._count_ref)

    def _ensure_open(self) -> None:
        if self._closed:
            raise ValueError(f"the {self.kind} is closed")

    def after_reset(self) -> None:
        """Called by the board when ``reset_acquisition()`` stopped this acquisition."""

    def close(self) -> None:  # pragma: no cover - overridden
        raise NotImplementedError

    def _memory(self) -> object:  # pragma: no cover - overridden
        raise NotImplementedError

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            UNRELEASED.append(self._memory())


class Grab(_Acquisition):
    """A continuous grab into one destination, iterated frame by frame.

    Made by ``Board.grab()``. Iterating waits for each frame and yields a
    ``Frame`` whose ``array`` is the destination itself, overwritten by the
    next frame. The grab stops and releases the destination after ``count``
    frames, when the loop breaks (the iterator is dropped), at ``close()``,
    on leaving a ``with`` block, or when the board closes.
    """

    kind = "grab"

    def __init__(self, session: Session, shape: Tuple[int, int], dtype: npt.DTypeLike, count: Optional[int],
                 timeout_ms: int) -> None:
        super().__init__(session)
        self._limit = None if count is None else _arguments.integer(count, "count", 0, _arguments.INT64_MAX)
        self._timeout = timeout_value(timeout_ms)
        self._running = False
        self._buffer = aligned_frame(shape, dtype)
        self._view = _read_only(self._buffer)
        check(self._bf.BF_Setup(self._buffer.ctypes.data, shape[1], self._slot), "BF_Setup")
        try:
            check(self._bf.BF_Grab(self._slot, _SINGLE_DESTINATION), "BF_Grab")
        except BaseException:
            self._bf.BF_Cleanup(self._slot)
            raise
        self._running = True
        self._closed = False
        session.attach(self)

    def __iter__(self) -> Iterator[Frame]:
        return self

    def __next__(self) -> Frame:
        finished = self._limit is not None and self._received >= self._limit
        if self._closed or finished or not self._running:
            self.close()
            raise StopIteration
        return self.wait(self._timeout)

    def wait(self, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> Frame:
        """Waits for the next frame; raises ``BFTimeout`` when none ends within ``timeout_ms``."""
        self._ensure_open()
        timeout = timeout_value(timeout_ms)
        self._session.fire_for_frame()
        status = self._bf.BF_Wait4Frame(timeout, self._slot, self._count_ref)
        captured = time.monotonic_ns()
        if status != Status.OK:
            raise error_for(status, "BF_Wait4Frame")
        ended = self._count_ended()
        return Frame(self._view, 0, self._ended - 1, ended, captured)

    def after_reset(self) -> None:
        self._running = False

    def _memory(self) -> object:
        return self._buffer

    def close(self) -> None:
        """Stops the grab and forgets the destination; nothing is written into it afterwards."""
        if self._closed:
            return
        check(self._bf.BF_Stop(self._slot), "BF_Stop")
        self._running = False
        check(self._bf.BF_Cleanup(self._slot), "BF_Cleanup")
        self._closed = True
        self._session.detach()

    def __enter__(self) -> "Grab":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


class Chain(_Acquisition):
    """A ring of buffers the board fills in turn, each a numpy array this chain owns.

    Made by ``Board.chain()``; use it as a context manager. ``start()`` begins
    the grab, ``wait()`` returns each frame as it ends (iterating the chain
    starts it and waits for ever), ``stop()`` ends the grab, and ``close()``
    (or leaving the ``with`` block) stops and releases the chain. Frame ``n``
    of a run lands in buffer ``n % len(chain.buffers)``.
    """

    kind = "chain"

    def __init__(self, session: Session, shape: Tuple[int, int], dtype: npt.DTypeLike, buffers: int) -> None:
        super().__init__(session)
        count = _arguments.integer(buffers, "buffers", 1, _arguments.INT32_MAX)
        self._running = False
        self._buffers: List[Pixels] = [aligned_frame(shape, dtype) for _ in range(count)]
        self._views = tuple(_read_only(b) for b in self._buffers)
        # The library keeps no copy of the list, only of the buffers' addresses.
        self._pointers = (ctypes.c_void_p * count)(*(b.ctypes.data for b in self._buffers))
        check(self._bf.BF_BufferSetup(self._pointers, shape[1], count, self._slot), "BF_BufferSetup")
        self._closed = False
        session.attach(self)

    @property
    def buffers(self) -> Tuple[Pixels, ...]:
        """The chain's buffers, read-only views in chain order."""
        return self._views

    @property
    def running(self) -> bool:
        """True between ``start()`` and ``stop()``."""
        return self._running

    def start(self) -> None:
        """Starts grabbing into the chain; the next frame lands in buffer 0."""
        self._ensure_open()
        if self._running:
            return
        check(self._bf.BF_Grab(self._slot, _CHAINED), "BF_Grab")
        self._restart_count()
        self._running = True

    def wait(self, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> Frame:
        """The next frame to end; raises ``BFTimeout`` when none ends within ``timeout_ms``."""
        self._ensure_open()
        if not self._running:
            raise RuntimeError("the chain is not grabbing; call start() first")
        timeout = timeout_value(timeout_ms)
        self._session.fire_for_frame()
        status = self._bf.BF_Wait(timeout, self._slot, _ONE_FRAME, self._count_ref)
        captured = time.monotonic_ns()
        if status != Status.OK:
            raise error_for(status, "BF_Wait")
        ended = self._count_ended()
        number = self._ended - 1
        index = number % len(self._views)
        return Frame(self._views[index], index, number, ended, captured)

    def __iter__(self) -> Iterator[Frame]:
        self.start()
        while True:
            yield self.wait()

    def stop(self) -> None:
        """Stops grabbing; when it returns, the board writes no more into the buffers."""
        if self._closed or not self._running:
            return
        check(self._bf.BF_Stop(self._slot), "BF_Stop")
        self._running = False
        self._drain()

    def after_reset(self) -> None:
        self._running = False
        self._drain()

    def _memory(self) -> object:
        return self._buffers

    def close(self) -> None:
        """Stops grabbing and releases the chain; the buffers stay valid as plain arrays."""
        if self._closed:
            return
        self.stop()
        check(self._bf.BF_BufferCleanup(self._slot), "BF_BufferCleanup")
        self._closed = True
        self._session.detach()

    def __enter__(self) -> "Chain":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __len__(self) -> int:
        return len(self._views)
