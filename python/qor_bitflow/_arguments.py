"""Argument checks made before any library call: wrong types raise
``TypeError``, values the C types cannot hold raise ``ValueError``."""
from __future__ import annotations

import math
import numbers

UINT32_MAX = 2**32 - 1
INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1
INT64_MAX = 2**63 - 1


def integer(value: object, what: str, low: int, high: int) -> int:
    """``value`` as an int within ``low``..``high``; bools are refused as numbers."""
    if type(value) is int:  # the common case, without the slower abstract-class check
        number = value
    elif isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be an integer, not {type(value).__name__}")
    else:
        number = int(value)
    if not low <= number <= high:
        raise ValueError(f"{what} must be within {low}..{high}, not {number}")
    return number


def uint32(value: object, what: str) -> int:
    """``value`` as an unsigned 32-bit number."""
    return integer(value, what, 0, UINT32_MAX)


def int32(value: object, what: str) -> int:
    """``value`` as a signed 32-bit number."""
    return integer(value, what, INT32_MIN, INT32_MAX)


def milliseconds(value: object, what: str) -> float:
    """``value`` as a finite, non-negative number of milliseconds."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number of milliseconds, not {type(value).__name__}")
    number = float(value)
    if not math.isfinite(number) or number < 0:
        raise ValueError(f"{what} must be a finite number of milliseconds, 0 or more, not {value}")
    return number
