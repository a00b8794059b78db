"""One open board slot, shared by a ``Board``, its registers and its acquisitions.

The session holds what they all need: the library's functions, the slot,
the trigger mode, the snap destination and the acquisition in force. It
never refers to the ``Board`` or holds its acquisition strongly, so the
objects of one board form no reference cycle: when the last of them is
dropped, reference counting closes the board at once, without waiting for
the cyclic garbage collector.
"""
from __future__ import annotations

import ctypes
import enum
import weakref
from typing import List, Optional, Protocol

from .errors import check

#: Buffers of acquisitions and boards that were dropped but could not be
#: released: the board may still hold their addresses, so their memory is
#: never given back.
UNRELEASED: List[object] = []

_FIRE = 1
_HOLD = 0


class Trigger(enum.IntEnum):
    """What starts a board's frames.

    ``FREE_RUN`` (0) and ``EXTERNAL`` (1) are the values ``BF_TriggerMode``
    takes. ``SOFTWARE`` (2) puts the board in triggered mode like
    ``EXTERNAL``; a frame then comes only when ``Board.software_trigger()``
    fires, as with the viewer's "sw" mode. ``SOFTWARE_EACH_FRAME`` (3) is the
    same board mode, but this package fires the software trigger itself for
    every frame it waits for (snaps, grabs, chain waits), as
    ``qor-grab --trigger sw`` does.
    """

    FREE_RUN = 0
    EXTERNAL = 1
    SOFTWARE = 2
    SOFTWARE_EACH_FRAME = 3


class Acquisition(Protocol):
    """What the session needs of the grab or chain in force."""

    kind: str

    @property
    def closed(self) -> bool: ...

    def close(self) -> None: ...

    def after_reset(self) -> None: ...


class Session:
    """An open slot; ``close()`` releases whatever it holds, then the board."""

    def __init__(self, functions: ctypes.CDLL, slot: int) -> None:
        self._functions = functions
        self._slot = slot
        self.trigger = Trigger.FREE_RUN
        # Weak, so that a grab or chain nobody holds any more (a loop that
        # broke) is released at once instead of living as long as the board.
        self._acquisition: Optional["weakref.ReferenceType[Acquisition]"] = None
        #: The registered snap destination (a numpy array), if any.
        self.destination: Optional[object] = None
        #: True when the destination's signal counted a frame no wait collected.
        self.destination_stale = False

    @property
    def slot(self) -> int:
        """The library's slot index (-1 once closed)."""
        return self._slot

    @property
    def closed(self) -> bool:
        return self._slot < 0

    def functions(self) -> ctypes.CDLL:
        """The library's functions; a closed board raises ``ValueError``."""
        if self.closed:
            raise ValueError("the board is closed")
        return self._functions

    # ---- The acquisition in force ------------------------------------------

    @property
    def acquisition(self) -> Optional[Acquisition]:
        found = None if self._acquisition is None else self._acquisition()
        return None if found is None or found.closed else found

    def attach(self, running: Acquisition) -> None:
        self._acquisition = weakref.ref(running)

    def detach(self) -> None:
        self._acquisition = None

    def ensure_idle(self, action: str) -> None:
        self.functions()
        running = self.acquisition
        if running is not None:
            raise RuntimeError(f"cannot {action} while a {running.kind} runs on this board; close it first")

    def reset(self) -> None:
        """Resets the board's acquisition and tells the one in force that it stopped."""
        check(self.functions().BF_ResetAcquisition(self._slot), "BF_ResetAcquisition")
        running = self.acquisition
        if running is not None:
            running.after_reset()

    # ---- Snap destination -----------------------------------------------------

    def register_destination(self, buffer: object, address: int, width: int) -> None:
        check(self.functions().BF_Setup(address, width, self._slot), "BF_Setup")
        self.destination = buffer
        self.destination_stale = False

    def release_destination(self) -> None:
        if self.destination is not None:
            check(self._functions.BF_Cleanup(self._slot), "BF_Cleanup")
            self.destination = None

    # ---- Software triggers ------------------------------------------------------

    def software_trigger(self, line: int) -> None:
        first, second = (_FIRE, _HOLD) if line == 1 else (_HOLD, _FIRE)
        check(self.functions().BF_SetSWtrigger(first, second, self._slot), "BF_SetSWtrigger")

    def fire_for_frame(self) -> None:
        """Fires trigger 1 before a wait when the package triggers every frame itself."""
        if self.trigger is Trigger.SOFTWARE_EACH_FRAME:
            self.software_trigger(1)

    # ---- Closing ------------------------------------------------------------------

    def close(self) -> None:
        """Stops and releases any acquisition and the snap destination, then closes the board."""
        if self.closed:
            return
        running = self.acquisition
        if running is not None:
            running.close()
        self.release_destination()
        check(self._functions.BF_Close(self._slot), "BF_Close")
        self._slot = -1

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            if self.destination is not None:
                UNRELEASED.append(self.destination)
