"""Finding and loading the qor_bitflow shared library, once per process.

The library is looked for, in this order: the path in the environment
variable ``QOR_BITFLOW_LIBRARY``, this package's own folder, then the
system loader's own search by file name. When the variable is set, only that
path is tried: loading some other copy would hide the user's choice.
"""
from __future__ import annotations

import ctypes
import os
import sys
import threading
from pathlib import Path
from typing import List, Optional, Tuple

from ._prototypes import declare

ENVIRONMENT_VARIABLE = "QOR_BITFLOW_LIBRARY"
WINDOWS = sys.platform == "win32"
#: The file name of the library on this platform, as the loader knows it.
LIBRARY_FILE = "qor_bitflow.dll" if WINDOWS else "libqor_bitflow.so.1"
PACKAGE_FOLDER = Path(__file__).resolve().parent
#: LoadLibraryEx's default search, PATH included, for a bare file name.
_WINDOWS_LOADER_SEARCH = 0


class LibraryNotFound(OSError):
    """No copy of the library could be loaded; the message lists what was tried and why each failed."""


class Library:
    """The loaded library: ``cdll`` holds the thirty declared functions, ``path`` says which file."""

    def __init__(self, cdll: ctypes.CDLL, path: str) -> None:
        self.cdll = cdll
        self.path = path


_loaded: Optional[Library] = None
_lock = threading.Lock()


def candidates() -> List[Tuple[str, bool]]:
    """The places to try, in order: (path or file name, whether it is a path)."""
    chosen = os.environ.get(ENVIRONMENT_VARIABLE)
    if chosen:
        return [(chosen, True)]
    return [(str(PACKAGE_FOLDER / LIBRARY_FILE), True), (LIBRARY_FILE, False)]


def _open(name: str, is_path: bool) -> ctypes.CDLL:
    if is_path and not os.path.exists(name):
        raise OSError("no such file")
    if WINDOWS and not is_path:
        return ctypes.CDLL(name, winmode=_WINDOWS_LOADER_SEARCH)
    return ctypes.CDLL(name)


def _load_first() -> Library:
    tried = []
    for name, is_path in candidates():
        try:
            cdll = _open(name, is_path)
        except OSError as failure:
            tried.append(f"  {name}: {failure}")
            continue
        missing = declare(cdll)
        if missing:
            tried.append(f"  {name}: loaded, but lacks {', '.join(missing)}")
            continue
        return Library(cdll, name)
    raise LibraryNotFound(
        f"cannot load the qor_bitflow library ({LIBRARY_FILE}); tried, in order:\n"
        + "\n".join(tried)
        + f"\nSet {ENVIRONMENT_VARIABLE} to the library's path to choose one."
    )


def library() -> Library:
    """The library, loaded on first use; raises ``LibraryNotFound`` when no copy loads."""
    global _loaded
    with _lock:
        if _loaded is None:
            _loaded = _load_first()
        return _loaded


def functions() -> ctypes.CDLL:
    """The loaded library's functions, each with its prototype."""
    return library().cdll
