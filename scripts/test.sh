#!/usr/bin/env bash
# The test command: installs what is missing, then builds and runs every
# test in the plain build and under AddressSanitizer and UBSan, runs the
# suites that use threads under ThreadSanitizer, builds the benchmarks and
# the API reference (part of the plain build), installs and packages the
# plain build and uses it from outside (the packaging stage), runs the Python
# package's tests against the plain build and the installed tree, and runs
# the Windows stage if the tree has one.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ensure_packages

# The machines this runs on have two cores; more jobs only thrash.
JOBS="${QOR_JOBS:-2}"

# One compiler cache for the run: the packaging stage follows the README on a
# fresh clone inside build/, whose build compiles the plain build's sources
# with the plain build's flags, and finds them there instead of compiling
# everything a second time. Paths are taken relative to the checkout, so the
# clone's build directory, as deep in its tree as ours in ours, hits.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}" CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
fi

# The plain preset leaves out the tests, benchmarks and reference where their
# packages are missing; here every part is required.
every_part=(-DQOR_BUILD_TESTS=ON -DQOR_BUILD_BENCH=ON -DQOR_BUILD_DOCS=ON)

for preset in default sanitize; do
    echo "== $preset: configure, build, test"
    if [ "$preset" = default ]; then
        cmake --preset "$preset" "${every_part[@]}"
    else
        cmake --preset "$preset"
    fi
    cmake --build --preset "$preset" --parallel "$JOBS"
    ctest --preset "$preset"
    if [ "$preset" = default ]; then
        echo "== packaging"
        bash scripts/packaging-stage.sh
    fi
done

# The suites that run threads (simulator, end-to-end, concurrency) again
# under ThreadSanitizer; the preset builds only those.
echo "== tsan: configure, build, test"
cmake --preset tsan
cmake --build --preset tsan --parallel "$JOBS"
ctest --preset tsan

# run_python_suite LIBRARY: the Python package's tests against that build of
# the library, with Debian's interpreter (the one that has numpy and pytest).
run_python_suite() {
    local status=0
    (cd python && QOR_BITFLOW_LIBRARY="$1" PYTHONDONTWRITEBYTECODE=1 \
        /usr/bin/python3 -m pytest -q) || status=$?
    if [ "$status" -eq 5 ]; then
        echo "pytest collected no tests: the Python suite is missing" >&2
        exit 1
    fi
    [ "$status" -eq 0 ] || exit "$status"
}

echo "== python: the qor_bitflow package against the plain build"
run_python_suite "$PWD/build/default/bin/libqor_bitflow.so.1"
echo "== python: the qor_bitflow package against the installed tree"
run_python_suite "$PWD/build/packaging/moved/lib/libqor_bitflow.so.1"

if [ -f scripts/windows-stage.sh ]; then
    echo "== windows"
    bash scripts/windows-stage.sh
fi
echo "All tests passed."
