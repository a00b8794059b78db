"""A board's registers as a mapping: by id or by name (any letter case)."""
from __future__ import annotations

import ctypes
from typing import Dict, Optional, Union

from . import _arguments
from ._session import Session
from .errors import RegisterNotFound, check

Key = Union[int, str]

#: Room for any register name the board reports (the longest known has 43 characters).
NAME_CAPACITY = 256
_NAME_TO_ID = 0
_ID_TO_NAME = 1


class Registers:
    """``board.registers``: read with ``registers[key]``, write with ``registers[key] = value``.

    A key is a register id or a register name in any letter case (a name
    search covers ids below 3445, as the library's does). ``key in registers``
    tells whether the board has the register. A missing one raises
    ``RegisterNotFound``, which is both a ``BFError`` and a ``KeyError``.
    The board cannot list its registers, so the mapping cannot be iterated.
    """

    def __init__(self, session: Session) -> None:
        self._session = session
        self._ids: Dict[str, int] = {}

    def _bf(self) -> ctypes.CDLL:
        return self._session.functions()

    def id(self, name: str) -> int:
        """The lowest register id whose name equals ``name``, ignoring letter case."""
        if not isinstance(name, str):
            raise TypeError(f"a register name is a str, not {type(name).__name__}")
        if not name.isascii() or "\0" in name or not name:
            raise ValueError(f"a register name is non-empty ASCII text without NUL: {name!r}")
        cache_key = name.lower()
        found = self._ids.get(cache_key)
        if found is None:
            register = ctypes.c_uint32(0)
            # The size is the room for each candidate name the search reads, not the length of ours.
            check(self._bf().BF_RegNametoId(self._session.slot, ctypes.byref(register), name.encode("ascii"),
                                            NAME_CAPACITY, _NAME_TO_ID), "BF_RegNametoId")
            found = self._ids[cache_key] = register.value
        return found

    def name(self, register: int) -> str:
        """The name the board gives register id ``register``."""
        number = ctypes.c_uint32(_arguments.uint32(register, "register id"))
        text = ctypes.create_string_buffer(NAME_CAPACITY)
        check(self._bf().BF_RegNametoId(self._session.slot, ctypes.byref(number), text,
                                        NAME_CAPACITY, _ID_TO_NAME), "BF_RegNametoId")
        return text.value.decode("ascii", errors="replace")

    def _resolve(self, key: Key) -> int:
        if isinstance(key, str):
            return self.id(key)
        return _arguments.uint32(key, "register id")

    def __getitem__(self, key: Key) -> int:
        register = self._resolve(key)
        value = ctypes.c_uint32(0)
        check(self._bf().BF_RegPeek(self._session.slot, register, ctypes.byref(value)), "BF_RegPeek")
        return value.value

    def __setitem__(self, key: Key, value: int) -> None:
        register = self._resolve(key)
        number = _arguments.uint32(value, "register value")
        check(self._bf().BF_RegPoke(self._session.slot, register, number), "BF_RegPoke")

    def __contains__(self, key: object) -> bool:
        if not isinstance(key, (int, str)) or isinstance(key, bool):
            return False
        try:
            if isinstance(key, str):
                self.id(key)
            else:
                self.name(key)
        except (RegisterNotFound, ValueError):
            return False
        return True

    def get(self, key: Key, default: Optional[int] = None) -> Optional[int]:
        """The register's value, or ``default`` when the board has no such register."""
        try:
            return self[key]
        except RegisterNotFound:
            return default

    def __iter__(self) -> None:
        raise TypeError("a board cannot list its registers; look them up by id or name")

    def __delitem__(self, key: Key) -> None:
        raise TypeError("registers cannot be deleted")

    def __repr__(self) -> str:
        where = "a closed board" if self._session.closed else f"the board in slot {self._session.slot}"
        return f"<registers of {where}>"
