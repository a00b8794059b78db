#!/usr/bin/env bash
# The packaging stage: installs the plain build (build/default, built first
# if needed) the ways a user would and uses it from outside the tree:
#   - installs every component, moves the tree elsewhere, and checks its
#     files, the SONAME, and that nothing in it points back into the build;
#   - asks the CMake package for versions and components it must grant or refuse,
#     also from an install without the simulator;
#   - builds the three examples against the moved tree, with CMake and with
#     pkg-config, runs them on the installed simulator and checks their output;
#   - makes the Debian packages, lists them, checks their fields and that
#     their binaries are stripped, unpacks them with dpkg-deb -x and builds and
#     runs snap against the unpacked tree, and installs and removes them with
#     dpkg in a private root (tests/packaging/deb_install_remove.sh; the
#     machine's own packages are never touched);
#   - follows the README's "Getting started" on a fresh clone, running its
#     commands as written (tests/packaging/getting_started.sh).
# Exits non-zero on the first failure.
#
#   scripts/packaging-stage.sh       # QOR_PACKAGING_WORK_DIR overrides build/packaging
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/default
work=${QOR_PACKAGING_WORK_DIR:-$root/build/packaging}
examples=$root/examples
probe=$root/tests/packaging/find_package_probe
check_pgm=$root/tests/packaging/check_pgm.py
version=1.0.0
started=$(date +%s)

# The default simulated board that the examples open.
readonly frame_width=640 frame_lines=480 frame_bits=8
# Warnings in the examples are errors: users copy them.
readonly strict_c="-Wall -Wextra -Wpedantic -Werror"

say() { printf '\n=== %s\n' "$*"; }
fail() {
    echo "packaging: $*" >&2
    exit 1
}

expect_files() {
    local tree=$1
    shift
    local file
    for file in "$@"; do
        [ -e "$tree/$file" ] || [ -L "$tree/$file" ] || fail "$tree: missing $file"
    done
}

expect_no_files() {
    local tree=$1
    shift
    local file
    for file in "$@"; do
        [ ! -e "$tree/$file" ] || fail "$tree: should not hold $file"
    done
}

install_components() {
    local prefix=$1
    shift
    rm -rf "$prefix"
    local component
    for component in "$@"; do
        cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
    done
}

# --- the installed tree ------------------------------------------------------

check_tree() {
    local tree=$1
    expect_files "$tree" include/qor_bitflow.h include/qor_bitflow/bfsim.h \
        lib/libqor_bitflow.so.$version lib/libqor_bitflow.so.1 lib/libqor_bitflow.so \
        lib/libCid.so lib/libBFD.so bin/qor-grab share/man/man1/qor-grab.1.gz \
        lib/cmake/qor_bitflow/qor_bitflowConfig.cmake \
        lib/cmake/qor_bitflow/qor_bitflowConfigVersion.cmake \
        lib/pkgconfig/qor_bitflow.pc lib/pkgconfig/qor_bitflow-simulator.pc \
        share/doc/qor_bitflow/README.md share/doc/qor_bitflow/guide.md \
        share/doc/qor_bitflow/html/index.html \
        share/doc/qor_bitflow/examples/snap/snap.c share/doc/qor_bitflow/examples/snap/CMakeLists.txt \
        share/doc/qor_bitflow/examples/chain/chain.cpp share/doc/qor_bitflow/examples/registers/registers.c \
        share/qor_bitflow/sim-examples/replay.json share/qor_bitflow/sim-examples/replay-frames/frame-00.pgm \
        lib/python3/dist-packages/qor_bitflow/__init__.py lib/python3/dist-packages/qor_bitflow/py.typed
    [ "$(readlink "$tree/lib/libqor_bitflow.so.1")" = "libqor_bitflow.so.$version" ] ||
        fail "libqor_bitflow.so.1 does not point at libqor_bitflow.so.$version"
    objdump -p "$tree/lib/libqor_bitflow.so.$version" | grep -q 'SONAME *libqor_bitflow\.so\.1$' ||
        fail "libqor_bitflow.so.$version lacks the SONAME libqor_bitflow.so.1"
    # A moved tree must not lean on the place it was built or installed at.
    if grep -rIl -e "$root" -e "$work" "$tree"; then
        fail "the files above name the source, build or install folder"
    fi
}

