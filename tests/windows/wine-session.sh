#!/bin/sh
# Starts or stops the wine server that a whole test run shares:
#   wine-session.sh start|stop PREFIX
# Without a persistent server every program's exit leaves the server
# lingering for seconds before the next program may start; "start" also makes
# the prefix if it is new, so tests running in parallel find it ready.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/wine-env.sh
. "$here/wine-env.sh"
qor_wine_env "$2"
case "$1" in
start)
    # The server outlives this script: it must not hold on to the caller's
    # output, or a caller reading it (CTest) waits for the server to exit.
    # A server already running (started by scripts/windows-stage.sh) is
    # refused a second time; the command below then shows wine works.
    timeout 60 wineserver -p </dev/null >/dev/null 2>&1 || true
    # A new prefix reports each step of its creation on stderr; keep that
    # out of the log unless the creation fails.
    if ! timeout 180 "$QOR_WINE" cmd /c exit </dev/null >"$WINEPREFIX/start.log" 2>&1; then
        cat "$WINEPREFIX/start.log" >&2
        exit 1
    fi
    ;;
stop)
    timeout 30 wineserver -k || true
    timeout 30 wineserver -w || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
