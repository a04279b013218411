# Under Wine (the Windows build run on Linux), tests find the Qt and MinGW runtime DLLs through
# WINEPATH, run in a Wine prefix of the build's own, prepared once by the wine_prefix fixture, and use
# a Chinese locale, so that the ANSI code page is 936 as on the installers' PCs.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
        OUTPUT_VARIABLE brelo_mingw_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(brelo_mingw_runtime_dir ${brelo_mingw_runtime} DIRECTORY)
    set(BRELO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
    # Unix paths on the drive Wine maps to the root. WINEPATH's ";" stands as "|" until the list is
    # handed to CTest in brelo_add_test, since each list operation would split there.
    set(BRELO_TEST_ENVIRONMENT
        WINEPREFIX=${BRELO_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
        "WINEPATH=Z:${CMAKE_BINARY_DIR}|Z:${BRELO_WIN_QT}/bin|Z:${brelo_mingw_runtime_dir}|Z:/usr/${BRELO_MINGW_TRIPLE}/lib"
        QT_PLUGIN_PATH=Z:${BRELO_WIN_QT}/plugins
        LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
else()
    set(BRELO_TEST_ENVIRONMENT LC_ALL=C.UTF-8)
endif()

# brelo_add_test(<name> SOURCES <files...> [LIBS <targets...>])
# Builds one QtTest executable and registers it with CTest under the offscreen platform.
function(brelo_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(BRELO_WINE_PREFIX)
        # Under Wine every window and dialog takes about two seconds to come up, more while other
        # tests run beside it.
        math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 6")
    endif()
    set(environment QT_QPA_PLATFORM=offscreen ${BRELO_TEST_ENVIRONMENT} QT_LOGGING_RULES=qt.qpa.*=false
        ${BRELO_SANITIZER_ENVIRONMENT})
    if(BRELO_WINE_PREFIX)
        # Wine hands a Windows program no QT_* variable of ours; it passes WINEQT_X=v on as QT_X=v.
        list(TRANSFORM environment REPLACE "^QT_" "WINEQT_")
    endif()
    string(REPLACE "|" "\\;" environment "${environment}")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
    if(BRELO_WINE_PREFIX)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
    endif()
endfunction()
