# The 32-bit Windows build, for vendors whose device library is a 32-bit DLL:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRELO_MINGW_TRIPLE i686-w64-mingw32)
set(BRELO_WIN_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
