"""qor_bitflow: frame-grabber boards from Python.

::

    import qor_bitflow
    with qor_bitflow.Board() as board:
        frame = board.snap()          # a numpy array of board.shape

``Board`` opens a board; ``Board.chain()`` grabs into buffers this package
owns and hands out frames without copying; ``qor_bitflow.simulator`` drives
the simulated boards for tests. Every failing call raises ``BFError``.
"""
from __future__ import annotations

from ._library import LibraryNotFound
from ._status import Status, status_name, status_text
from .acquisition import Chain, Frame, Grab
from .board import Board, BoardStatus, Geometry, LutKind, Trigger
from .errors import BFError, BFTimeout, RegisterNotFound
from .registers import Registers

__version__ = "1.0.0"

__all__ = [
    "BFError",
    "BFTimeout",
    "Board",
    "BoardStatus",
    "Chain",
    "Frame",
    "Geometry",
    "Grab",
    "LibraryNotFound",
    "LutKind",
    "RegisterNotFound",
    "Registers",
    "Status",
    "Trigger",
    "library_path",
    "status_name",
    "status_text",
]


def library_path() -> str:
    """The path (or file name) of the library this package loaded, loading it if need be."""
    from ._library import library

    return library().path
