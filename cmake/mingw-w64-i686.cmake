# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix threads variant).
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DVORLA_WIN32_DEPS=<prefix holding pugixml and SQLite built for i686>
#
# scripts/build-windows.sh does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7 and later

set(VORLA_MINGW_TRIPLET i686-w64-mingw32)
# The -posix compilers: std::thread, std::mutex and friends on winpthreads.
set(CMAKE_C_COMPILER ${VORLA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLA_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${VORLA_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORLA_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the MinGW sysroot and from the prefix where
# the build script installed the dependencies built for the target.
set(VORLA_WIN32_DEPS "" CACHE PATH "Prefix with pugixml and SQLite built for the target")
set(CMAKE_FIND_ROOT_PATH /usr/${VORLA_MINGW_TRIPLET} ${VORLA_WIN32_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: the DLL imports nothing but system DLLs.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

# libgcc, libstdc++ and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
