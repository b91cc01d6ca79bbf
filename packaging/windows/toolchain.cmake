# Cross-builds for 64-bit Windows with Debian's MinGW-w64. The posix-thread compilers are
# the ones whose libstdc++ has std::thread and std::mutex, which Qt needs.
#
# The dependency prefix made by build-deps.sh comes in as -DKELVARO_WINDOWS_PREFIX=DIR or
# through the environment variable of the same name.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT KELVARO_WINDOWS_PREFIX AND DEFINED ENV{KELVARO_WINDOWS_PREFIX})
    set(KELVARO_WINDOWS_PREFIX "$ENV{KELVARO_WINDOWS_PREFIX}")
endif()
# try_compile() projects read this file again and must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELVARO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${KELVARO_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not fall back to the host's Linux libraries.
if(KELVARO_WINDOWS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} "${KELVARO_WINDOWS_PREFIX}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
else()
    set(ENV{PKG_CONFIG_LIBDIR} "/usr/x86_64-w64-mingw32/lib/pkgconfig")
endif()

# Qt for Windows runs its code generators (moc, rcc, uic) from the host's Qt of the same release.
set(QT_HOST_PATH /usr CACHE PATH "Host Qt whose tools serve the Windows Qt")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Where the host Qt keeps its CMake packages")
