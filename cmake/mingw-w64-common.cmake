# Shared by the two toolchain files, which set BRELO_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR and
# BRELO_WIN_BITS first. Cross-builds with Debian's MinGW-w64 compiler against the Qt that
# scripts/bootstrap-windows builds for that bitness; CTest runs the tests through Wine.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: Qt 5.15 needs std::mutex and std::thread.
set(CMAKE_C_COMPILER ${BRELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRELO_MINGW_TRIPLE}-windres)

if(NOT BRELO_WIN_QT)
    if(NOT "$ENV{BRELO_WIN_QT${BRELO_WIN_BITS}}" STREQUAL "")
        set(BRELO_WIN_QT $ENV{BRELO_WIN_QT${BRELO_WIN_BITS}})
    else()
        # The newest Qt 5.15 that scripts/bootstrap-windows built for this bitness, where it builds them.
        set(brelo_win_qt_base /opt/brelo)
        if(NOT "$ENV{BRELO_WIN_QT_BASE}" STREQUAL "")
            set(brelo_win_qt_base $ENV{BRELO_WIN_QT_BASE})
        endif()
        file(GLOB brelo_win_qts ${brelo_win_qt_base}/qt-5.15.*-win${BRELO_WIN_BITS}/.brelo-complete)
        if(brelo_win_qts)
            list(SORT brelo_win_qts COMPARE NATURAL ORDER DESCENDING)
            list(GET brelo_win_qts 0 brelo_win_qt_stamp)
            get_filename_component(BRELO_WIN_QT ${brelo_win_qt_stamp} DIRECTORY)
        else()
            set(BRELO_WIN_QT ${brelo_win_qt_base}/qt-5.15-win${BRELO_WIN_BITS})
        endif()
    endif()
endif()
set(BRELO_WIN_QT ${BRELO_WIN_QT} CACHE PATH "Prefix of the Qt built for Windows")
# For the packaging and test scripts, which read the build's cache.
set(BRELO_WIN_BITS ${BRELO_WIN_BITS} CACHE INTERNAL "Bitness of the Windows build")
set(BRELO_MINGW_TRIPLE ${BRELO_MINGW_TRIPLE} CACHE INTERNAL "MinGW target of the Windows build")
# Read again by try_compile projects, which see only these variables of the toolchain.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRELO_WIN_QT BRELO_MINGW_TRIPLE BRELO_WIN_BITS)

set(CMAKE_FIND_ROOT_PATH /usr/${BRELO_MINGW_TRIPLE} ${BRELO_WIN_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH ${BRELO_WIN_QT})

# CTest runs each test program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
