# Cross build for 64-bit Windows from Debian: the mingw-w64 compilers with the posix thread model (which Qt
# needs) and the Qt that scripts/build-qt-windows.sh builds for them. `make windows` passes this file:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Translations are compiled with the machine's own lrelease, which writes the same catalogues on any system.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTREL_MINGW_TRIPLE}-windres)

set(KESTREL_QT_WIN_PREFIX "$ENV{KESTREL_QT_WIN_PREFIX}")
if(NOT KESTREL_QT_WIN_PREFIX)
    set(KESTREL_QT_WIN_PREFIX /var/cache/kestrel/qt-5.15.8-win64)
endif()

# Libraries, headers and packages only from the Windows side; programs (moc, rcc, uic, lrelease) from the machine.
set(CMAKE_FIND_ROOT_PATH ${KESTREL_QT_WIN_PREFIX} /usr/${KESTREL_MINGW_TRIPLE})
set(CMAKE_PREFIX_PATH ${KESTREL_QT_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)


# CTest runs the Windows tests under wine (make test-windows, inside a private network namespace).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
