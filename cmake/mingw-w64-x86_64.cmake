# Cross-builds the Windows (x86_64) program with Debian's MinGW-w64 compiler against the Qt that
# scripts/bootstrap-windows builds; CTest runs the tests through Wine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRELO_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: Qt 5.15 needs std::mutex and std::thread.
set(CMAKE_C_COMPILER ${BRELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRELO_MINGW_TRIPLE}-windres)

if(NOT BRELO_WIN_QT)
    if(DEFINED ENV{BRELO_WIN_QT})
        set(BRELO_WIN_QT $ENV{BRELO_WIN_QT})
    else()
        set(BRELO_WIN_QT /opt/brelo/qt-5.15.8-win64)
    endif()
endif()
set(BRELO_WIN_QT ${BRELO_WIN_QT} CACHE PATH "Prefix of the Qt built for Windows")
# Read again by try_compile projects, which see only these variables of the toolchain.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRELO_WIN_QT)

set(CMAKE_FIND_ROOT_PATH /usr/${BRELO_MINGW_TRIPLE} ${BRELO_WIN_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH ${BRELO_WIN_QT})

# CTest runs each test program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
