"""Runs every test against the simulated boards, from a fresh simulator, and
checks after each one that it left no simulated object alive, without
running the cyclic garbage collector first: the package's objects release
the board by reference counting alone."""
from __future__ import annotations

import os
from pathlib import Path
from typing import Any, Dict, Iterator

import pytest

REPOSITORY = Path(__file__).resolve().parents[2]
HEADER = REPOSITORY / "include" / "qor_bitflow.h"
BUILD_TREE_LIBRARY = REPOSITORY / "build" / "default" / "bin" / "libqor_bitflow.so.1"

# A developer's run without the variable uses the plain build; the
# simulator's own population file would change what every test expects.
os.environ.setdefault("QOR_BITFLOW_LIBRARY", str(BUILD_TREE_LIBRARY))
os.environ.pop("QOR_SIM_CONFIG", None)

from qor_bitflow import simulator  # noqa: E402  (after the environment is set)


def population(*cameras: Dict[str, Any], board_type: int = 16, **board: Any) -> Dict[str, Any]:
    """One board of ``board_type`` with ``cameras`` (one default camera when none given)."""
    return {"boards": [{"type": board_type, **board, "cameras": list(cameras) or [{}]}]}


def fire_until_frame(wait, board_type: int = 16, attempts: int = 20):
    """Fires the external line until ``wait`` returns a frame: a trigger that
    comes before the board waits for one is dropped, as on the wire."""
    from qor_bitflow import BFTimeout

    for _ in range(attempts - 1):
        simulator.fire_external_trigger(board_type)
        try:
            return wait(50)
        except BFTimeout:
            continue
    simulator.fire_external_trigger(board_type)
    return wait(500)


@pytest.fixture(autouse=True)
def fresh_simulator() -> Iterator[None]:
    simulator.reset()
    yield
    live = simulator.live_objects()
    simulator.reset()
    assert live.total == 0, f"the test left simulated objects alive: {live}"


@pytest.fixture
def fast_board() -> Dict[str, Any]:
    """A 640 x 480, 8-bit board at a frame every 2 ms, loaded."""
    config = population({"framePeriodMs": 2})
    simulator.load(config)
    return config
