# BRELO_SANITIZE instruments every target of the build with the listed sanitizers and runs the tests
# with their options; the system's Qt stays uninstrumented. Included before any target is made.
set(BRELO_SANITIZE "" CACHE STRING "Sanitizers for every target: address;undefined, or thread")
set(BRELO_SANITIZER_ENVIRONMENT "")

if(BRELO_SANITIZE)
    foreach(sanitizer IN LISTS BRELO_SANITIZE)
        if(NOT sanitizer MATCHES "^(address|undefined|thread)$")
            message(FATAL_ERROR "BRELO_SANITIZE: unknown sanitizer '${sanitizer}'")
        endif()
    endforeach()
    if("thread" IN_LIST BRELO_SANITIZE AND "address" IN_LIST BRELO_SANITIZE)
        message(FATAL_ERROR "BRELO_SANITIZE: thread cannot be combined with address")
    endif()

    list(JOIN BRELO_SANITIZE "," brelo_sanitizers)
    add_compile_options(-fsanitize=${brelo_sanitizers} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${brelo_sanitizers})
    if("undefined" IN_LIST BRELO_SANITIZE)
        # A report must fail the test, not scroll by.
        add_compile_options(-fno-sanitize-recover=undefined)
        list(APPEND BRELO_SANITIZER_ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()
    if("address" IN_LIST BRELO_SANITIZE)
        list(APPEND BRELO_SANITIZER_ENVIRONMENT
            "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    endif()
    if("thread" IN_LIST BRELO_SANITIZE)
        # The system's Qt synchronises through futexes that ThreadSanitizer cannot see; what the
        # uninstrumented Qt libraries do themselves is left out rather than reported as races.
        list(APPEND BRELO_SANITIZER_ENVIRONMENT
            "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1")
    endif()
endif()
