#!/usr/bin/env bash
# Installs every Debian package that building, testing and demonstrating the
# tool needs. Safe to run again: it asks apt only for what is missing.
#   --windows   also what the Windows build and its tests need (make windows, make test-windows)
set -euo pipefail

packages=(
    # build: Qt 5 (the default) and Qt 6 (make QT=6), each with its translation tools; Qt 6's widgets want libgl-dev
    build-essential cmake ninja-build pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools qt5-qmake
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
    # the manual pages are made from the programs' own --help
    help2man
    # tests: OpenSSL is the independent oracle for the frame cipher; clang builds the fuzzer
    libssl-dev clang libclang-rt-14-dev
    # private network namespace for every test that opens a socket
    iproute2 util-linux mount
    # running the window without a display, driving it and photographing it (the demo, the screenshots);
    # a CJK font, or the Chinese captions show as empty boxes
    xvfb xauth imagemagick xdotool fonts-wqy-microhei
    # the benchmark watches the virtual display for the window being mapped
    libxcb1-dev
    # the Debian package: dpkg-shlibdeps (dpkg-dev) and file find the libraries it depends on; lintian checks it;
    # bash-completion is where the completion of kestrelctl is checked
    dpkg-dev file desktop-file-utils lintian bash-completion
)

if [ "${1:-}" = "--windows" ]; then
    packages+=(
        # the cross compilers with the posix thread model (std::thread, std::mutex), which Qt needs
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
        # running the Windows programs and tests; the installer; the zip
        wine wine64 fonts-wine nsis zip
        # apt-get source unpacks Qt's source package with dpkg-source
        dpkg-dev
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo=(sudo)
    else
        echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
fi

echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