# --- the CMake package ---------------------------------------------------------

# probe PREFIX VERSION COMPONENTS EXPECTED-TARGETS|refused
probe() {
    local prefix=$1 want=$2 components=$3 expected=$4
    local dir=$work/probe log
    rm -rf "$dir"
    if ! log=$(cmake -S "$probe" -B "$dir" -DCMAKE_PREFIX_PATH="$prefix" \
        -DWANT_VERSION="$want" -DWANT_COMPONENTS="$components" 2>&1); then
        [ "$expected" = refused ] && return 0
        echo "$log" >&2
        fail "find_package(qor_bitflow $want COMPONENTS $components) refused"
    fi
    [ "$expected" != refused ] ||
        fail "find_package(qor_bitflow $want COMPONENTS $components) granted; should be refused"
    local got
    got=$(echo "$log" | sed -n 's/^-- target \(.*\): yes$/\1/p' | tr '\n' ' ')
    [ "$got" = "$expected" ] ||
        fail "find_package(qor_bitflow $want COMPONENTS $components) gave [$got], not [$expected]"
}

check_cmake_package() {
    local full=$1 without_simulator=$2
    local both="qor_bitflow::qor_bitflow qor_bitflow::simulator " only="qor_bitflow::qor_bitflow "
    probe "$full" 1.0 "" "$both"
    probe "$full" 1 "" "$both"
    probe "$full" $version simulator "$both"
    probe "$full" 1.1 "" refused    # a newer minor version than installed
    probe "$full" 2.0 "" refused    # another major version
    probe "$full" 0.9 "" refused
    probe "$full" 1.0 camera refused
    probe "$without_simulator" 1.0 "" "$only"
    probe "$without_simulator" 1.0 simulator refused
}

# --- the examples ----------------------------------------------------------------

build_examples_with_cmake() {
    local prefix=$1 out=$2 example
    for example in snap chain registers; do
        cmake -S "$examples/$example" -B "$out/$example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
            -DCMAKE_C_FLAGS="$strict_c" -DCMAKE_CXX_FLAGS="$strict_c" --no-warn-unused-cli >/dev/null
        cmake --build "$out/$example" >/dev/null
    done
}

build_examples_with_pkg_config() {
    local prefix=$1 out=$2
    mkdir -p "$out"
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    [ "$(pkg-config --modversion qor_bitflow)" = $version ] || fail "qor_bitflow.pc: wrong version"
    expect_files "$(pkg-config --variable=includedir qor_bitflow-simulator)" bfsim.h
    expect_files "$(pkg-config --variable=libdir qor_bitflow-simulator)" libCid.so libBFD.so
    local flags
    flags=$(pkg-config --cflags --libs qor_bitflow)
    # shellcheck disable=SC2086 # the flags are words
    cc -std=c11 $strict_c "$examples/snap/snap.c" $flags -o "$out/snap"
    # shellcheck disable=SC2086
    cc -std=c11 $strict_c "$examples/registers/registers.c" $flags -o "$out/registers"
    # shellcheck disable=SC2086
    c++ -std=c++17 $strict_c "$examples/chain/chain.cpp" $flags -o "$out/chain"
    unset PKG_CONFIG_PATH
}

