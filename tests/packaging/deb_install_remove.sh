#!/usr/bin/env bash
# Installs the Debian packages in the given folder with dpkg into a private
# root (its own dpkg database, so the machine's packages are never touched and
# no root is needed), uses the Python package once so that python3 leaves its
# byte-code beside it, then removes every package with `dpkg -r` and checks
# that removal is complete: no package left in any state (a package with
# conffiles or a postrm would stay "rc"), and not one file or folder left.
#
#   tests/packaging/deb_install_remove.sh PACKAGES-DIR WORK-DIR
set -euo pipefail

debs=$1
work=$2
fail() {
    echo "deb install/remove: $*" >&2
    exit 1
}

root=$work/root
admin=$work/dpkg
rm -rf "$work"
mkdir -p "$root" "$admin/info" "$admin/updates"
touch "$admin/status" "$admin/available"
# The C and C++ runtimes, libpng and friends are in the machine's database,
# not in this one: dependencies are not checked here (the stage checks the
# fields). Maintainer scripts run outside a chroot, seeing DPKG_ROOT.
in_root_dpkg() {
    dpkg --instdir="$root" --admindir="$admin" --log=/dev/null --force-not-root \
        --force-script-chrootless --force-depends "$@"
}

mapfile -t packages < <(find "$debs" -maxdepth 1 -name '*.deb' | sort)
[ "${#packages[@]}" -gt 0 ] || fail "no packages in $debs"
names=()
for deb in "${packages[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done

quietly() {
    local log
    log=$("$@" 2>&1) || { echo "$log" >&2; fail "$* failed"; }
}

quietly in_root_dpkg --install "${packages[@]}"
for name in "${names[@]}"; do
    [ "$(in_root_dpkg --status "$name" | sed -n 's/^Status: //p')" = "install ok installed" ] ||
        fail "$name did not install"
done

# The Python package from its packaged place, loading the packaged library
# through the loader's search as it would in /usr/lib.
if [ -d "$root/usr/lib/python3/dist-packages/qor_bitflow" ]; then
    env -u PYTHONDONTWRITEBYTECODE LD_LIBRARY_PATH="$root/usr/lib" PYTHONPATH="$root/usr/lib/python3/dist-packages" \
        /usr/bin/python3 -c '
import qor_bitflow
with qor_bitflow.Board() as board:
    assert board.snap().shape == (480, 640)
' || fail "the packaged Python package cannot snap a frame"
    [ -d "$root/usr/lib/python3/dist-packages/qor_bitflow/__pycache__" ] ||
        fail "python3 wrote no byte-code, so its clean-up goes untested"
fi

quietly in_root_dpkg --remove "${names[@]}"
for name in "${names[@]}"; do
    state=$(dpkg-query --admindir="$admin" -W -f='${db:Status-Abbrev}' "$name" 2>/dev/null || true)
    [ -z "$state" ] || [ "$state" = "un " ] || fail "$name is left in state '$state' after dpkg -r"
done
left=$(find "$root" -mindepth 1)
[ -z "$left" ] || fail "dpkg -r left these behind:
$left"
echo "deb install/remove: ${names[*]} installed and removed without a trace"
