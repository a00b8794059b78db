# Sourced by the scripts beside it: installs the Debian packages the build
# needs, only those missing, and only when something is missing.

# ccache lets the test command compile a source once for the plain build and
# the README's fresh-clone build alike. doxygen and graphviz make the API reference; pkg-config, dpkg-dev (for
# dpkg-shlibdeps) and file serve the packaging stage; python3 with numpy and
# pytest runs the Python package's tests, and python3-venv with python3-wheel
# let the README's getting-started test pip-install it offline. qor-grab:
# CLI11 for its command line, libpng and libtiff for its images
# (libtiff-tools: tiffinfo, which its tests use), cpp-httplib for its live
# viewer and Chromium to test that viewer in a real browser. The simulator
# replays TIFF files through libtiff; gnuplot-nox plots the benchmark figures; groff-base renders qor-grab's
# manual page in its test, failing on any warning. The GStreamer plugin builds against
# libgstreamer1.0-dev (which also ships gstcheck for its tests) and
# libgstreamer-plugins-base1.0-dev (video caps and buffer pools); its tests
# run gst-inspect-1.0 and gst-launch-1.0 (gstreamer1.0-tools) over elements of
# -plugins-base (videoconvert, appsink) and -plugins-good (rtpgstpay, udpsrc).
QOR_PACKAGES=(cmake ninja-build g++ ccache pkg-config libgtest-dev libbenchmark-dev nlohmann-json3-dev
              doxygen graphviz dpkg-dev file
              python3 python3-numpy python3-pytest python3-venv python3-wheel
              libcli11-dev libpng-dev libtiff-dev libtiff-tools libcpp-httplib-dev chromium
              gnuplot-nox groff-base
              libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
              gstreamer1.0-plugins-base gstreamer1.0-plugins-good)

qor_package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "Not a Debian system: make sure these are installed: ${QOR_PACKAGES[*]}" >&2
        return 0
    fi
    local missing=() package
    for package in "${QOR_PACKAGES[@]}"; do
        qor_package_installed "$package" || missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0

    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages, and installing them needs root: ${missing[*]}" >&2
            return 1
        fi
        as_root=(sudo)
    fi
    echo "Installing missing packages: ${missing[*]}"
    "${as_root[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
