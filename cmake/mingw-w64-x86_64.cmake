# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (GCC 12, posix threads, so that
# std::thread and std::timed_mutex work as on Linux).
#
# The Windows libraries (SDL2, libogg, libvorbis, FreeType, libepoxy, Dear ImGui, libpng, zlib)
# come from scripts/build-windows-deps, which builds them from Debian's source packages into a
# folder outside the build tree: BEATSHOW_WINDOWS_DEPS names it (the script prints it), and
# without it the script's default is taken. They are static libraries, so is the C and C++
# runtime: the program is one .exe that needs only what Windows itself provides.
#
#   cmake --preset windows       (or: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BEATSHOW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BEATSHOW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BEATSHOW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BEATSHOW_MINGW_TRIPLE}-windres)

if(NOT BEATSHOW_WINDOWS_DEPS)
  if(DEFINED ENV{BEATSHOW_WINDOWS_DEPS})
    set(BEATSHOW_WINDOWS_DEPS "$ENV{BEATSHOW_WINDOWS_DEPS}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(BEATSHOW_WINDOWS_DEPS "$ENV{XDG_CACHE_HOME}/beatshow-win/root")
  else()
    set(BEATSHOW_WINDOWS_DEPS "$ENV{HOME}/.cache/beatshow-win/root")
  endif()
endif()
set(BEATSHOW_WINDOWS_DEPS "${BEATSHOW_WINDOWS_DEPS}" CACHE PATH
    "The Windows libraries that scripts/build-windows-deps built")
# try_compile projects read this file again; they need the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BEATSHOW_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${BEATSHOW_MINGW_TRIPLE} ${BEATSHOW_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the Windows libraries, with what a static link needs.
set(ENV{PKG_CONFIG_LIBDIR} "${BEATSHOW_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static)

# The C and C++ runtime and the threads library go into the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests of the cross build run under Wine (tests/windows/wine-run).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS "${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run")
endif()
