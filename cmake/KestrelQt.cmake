# One tree for Qt 5 and Qt 6. KESTREL_QT picks the major version (`make QT=6` passes it); left empty, Qt 5 is
# taken where it is installed, else Qt 6. Every target links the version-less Qt::Core, Qt::Widgets, ...
set(KESTREL_QT "" CACHE STRING "Qt major version to build against: 5 or 6 (empty: Qt 5 if installed, else Qt 6)")
set_property(CACHE KESTREL_QT PROPERTY STRINGS "" 5 6)

# The oldest of each that the code is built and tested against: 5.15 has the version-less targets and the Qt 6
# spellings the code uses; 6.4 is Debian 12's.
set(KESTREL_QT5_MINIMUM 5.15)
set(KESTREL_QT6_MINIMUM 6.4)

if(KESTREL_QT STREQUAL "")
    # find_package(QT NAMES Qt5 Qt6) takes whichever it meets first, which is Qt 6 where both are installed.
    find_package(Qt5 ${KESTREL_QT5_MINIMUM} QUIET COMPONENTS Core)
    if(Qt5_FOUND)
        set(kestrelQtNames Qt5)
    else()
        set(kestrelQtNames Qt6)
    endif()
elseif(KESTREL_QT MATCHES "^[56]$")
    set(kestrelQtNames Qt${KESTREL_QT})
else()
    message(FATAL_ERROR "KESTREL_QT must be 5, 6 or empty, got \"${KESTREL_QT}\"")
endif()

set(kestrelQtComponents Core Network Gui Widgets LinguistTools)
if(KESTREL_BUILD_TESTS)
    list(APPEND kestrelQtComponents Test)
endif()

# A cross build (cmake/mingw-w64.cmake) compiles the catalogues with the machine's own lrelease: the Qt built for
# Windows carries no Linguist, and the catalogues are the same on every system.
if(CMAKE_CROSSCOMPILING)
    list(REMOVE_ITEM kestrelQtComponents LinguistTools)
    find_package(Qt5LinguistTools REQUIRED NO_CMAKE_FIND_ROOT_PATH
                 PATHS /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake /usr/lib/cmake)
endif()

find_package(QT NAMES ${kestrelQtNames} REQUIRED COMPONENTS Core)
find_package(Qt${QT_VERSION_MAJOR} ${KESTREL_QT${QT_VERSION_MAJOR}_MINIMUM} REQUIRED COMPONENTS ${kestrelQtComponents})
message(STATUS "Building against Qt ${QT_VERSION}")

# Calls that Qt has deprecated fail the build early instead of surprising the next major version.
if(QT_VERSION_MAJOR EQUAL 5)
    add_compile_definitions(QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
else()
    add_compile_definitions(QT_DISABLE_DEPRECATED_BEFORE=0x060400)
endif()