# run_examples DIR: the programs in DIR/<name>[/<name>] on the simulator.
run_examples() {
    local dir=$1 out
    program() { if [ -x "$dir/$1/$1" ]; then echo "$dir/$1/$1"; else echo "$dir/$1"; fi; }

    (cd "$work" && "$(program snap)" "$dir/frame.pgm") >/dev/null
    "$check_pgm" "$dir/frame.pgm" $frame_width $frame_lines $frame_bits
    # A 12-bit camera's frame takes two bytes a sample in the file.
    local wide=$work/twelve-bits.json
    echo '{"boards": [{"type": 16, "cameras": [{"width": 320, "lines": 200, "bitDepth": 12,
           "bytesPerPixel": 2}]}]}' >"$wide"
    QOR_SIM_CONFIG=$wide "$(program snap)" "$dir/wide.pgm" >/dev/null
    "$check_pgm" "$dir/wide.pgm" 320 200 12

    out=$("$(program registers)" scratch 0xC0FFEE)
    grep -qx 'register SCRATCH has id 64' <<<"$out" || fail "registers: $out"
    grep -q 'wrote 0x00C0FFEE, read back 0x00C0FFEE$' <<<"$out" || fail "registers: $out"

    out=$("$(program chain)" 20 sw)
    [ "$(grep -c '^frame [0-9]*: wait count [1-9]' <<<"$out")" -eq 20 ] || fail "chain: $out"
    grep -qx 'frames: 20, ended: 20, missed: 0' <<<"$out" || fail "chain: $out"
    # A board whose external line fires by itself every 5 ms paces the frames.
    local external=$work/external-trigger.json
    echo '{"boards": [{"type": 16, "externalTriggerPeriodMs": 5}]}' >"$external"
    out=$(QOR_SIM_CONFIG=$external "$(program chain)" 10 ext)
    grep -q '^frames: 10, ' <<<"$out" || fail "chain with the external trigger: $out"

    # A failure names its status and says what it means.
    local none=$work/no-boards.json
    echo '{"boards": []}' >"$none"
    if out=$(QOR_SIM_CONFIG=$none "$(program snap)" "$dir/none.pgm" 2>&1); then
        fail "snap succeeded without boards"
    fi
    grep -q 'BF_Open failed: BF_E_NO_BOARD (5000): No board' <<<"$out" || fail "snap: $out"
}

# --- the Debian packages ------------------------------------------------------------

deb_field() { dpkg-deb -f "$1" "$2"; }

