#!/usr/bin/env bash
# Builds Qt 5.15.8 for 64-bit Windows (x86_64-w64-mingw32) from Debian's own source package, once per machine,
# into a cache outside the tree: Core, Gui, Network, Widgets, Test and the qwindows platform plugin, shared and
# release. Later runs find the stamp file and return at once.
#
# The source comes through apt with a private configuration (its own source list, lists and cache under the
# cache directory); the machine's own apt sources are never changed.
#
#   scripts/build-qt-windows.sh [PREFIX]      PREFIX defaults to $KESTREL_QT_WIN_PREFIX or
#                                             /var/cache/kestrel/qt-5.15.8-win64
set -euo pipefail

qt_version=5.15.8
prefix=${1:-${KESTREL_QT_WIN_PREFIX:-/var/cache/kestrel/qt-$qt_version-win64}}
work=${KESTREL_QT_WIN_WORK:-$(dirname "$prefix")/qt-$qt_version-win64-work}
stamp=$prefix/.kestrel-qt-complete
jobs=${JOBS:-$(nproc)}
triple=x86_64-w64-mingw32

if [ -f "$stamp" ]; then
    echo "build-qt-windows: Qt $qt_version for Windows is in $prefix (built $(cat "$stamp"))"
    exit 0
fi

"$(dirname "$0")/install-deps.sh" --windows

for tool in $triple-g++-posix $triple-gcc-posix $triple-windres dpkg-source; do
    command -v "$tool" >/dev/null || { echo "build-qt-windows: $tool is missing" >&2; exit 1; }
done

mkdir -p "$work"
started=$(date +%s)

# --- the source, through a private apt configuration -----------------------------------------------------------
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
# The mirror the machine already uses for Debian 12, with source indexes added only here.
mirror=$(grep -rhoE 'https?://[^ ]*debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
             | grep -v security | head -n1 | tr -d ' ' || true)
mirror=${mirror:-http://deb.debian.org/debian/}
cat > "$apt_dir/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/}-security bookworm-security main
LIST
apt_private=(
    -o Dir::Etc::SourceList="$apt_dir/sources.list"
    -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir/cache"
    -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache=""
    -o APT::Sandbox::User=root
)

src_parent=$work/source
if ! ls -d "$src_parent"/qtbase-opensource-src-"$qt_version"*/ >/dev/null 2>&1; then
    echo "build-qt-windows: fetching the source of qtbase-opensource-src $qt_version"
    apt-get "${apt_private[@]}" update -qq
    rm -rf "$src_parent" && mkdir -p "$src_parent"
    (cd "$src_parent" && apt-get "${apt_private[@]}" source -qq qtbase-opensource-src)
fi
src=$(ls -d "$src_parent"/qtbase-opensource-src-"$qt_version"*/ | head -n1)
src=${src%/}

# --- configure and build, out of the source tree ----------------------------------------------------------------
# The posix thread model: the win32-g++ spec calls x86_64-w64-mingw32-g++, which Debian points at the win32 model
# unless update-alternatives says otherwise, so the -posix compilers are put first on PATH under the plain names.
shim=$work/posix-compilers
mkdir -p "$shim"
for tool in gcc g++; do
    ln -sf "$(command -v $triple-$tool-posix)" "$shim/$triple-$tool"
done
export PATH=$shim:$PATH

build=$work/build
mkdir -p "$build"
if [ ! -f "$build/Makefile" ]; then
    echo "build-qt-windows: configuring in $build"
    # Debian's posix-thread mingw-w64 (std::thread, std::mutex). No OpenGL (the window paints with the raster
    # engine), no D-Bus, no ICU, no OpenSSL (the programs speak UDP only), the bundled third-party libraries.
    # Debian's source leaves out Qt's bundled wintab.h, so the tablet feature goes. Whatever the programs do not
    # use is left out, to keep the build short: SQL, XML, Concurrent, printing, Direct2D, bearer plugins, JPEG,
    # FreeType (Windows draws text with its own font engine).
    (cd "$build" && "$src/configure" \
        -prefix "$prefix" \
        -xplatform win32-g++ -device-option CROSS_COMPILE=$triple- \
        -release -shared -opensource -confirm-license \
        -opengl no -no-dbus -no-icu -no-openssl -no-fontconfig \
        -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -no-freetype -qt-harfbuzz \
        -no-feature-tabletevent -no-feature-sql -no-feature-printer -no-feature-concurrent -no-feature-xml \
        -no-feature-direct2d -no-feature-bearermanagement \
        -nomake examples -nomake tests \
        -no-compile-examples -silent)
fi

# A build stopped part-way can leave empty object files that make then takes as up to date.
find "$build" -name '*.o' -size 0 -delete
echo "build-qt-windows: building with $jobs jobs (log: make's own output)"
make -C "$build" -j"$jobs"
make -C "$build" install
# Qt's licence goes with its DLLs into every zip and installer.
cp "$src/LICENSE.LGPL3" "$src/LICENSE.GPL3" "$prefix/"

finished=$(date +%s)
echo "$(date -u +%Y-%m-%dT%H:%M:%SZ), $(( (finished - started) / 60 )) min on $(nproc) cores" > "$stamp"
echo "build-qt-windows: done in $(( (finished - started) / 60 )) min; Qt $qt_version for Windows is in $prefix"
