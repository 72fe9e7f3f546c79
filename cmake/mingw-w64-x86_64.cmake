# Cross-building the window and the command-line tool for 64-bit Windows on
# Debian with MinGW-w64 (posix threads) and a Qt of the same MinGW:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DDR7326G_WINDOWS_QT=/path/to/dr7326g-qt5-mingw64
# (scripts/windows/build.sh does this; $DR7326G_WINDOWS_QT is read too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

if(NOT DR7326G_WINDOWS_QT)
    set(DR7326G_WINDOWS_QT "$ENV{DR7326G_WINDOWS_QT}")
endif()
if(NOT DR7326G_WINDOWS_QT OR NOT EXISTS "${DR7326G_WINDOWS_QT}/lib/cmake/Qt5")
    message(FATAL_ERROR "No MinGW Qt: name its folder with -DDR7326G_WINDOWS_QT=... or "
                        "$DR7326G_WINDOWS_QT (scripts/windows/toolchain.sh makes one)")
endif()
# Seen by try_compile too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DR7326G_WINDOWS_QT)

set(CMAKE_FIND_ROOT_PATH ${DR7326G_WINDOWS_QT} /usr/${triple})
set(CMAKE_PREFIX_PATH ${DR7326G_WINDOWS_QT})
# Qt's moc, uic and rcc in its bin/ are Linux programs run by the build.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