check_debs() {
    local debs=$build/packages
    rm -rf "$debs"
    (cd "$build" && cpack -G DEB >/dev/null)
    local runtime=$debs/qor-bitflow_${version}_amd64.deb
    local dev=$debs/qor-bitflow-dev_${version}_amd64.deb
    local simulator=$debs/qor-bitflow-simulator_${version}_amd64.deb
    local python=$debs/python3-qor-bitflow_${version}_all.deb
    local deb
    for deb in "$runtime" "$dev" "$simulator" "$python"; do
        [ -f "$deb" ] || fail "cpack made no $deb"
        echo "--- $(basename "$deb"): Depends: $(deb_field "$deb" Depends)"
        # Files and links only; the reference's pages as one line.
        dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ && $6 !~ /\/html\// { print "    " $6 ($7 ? " " $7 " " $8 : "") }
                                  $6 ~ /\/html\/./ { pages++ } END { if (pages) print "    (and " pages " pages of the API reference in html/)" }'
    done
    deb_field "$runtime" Depends | grep -q 'libstdc++6' || fail "qor-bitflow: no libstdc++6 dependency"
    [ "$(deb_field "$runtime" Recommends)" = qor-bitflow-simulator ] ||
        fail "qor-bitflow should recommend qor-bitflow-simulator"
    [ "$(deb_field "$dev" Depends)" = "qor-bitflow (= $version)" ] ||
        fail "qor-bitflow-dev should depend on qor-bitflow (= $version)"
    deb_field "$python" Depends | grep -q "^qor-bitflow (= $version), python3 (>= 3.9), python3-numpy$" ||
        fail "python3-qor-bitflow should depend on qor-bitflow (= $version), python3 and python3-numpy"
    [ "$(deb_field "$python" Architecture)" = all ] || fail "python3-qor-bitflow should be Architecture: all"
    for deb in "$runtime" "$simulator"; do
        [ -f "$debs/$(deb_field "$deb" Package)-dbgsym_${version}_amd64.ddeb" ] ||
            fail "no debug symbols package beside $(basename "$deb")"
    done

    local unpacked=$work/deb
    rm -rf "$unpacked"
    for deb in "$runtime" "$dev" "$simulator" "$python"; do
        mkdir -p "$unpacked/$(deb_field "$deb" Package)"
        dpkg-deb -x "$deb" "$unpacked/$(deb_field "$deb" Package)"
    done
    expect_files "$unpacked/qor-bitflow/usr" lib/libqor_bitflow.so.1 bin/qor-grab share/man/man1/qor-grab.1.gz
    expect_no_files "$unpacked/qor-bitflow/usr" include/qor_bitflow.h lib/libCid.so lib/libqor_bitflow.so
    expect_files "$unpacked/qor-bitflow-dev/usr" include/qor_bitflow.h lib/libqor_bitflow.so \
        lib/cmake/qor_bitflow/qor_bitflowConfig.cmake lib/pkgconfig/qor_bitflow.pc
    expect_no_files "$unpacked/qor-bitflow-dev/usr" lib/libqor_bitflow.so.$version lib/libCid.so
    expect_files "$unpacked/qor-bitflow-simulator/usr" lib/libCid.so lib/libBFD.so
    expect_no_files "$unpacked/qor-bitflow-simulator/usr" lib/libqor_bitflow.so.$version
    expect_files "$unpacked/qor-bitflow-simulator/usr/share/qor_bitflow/sim-examples" \
        scene-30fps.json small-roi-10khz.json replay.json replay-frames/frame-00.pgm
    expect_files "$unpacked/python3-qor-bitflow/usr/lib/python3/dist-packages/qor_bitflow" \
        __init__.py board.py py.typed
    local unstripped
    unstripped=$(find "$unpacked" -type f -exec file {} + | grep 'ELF.*not stripped' || true)
    [ -z "$unstripped" ] || fail "binaries in the packages are not stripped: $unstripped"

    # Together the three make a system tree; a host builds and runs against it.
    local merged=$work/deb-root
    rm -rf "$merged"
    mkdir -p "$merged"
    for deb in "$runtime" "$dev" "$simulator"; do dpkg-deb -x "$deb" "$merged"; done
    cmake -S "$examples/snap" -B "$work/deb-snap" -G Ninja -DCMAKE_PREFIX_PATH="$merged/usr" >/dev/null
    cmake --build "$work/deb-snap" >/dev/null
    (cd "$work" && "$work/deb-snap/snap" "$work/deb-snap/frame.pgm") >/dev/null
    "$check_pgm" "$work/deb-snap/frame.pgm" $frame_width $frame_lines $frame_bits
    "$merged/usr/bin/qor-grab" list | grep -q '^0 ' || fail "qor-grab from the packages lists no board"
    QOR_SIM_CONFIG=$merged/usr/share/qor_bitflow/sim-examples/replay.json "$merged/usr/bin/qor-grab" \
        chain --frames 4 >/dev/null || fail "the packaged replay example does not run"

    bash "$root/tests/packaging/deb_install_remove.sh" "$debs" "$work/dpkg-root"
}

say "Plain build (a no-op when scripts/test.sh has just made it)"
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --parallel "${QOR_JOBS:-2}" >/dev/null

say "Install every component, then move the tree"
rm -rf "$work"
mkdir -p "$work"
install_components "$work/installed" runtime development simulator python
mv "$work/installed" "$work/moved"
moved=$work/moved
find "$moved" -type f | sed "s|^$moved/|    |" | sort
check_tree "$moved"
"$moved/bin/qor-grab" list | grep -q '^0 ' || fail "installed qor-grab lists no board"

say "CMake package: versions and components"
install_components "$work/no-simulator" runtime development
expect_no_files "$work/no-simulator" lib/libCid.so lib/libBFD.so include/qor_bitflow/bfsim.h
check_cmake_package "$moved" "$work/no-simulator"

say "Examples built with CMake against the moved tree"
build_examples_with_cmake "$moved" "$work/cmake-examples"
run_examples "$work/cmake-examples"

say "Examples built with pkg-config against the moved tree"
build_examples_with_pkg_config "$moved" "$work/pkg-config-examples"
LD_LIBRARY_PATH=$moved/lib run_examples "$work/pkg-config-examples"

say "Debian packages"
check_debs

say "The README's Getting started, followed on a fresh clone"
bash "$root/tests/packaging/getting_started.sh" "$work/getting-started"

say "Packaging stage passed in $(( $(date +%s) - started )) s"
