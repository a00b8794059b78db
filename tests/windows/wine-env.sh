# shellcheck shell=sh
# Sourced by the wine scripts beside it: the environment every wine command
# here runs in. Headless (no display: MessageBoxA returns at once instead of
# waiting for a click), quiet, in the prefix given as $1, and without the
# .NET and HTML engines that a fresh prefix would otherwise try to install.
qor_wine_env() {
    unset DISPLAY WAYLAND_DISPLAY
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ -x /usr/lib/wine/wine64 ]; then
        QOR_WINE=/usr/lib/wine/wine64
    elif command -v wine64 >/dev/null 2>&1; then
        QOR_WINE=$(command -v wine64)
    else
        QOR_WINE=$(command -v wine)
    fi
    export WINELOADER="$QOR_WINE"
    mkdir -p "$WINEPREFIX"
}
