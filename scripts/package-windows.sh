#!/usr/bin/env bash
# What a Windows user downloads, from a Windows build tree (make windows):
#   BUILD/kestrel-configure-VERSION-win64.zip   the programs, the Qt and MinGW runtime DLLs they need,
#                                               platforms/qwindows.dll, the licence and a short readme
#   BUILD/kestrel-configure-VERSION-win64-setup.exe   the same as an installer (makensis)
#
#   scripts/package-windows.sh BUILD
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
qt=${KESTREL_QT_WIN_PREFIX:-/var/cache/kestrel/qt-5.15.8-win64}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name=kestrel-configure-$version-win64
stage=$build/package/$name
gcc_runtime=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | head -n1)

rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats"
cp "$build/app/kestrel-configure.exe" "$build/cli/kestrelctl.exe" "$build/sim/kestrel-sim.exe" "$stage/"
for library in Qt5Core Qt5Gui Qt5Network Qt5Widgets; do
    cp "$qt/bin/$library.dll" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# The native look on Windows, and the ICO reader the search button's icon needs.
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/" 2>/dev/null || rmdir "$stage/styles"
cp "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"
cp "$gcc_runtime/libstdc++-6.dll" "$gcc_runtime/libgcc_s_seh-1.dll" /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll \
    "$stage/"
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

# Text files with Windows line ends, so that Notepad shows them as lines.
sed 's/$/\r/' "$root/LICENSE" > "$stage/LICENSE.txt"
sed "s/@VERSION@/$version/g; s/\$/\r/" "$root/packaging/windows/README.txt.in" > "$stage/README.txt"
# Qt's licence for its DLLs: the LGPL version 3 and the GPL version 3 it builds on.
for licence in LGPL3 GPL3; do
    [ -f "$qt/LICENSE.$licence" ] || { echo "package-windows: no $qt/LICENSE.$licence" >&2; exit 1; }
    sed 's/$/\r/' "$qt/LICENSE.$licence" > "$stage/Qt-LICENSE.$licence.txt"
done

# Every DLL the programs import must be in the folder or be part of Windows.
missing=$(for file in "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll; do
              x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'
          done | sort -u | while read -r dll; do
              if [ ! -e "$stage/$dll" ] && { [ -e "$qt/bin/$dll" ] || [ -e "$gcc_runtime/$dll" ] \
                                                || [ -e "/usr/x86_64-w64-mingw32/lib/$dll" ]; }; then
                  echo "$dll"
              fi
          done)
if [ -n "$missing" ]; then
    echo "package-windows: the programs need DLLs not in the zip: $missing" >&2
    exit 1
fi

rm -f "$build/$name.zip"
(cd "$build/package" && zip -qr9X "$build/$name.zip" "$name")

# The uninstaller removes exactly the files the installer put there.
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g' | sort \
     | awk '{ print "    Delete \"$INSTDIR\\" $0 "\"" }'
 cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||; s|/|\\|g' | sort -r \
     | awk '{ print "    RMDir \"$INSTDIR\\" $0 "\"" }') > "$build/package/uninstall-files.nsh"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/$name-setup.exe" \
    "$root/packaging/windows/kestrel-configure.nsi"

echo "package-windows: $build/$name.zip"
echo "package-windows: $build/$name-setup.exe"
