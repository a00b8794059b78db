#!/usr/bin/python3
"""Checks a frame written by the snap example:

    check_pgm.py FILE WIDTH LINES BITS

The file must be a binary PGM of exactly that size and depth, holding the
simulated boards' test pattern: pixel (x, y) of frame f is (x + y + f) mod
2^BITS. The first line carries the frame number, so the pattern is checked
on every other line, with f taken from the first pixel of the second line.
"""
import sys


def read_pgm(path):
    with open(path, "rb") as file:
        data = file.read()
    fields = []
    position = 0
    # Magic, width, height, maxval, each followed by one whitespace byte.
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    position += 1
    magic, width, lines, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    return magic, width, lines, maxval, data[position:]


def samples(pixels, width, lines, maxval):
    size = 1 if maxval < 256 else 2
    if size == 1:
        return list(pixels), size
    return [pixels[i] << 8 | pixels[i + 1] for i in range(0, len(pixels), 2)], size


def main(path, width, lines, bits):
    magic, got_width, got_lines, maxval, pixels = read_pgm(path)
    problems = []
    if magic != b"P5":
        problems.append(f"magic {magic!r}, not P5")
    if (got_width, got_lines) != (width, lines):
        problems.append(f"{got_width} x {got_lines} pixels, not {width} x {lines}")
    if maxval != (1 << bits) - 1:
        problems.append(f"maxval {maxval}, not {(1 << bits) - 1}")
    if problems:
        return problems
    values, size = samples(pixels, width, lines, maxval)
    if len(pixels) != width * lines * size:
        return [f"{len(pixels)} bytes of pixels, not {width * lines * size}"]
    modulus = 1 << bits
    frame = (values[width] - 1) % modulus
    for y in range(1, lines):
        for x in range(width):
            want = (x + y + frame) % modulus
            if values[y * width + x] != want:
                return [f"pixel ({x}, {y}) is {values[y * width + x]}, not {want} (frame {frame})"]
    return []


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    found = main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]))
    for problem in found:
        print(f"{sys.argv[1]}: {problem}", file=sys.stderr)
    sys.exit(1 if found else 0)
