"""The exceptions a failing library call raises."""
from __future__ import annotations

from typing import Dict, Type

from ._status import Status, status_name, status_text


class BFError(Exception):
    """A library function returned a status other than ``BF_OK``.

    ``status`` is the code, ``name`` the C enumerator that spells it (as the
    function that returned it means it), ``function`` the C function, and the
    message carries the status's sentence.
    """

    def __init__(self, status: int, function: str) -> None:
        self.status = int(status)
        self.function = function
        self.name = status_name(self.status, function)
        super().__init__(self.status, function)

    @property
    def text(self) -> str:
        """The sentence that explains the status."""
        return status_text(self.status)

    def __str__(self) -> str:
        return f"{self.function} returned {self.status} ({self.name}): {self.text}"


class BFTimeout(BFError):
    """Waiting for a frame failed: no frame ended in time, or the wait was cancelled."""


class RegisterNotFound(BFError, KeyError):
    """The board has no register of that id or name; also a ``KeyError``, as mappings raise."""

    def __str__(self) -> str:  # KeyError would show only the repr of its arguments
        return BFError.__str__(self)


#: Statuses that get a subclass of their own, by the C function that returned them.
_WAIT_FAILURES = (Status.FRAME_WAIT, Status.SIGNAL_WAIT)
_CLASS_BY_STATUS: Dict[int, Type[BFError]] = {
    **{int(s): BFTimeout for s in _WAIT_FAILURES},
    int(Status.REGISTER_UNSUPPORTED): RegisterNotFound,
}


def error_for(status: int, function: str) -> BFError:
    """The exception that reports ``status`` returned by ``function``."""
    return _CLASS_BY_STATUS.get(int(status), BFError)(status, function)


def check(status: int, function: str) -> None:
    """Raises the matching ``BFError`` unless ``status`` is ``BF_OK``."""
    if status != Status.OK:
        raise error_for(status, function)
