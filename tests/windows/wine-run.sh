#!/bin/sh
# Runs one Windows program under wine, as CTest's cross-compiling emulator:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The program's exit status is passed on; a program still running after
# QOR_WINE_TIMEOUT seconds (default 300) is killed and fails with 124.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/wine-env.sh
. "$here/wine-env.sh"
qor_wine_env "$1"
shift
exec timeout -k 10 "${QOR_WINE_TIMEOUT:-300}" "$QOR_WINE" "$@"
