# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers, the
# POSIX-threads flavour (the one the Windows Qt is built with):
#
#   cmake -S . -B build-win64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=/path/to/qt5-win64
#
# tools/windows/build.sh does this with the project's Windows Qt. Libraries,
# headers and CMake packages come only from the MinGW sysroot and the Windows
# Qt; programs (moc, rcc, qmlcachegen, the host compiler) only from this
# machine. Programs that are built for Windows run through Wine when the build
# itself runs them (tests registered with CTest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KVX_MINGW_TRIPLET}-windres)

# The Qt folder is given as CMAKE_PREFIX_PATH; it joins the sysroot as a root
# so that find_package looks nowhere else.
set(CMAKE_FIND_ROOT_PATH /usr/${KVX_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine through a wrapper that keeps Qt Test's output
# (plain wine loses it).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/windows/wine-qtest.sh)
endif()
