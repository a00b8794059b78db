#!/usr/bin/env python3
"""Snap one frame and save it as a binary PGM file, with numpy only.

    python3 snap.py [--family 1] [--board 0] [--camera N] [--out frame.pgm]

Frames of one byte per pixel are written as 8-bit PGM; wider ones as 16-bit
big-endian PGM with maxval 2**depth - 1 (deeper pixels keep their top 16 bits).
"""
from __future__ import annotations

import argparse
import sys

import numpy as np

import qor_bitflow

PGM_WIDEST_BITS = 16


def pgm_bytes(frame: np.ndarray, bit_depth: int) -> bytes:
    """The frame as a binary PGM file."""
    lines, width = frame.shape
    if frame.dtype == np.uint8:
        maxval, pixels = 255, frame
    else:
        shift = max(bit_depth - PGM_WIDEST_BITS, 0)
        maxval = (1 << min(bit_depth, PGM_WIDEST_BITS)) - 1
        pixels = (frame >> shift).astype(">u2")
    return f"P5\n{width} {lines}\n{maxval}\n".encode("ascii") + pixels.tobytes()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--family", type=int, default=1, help="board family, 0 to 3 (default 1)")
    parser.add_argument("--board", type=int, default=0, help="board number within the family")
    parser.add_argument("--camera", type=int, default=None, help="camera to select")
    parser.add_argument("--out", default="frame.pgm", help="file to write (default frame.pgm)")
    options = parser.parse_args()
    try:
        with qor_bitflow.Board(options.family, options.board, options.camera) as board:
            frame = board.snap()
            depth = board.bit_depth
    except (qor_bitflow.BFError, OSError, ValueError) as failure:
        print(f"snap.py: {failure}", file=sys.stderr)
        return 1
    with open(options.out, "wb") as out:
        out.write(pgm_bytes(frame, depth))
    print(f"{options.out}: {frame.shape[1]} x {frame.shape[0]}, {depth} bits, mean {frame.mean():.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
