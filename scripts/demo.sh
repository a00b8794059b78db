#!/usr/bin/env bash
# The main job: builds qor-grab in the plain build, lists the simulated
# boards and grabs 100 frames through a chain of 4 buffers from the default
# board, writing them as PNG files (into $1, default build/demo-frames).
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages

cmake --preset default
cmake --build --preset default --parallel "${QOR_JOBS:-2}" --target qor-grab

GRAB=build/default/bin/qor-grab
OUT="${1:-build/demo-frames}"
"$GRAB" list
"$GRAB" chain --buffers 4 --frames 100 --out "$OUT"
echo "Frames written to $OUT"
