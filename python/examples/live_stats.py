#!/usr/bin/env python3
"""Grab through a buffer chain for some seconds, printing frames per second,
missed frames and the mean pixel value once a second.

    python3 live_stats.py [--seconds 5] [--buffers 4] [--family 1] [--board 0]

The loop only waits for frames; the mean is taken of the latest frame at each
report, so the figures show what the Python loop itself sustains.
"""
from __future__ import annotations

import argparse
import sys
import time

import qor_bitflow

REPORT_EVERY_S = 1.0


def run(board: qor_bitflow.Board, seconds: float, buffers: int) -> None:
    with board.chain(buffers) as chain:
        chain.start()
        start = last_report = time.perf_counter()
        received_then = 0
        frame = None
        while True:
            frame = chain.wait()
            now = time.perf_counter()
            if now - last_report >= REPORT_EVERY_S or now - start >= seconds:
                fps = (chain.frames_received - received_then) / (now - last_report)
                print(f"{now - start:6.1f} s  {fps:8.1f} frames/s  {chain.missed:6d} missed  "
                      f"mean {frame.array.mean():7.2f}", flush=True)
                last_report, received_then = now, chain.frames_received
            if now - start >= seconds:
                break
        chain.stop()
        elapsed = time.perf_counter() - start
    print(f"{chain.frames_received} frames in {elapsed:.2f} s: {chain.frames_received / elapsed:.1f} frames/s, "
          f"{chain.missed} missed")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=5.0, help="how long to grab (default 5)")
    parser.add_argument("--buffers", type=int, default=4, help="buffers in the chain (default 4)")
    parser.add_argument("--family", type=int, default=1, help="board family, 0 to 3 (default 1)")
    parser.add_argument("--board", type=int, default=0, help="board number within the family")
    options = parser.parse_args()
    try:
        with qor_bitflow.Board(options.family, options.board) as board:
            print(f"{board.width} x {board.lines}, {board.bit_depth} bits, {options.buffers} buffers")
            run(board, options.seconds, options.buffers)
    except (qor_bitflow.BFError, OSError, ValueError) as failure:
        print(f"live_stats.py: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
