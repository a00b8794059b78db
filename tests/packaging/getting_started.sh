#!/usr/bin/env bash
# Follows the README's "Getting started" as a new user would, on a fresh
# clone of this repository (its committed state): runs each block of commands
# the README marks with <!-- getting-started: NAME -->, exactly as written,
# so the section and this test cannot drift apart. Two steps differ, since a
# test must not change the machine: the packages block is checked to be
# installed rather than installed, and the `sudo apt install ./…deb` line
# unpacks those same packages into a private root, which the programs are
# then built and run against. The package list is also shown to be enough
# without the test, benchmark and reference packages: the library and
# qor-grab build once more with those hidden from CMake.
#
#   tests/packaging/getting_started.sh [WORK_DIR]    # default build/getting-started
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=${1:-$root/build/getting-started}
mkdir -p "$work"
work=$(cd "$work" && pwd)
readme=$root/README.md
clone=$work/src
system=$work/root
code=$work/code

say() { printf -- '--- getting started: %s\n' "$*"; }
fail() {
    echo "getting started: $*" >&2
    exit 1
}

# block NAME: the fenced block that follows the README's marker NAME.
block() {
    local text
    text=$(awk -v marker="<!-- getting-started: $1 -->" '
        $0 == marker { state = 1; next }
        state == 1 && /^```/ { state = 2; next }
        state == 2 && /^```/ { exit }
        state == 2 { print }' "$readme")
    [ -n "$text" ] || fail "README.md has no block after <!-- getting-started: $1 -->"
    printf '%s\n' "$text"
}

# run_block NAME DIR: the block's commands, as one shell script, in DIR,
# with Debian's own programs first on PATH (`python3` is Debian's there,
# not whichever interpreter this machine's user prefers).
run_block() {
    (cd "$2" && PATH=/usr/bin:/bin:$PATH bash -euo pipefail -c "$(block "$1")")
}

# The words after `apt install` in a block, its continuation lines joined.
apt_arguments() {
    block "$1" | sed -e ':a' -e '/\\$/N; s/\\\n//; ta' | sed -n 's/^sudo apt install //p'
}

check_packages_installed() {
    local package missing=()
    for package in $(apt_arguments packages); do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] || fail "the README's packages are not all installed: ${missing[*]}"
}

build_without_optional_packages() {
    cmake --preset default -S "$clone" -B "$clone/build/minimal" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON -DCMAKE_DISABLE_FIND_PACKAGE_Doxygen=ON >/dev/null
    cmake --build "$clone/build/minimal" --target qor-grab >/dev/null
    "$clone/build/minimal/bin/qor-grab" list | grep -q '^0 ' ||
        fail "qor-grab built without the optional packages lists no board"
}

# The debs block, with its apt line unpacking the packages it names instead.
make_and_unpack_packages() {
    local line deb
    while IFS= read -r line; do
        if [[ $line == "sudo apt install "* ]]; then
            local debs=()
            # The line's own words, its glob expanded as the shell would.
            mapfile -t debs < <(cd "$clone" && eval "printf '%s\n' ${line#sudo apt install }")
            [ "${#debs[@]}" -ge 4 ] || fail "the apt line names ${#debs[@]} packages: ${debs[*]}"
            rm -rf "$system"
            for deb in "${debs[@]}"; do
                [ -f "$clone/$deb" ] || fail "the apt line names $deb, which the build did not make"
                dpkg-deb -x "$clone/$deb" "$system"
            done
        else
            (cd "$clone" && bash -euo pipefail -c "$line") >/dev/null
        fi
    done < <(block debs)
}

build_snippets() {
    rm -rf "$code"
    mkdir -p "$code"
    block snap.c >"$code/snap.c"
    block chain.cpp >"$code/chain.cpp"
    local strict="-Wall -Wextra -Wpedantic -Werror" flags out
    export PKG_CONFIG_PATH=$system/usr/lib/pkgconfig LD_LIBRARY_PATH=$system/usr/lib
    # Users copy these: no warnings either.
    flags=$(pkg-config --cflags --libs qor_bitflow)
    # shellcheck disable=SC2086 # the flags are words
    cc $strict -c "$code/snap.c" -o "$code/strict-snap.o" $flags
    # shellcheck disable=SC2086
    c++ $strict -c "$code/chain.cpp" -o "$code/strict-chain.o" $flags
    out=$(run_block compile "$code")
    awk '{ print "    " $0 }' <<<"$out"
    grep -qx '640 x 480, 8 bits: pixel (9, 0) is [0-9]*' <<<"$out" || fail "snap printed: $out"
    grep -qx '100 frames of 640 x 480, [0-9]* missed' <<<"$out" || fail "chain printed: $out"
    unset PKG_CONFIG_PATH LD_LIBRARY_PATH
}

say "a fresh clone in $clone"
rm -rf "$work"
mkdir -p "$work"
git clone --quiet "$root" "$clone"

say "the packages"
check_packages_installed
build_without_optional_packages

say "the build"
out=$(run_block build "$clone" 2>&1)
grep -q '^0 ' <<<"$out" || fail "the build block's qor-grab list shows no board: $out"

say "the Debian packages"
make_and_unpack_packages
if [ ! -x "$system/usr/bin/qor-grab" ] || [ ! -d "$system/usr/lib/python3/dist-packages/qor_bitflow" ]; then
    fail "the packages lack qor-grab or the Python package"
fi

say "the Python package"
out=$(run_block python "$clone" 2>&1)
[ "$(tail -n 1 <<<"$out")" = "(480, 640)" ] || fail "the Python block printed: $out"

say "the C and C++ programs"
build_snippets
say "followed to the end"
