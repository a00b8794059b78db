#!/usr/bin/env bash
# The Windows stage: cross-builds qor_bitflow.dll and the simulated Cid.dll
# and BFD.dll with mingw-w64, checks the DLLs' export and import tables,
# runs every test suite and the host lifecycle under wine, headless, and
# makes and checks the Windows archive (tests/windows/check-zip.sh).
# Installs what it needs from Debian when missing. Exits non-zero on any failure.
#
#   scripts/windows-stage.sh            # from anywhere in the repository
#   QOR_WINDOWS_BUILD_DIR=... overrides the build folder (default build/windows)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QOR_WINDOWS_BUILD_DIR:-$root/build/windows}
prefix=$build/wineprefix
session=$root/tests/windows/wine-session.sh
started=$(date +%s)

# Bounds for the whole test run and for each wine program in it.
readonly ctest_timeout_s=900
export QOR_WINE_TIMEOUT=${QOR_WINE_TIMEOUT:-300}

readonly packages=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                   wine wine64 googletest nlohmann-json3-dev doxygen graphviz libcli11-dev)

say() { printf '\n=== %s\n' "$*"; }

install_missing_packages() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        echo "all packages present"
        return
    fi
    echo "installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# The DLL's tables as objdump prints them, for the log.
print_tables() {
    local dll=$build/bin/qor_bitflow.dll
    x86_64-w64-mingw32-objdump -p "$dll" |
        sed -n -e '/^Name /p' -e '/^\[Ordinal\/Name Pointer\] Table/,/^$/p'
    x86_64-w64-mingw32-objdump -p "$dll" | grep 'DLL Name:'
}

stop_wine() {
    if [ -d "$prefix" ]; then
        "$session" stop "$prefix" >/dev/null 2>&1 || true
    fi
}

# Never a display: MessageBoxA must return at once rather than wait for a click.
unset DISPLAY WAYLAND_DISPLAY

say "Packages"
install_missing_packages

say "Configure and build (preset windows)"
cd "$root"
if [ -n "${QOR_WINDOWS_BUILD_DIR:-}" ]; then
    cmake --preset windows -B "$build" >/dev/null
else
    cmake --preset windows >/dev/null
fi
cmake --build "$build" -j "$(nproc)"

say "qor_bitflow.dll export and import tables"
print_tables

say "Tests under wine (a fresh prefix in $prefix)"
stop_wine
rm -rf "$prefix"
trap stop_wine EXIT
"$session" start "$prefix"
status=0
timeout "$ctest_timeout_s" ctest --test-dir "$build" --output-on-failure -j "$(nproc)" \
    --timeout 300 || status=$?

say "The Windows archive, unpacked and used under wine"
zip_status=0
bash "$root/tests/windows/check-zip.sh" "$build" "$prefix" || zip_status=$?
[ $status -ne 0 ] || status=$zip_status
stop_wine

say "Windows stage: $( [ $status -eq 0 ] && echo passed || echo "FAILED ($status)" ) in $(( $(date +%s) - started )) s"
exit $status
