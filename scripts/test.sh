#!/usr/bin/env bash
# The test command: installs what is missing, then builds and runs every
# test in the plain build and under AddressSanitizer and UBSan, runs the
# suites that use threads under ThreadSanitizer, builds the
# benchmarks (part of the plain build), and runs the Windows stage if the
# tree has one.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages

# The machines this runs on have two cores; more jobs only thrash.
JOBS="${QOR_JOBS:-2}"

for preset in default sanitize; do
    echo "== $preset: configure, build, test"
    cmake --preset "$preset"
    cmake --build --preset "$preset" --parallel "$JOBS"
    ctest --preset "$preset"
done

# The suites that run threads (simulator, end-to-end, concurrency) again
# under ThreadSanitizer; the preset builds only those.
echo "== tsan: configure, build, test"
cmake --preset tsan
cmake --build --preset tsan --parallel "$JOBS"
ctest --preset tsan

if [ -f scripts/windows-stage.sh ]; then
    echo "== windows"
    bash scripts/windows-stage.sh
fi
echo "All tests passed."
