#!/usr/bin/env bash
# The Windows archive as a user gets it: makes qor_bitflow-<version>-win64.zip
# with CPack from the cross build, checks its listing and its MSVC import
# library, unpacks it into an empty folder, puts the simulated DLLs beside the
# programs, runs qor-grab.exe list, and cross-builds the snap example against
# the unpacked archive (with CMake, and linked straight to qor_bitflow.lib)
# and runs it, checking the frame it writes. Programs run under wine in the
# given prefix, whose server the caller has started.
#
#   check-zip.sh BUILD_DIR WINE_PREFIX
set -euo pipefail

build=$(cd "$1" && pwd)
prefix=$(cd "$2" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run=$root/tests/windows/wine-run.sh
check_pgm=$root/tests/packaging/check_pgm.py
work=$build/zip-check
version=1.0.0
zip=$build/packages/qor_bitflow-$version-win64.zip

# The simulator's default board, which snap opens.
readonly frame_width=640 frame_lines=480 frame_bits=8
readonly required=(bin/qor_bitflow.dll bin/qor-grab.exe lib/libqor_bitflow.dll.a lib/qor_bitflow.lib
                   include/qor_bitflow.h simulator/Cid.dll simulator/BFD.dll
                   lib/cmake/qor_bitflow/qor_bitflowConfig.cmake lib/pkgconfig/qor_bitflow.pc
                   share/doc/qor_bitflow/README.md share/doc/qor_bitflow/guide.md
                   share/doc/qor_bitflow/html/index.html share/doc/qor_bitflow/examples/snap/snap.c
                   share/doc/qor_bitflow/examples/chain/chain.cpp
                   share/doc/qor_bitflow/examples/registers/registers.c
                   share/man/man1/qor-grab.1 python/qor_bitflow/__init__.py python/qor_bitflow/py.typed)
# The vendor's names: never where a host would load them by mistake.
readonly forbidden=(bin/Cid.dll bin/BFD.dll)

fail() {
    echo "check-zip: $*" >&2
    exit 1
}

rm -rf "$build/packages" "$work"
(cd "$build" && cpack -G ZIP >/dev/null)
[ -f "$zip" ] || fail "cpack made no $zip"

listing=$(cd "$build" && cmake -E tar tf "$zip")
echo "$listing" | grep -v '/html/.' | grep -v '/$' | sed 's/^/    /'
echo "    (and $(echo "$listing" | grep -c '/html/.') pages of the API reference in share/doc/qor_bitflow/html/)"
for entry in "${required[@]}"; do
    grep -qx "$entry" <<<"$listing" || fail "the archive lacks $entry"
done
for entry in "${forbidden[@]}"; do
    ! grep -qx "$entry" <<<"$listing" || fail "the archive holds $entry"
done

mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
tree=$work/unpacked
cmake -DCHECK=import-library -DNM=x86_64-w64-mingw32-nm -DIMPLIB="$tree/lib/qor_bitflow.lib" \
    -DDEF="$root/exports/qor_bitflow.def" -P "$root/tests/windows/check_artifacts.cmake"
cp "$tree"/simulator/*.dll "$tree/bin/"

echo "--- qor-grab.exe list"
out=$("$run" "$prefix" "$tree/bin/qor-grab.exe" list)
echo "$out"
grep -q '^0 ' <<<"$out" || fail "qor-grab.exe lists no board"

# snap, built as a host would: CMake finds the package in the unpacked tree.
# (CMAKE_PREFIX_PATH would be searched inside the cross sysroot; the
# package folder itself is not.)
cmake -S "$root/examples/snap" -B "$work/snap" -G Ninja \
    --toolchain "$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -Dqor_bitflow_DIR="$tree/lib/cmake/qor_bitflow" >/dev/null
cmake --build "$work/snap" >/dev/null
cp "$work/snap/snap.exe" "$tree/bin/"
# and linked straight to the MSVC-style import library.
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Wextra -Werror -I"$tree/include" \
    "$root/examples/snap/snap.c" "$tree/lib/qor_bitflow.lib" -o "$tree/bin/snap-lib.exe"

for program in snap snap-lib; do
    echo "--- $program.exe"
    (cd "$work" && "$run" "$prefix" "$tree/bin/$program.exe" "$program.pgm")
    "$check_pgm" "$work/$program.pgm" $frame_width $frame_lines $frame_bits
done
echo "Windows archive: $(basename "$zip") checked"
