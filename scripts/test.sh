#!/usr/bin/env bash
# The test command: installs what is missing, then builds and runs every
# test in the plain build and under AddressSanitizer and UBSan, builds the
# benchmarks (part of the plain build), and runs the Windows stage if the
# tree has one; the Python package's tests run against the plain build.
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

echo "== python: the qor_bitflow package against the plain build"
# Debian's interpreter: it is the one that has numpy and pytest.
python_status=0
(cd python && QOR_BITFLOW_LIBRARY="$PWD/../build/default/bin/libqor_bitflow.so" \
    PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pytest -q) || python_status=$?
if [ "$python_status" -eq 5 ]; then
    echo "pytest collected no tests: the Python suite is missing" >&2
    exit 1
fi
[ "$python_status" -eq 0 ] || exit "$python_status"

if [ -f scripts/windows-stage.sh ]; then
    echo "== windows"
    bash scripts/windows-stage.sh
fi
echo "All tests passed."
