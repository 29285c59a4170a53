# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers (the POSIX-threads ones, whose
# C++ library has std::thread and std::mutex). REGULATOR_WINDOWS_PREFIX names the folder that
# scripts/windows-qt filled with Qt, QCustomPlot, GoogleTest and libmosquitto built for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# The prefix is handed on to try_compile projects, which read the toolchain file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES REGULATOR_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(REGULATOR_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${REGULATOR_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${REGULATOR_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the build machine's Linux libraries.
set(ENV{PKG_CONFIG_PATH} "")
if(REGULATOR_WINDOWS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${REGULATOR_WINDOWS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/x86_64-w64-mingw32/lib/pkgconfig")
endif()

# Test programs run under Wine (ctest and the GoogleTest discovery use this).
find_program(REGULATOR_WINE wine)
if(REGULATOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${REGULATOR_WINE})
endif()
