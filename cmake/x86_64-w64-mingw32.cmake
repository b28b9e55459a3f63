# Cross-compiles for Windows x86-64 with Debian's mingw-w64 (the POSIX-threads variant, whose
# C++ runtime has std::mutex and std::call_once).
#
#   cmake --preset windows     (or: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PDFMERGE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PDFMERGE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PDFMERGE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PDFMERGE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PDFMERGE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the GCC, C++ and threads runtimes inside, so that they run from any folder
# (and under wine) without MinGW DLLs beside them. The library itself is linked the same way
# by the project (see the top-level CMakeLists.txt).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets CMake and CTest run the built programs on Linux.
find_program(PDFMERGE_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PDFMERGE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PDFMERGE_WINE})
endif()
