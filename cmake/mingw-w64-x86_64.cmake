# The 64-bit Windows build:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(BRELO_WIN_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
