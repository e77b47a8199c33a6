# Helpers shared by every folder of the project.

# What every test of this build runs with, so that `ctest` alone is a true run: the
# sanitizers' options (the third-party suppressions of scripts/) and Qt's windowless platform
# (tests that need a display start one of their own and say so).
set(ALTIREN_TEST_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
if(ALTIREN_SANITIZE OR ALTIREN_FUZZ)
    set(supp ${PROJECT_SOURCE_DIR}/scripts)
    list(APPEND ALTIREN_TEST_ENVIRONMENT
        "ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:suppressions=${supp}/asan.supp"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        "LSAN_OPTIONS=suppressions=${supp}/lsan.supp:print_suppressions=0")
endif()
if(ALTIREN_TSAN)
    list(APPEND ALTIREN_TEST_ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()

# altiren_test_environment(<test> ...)
# Gives tests registered with add_test the environment above.
function(altiren_test_environment)
    set_tests_properties(${ARGN} PROPERTIES ENVIRONMENT "${ALTIREN_TEST_ENVIRONMENT}")
endfunction()

# altiren_add_gtest(<target> SOURCES ... [LIBS ...] [LABEL unit|netns|gui ...] [TSAN]
#                   [TIMEOUT seconds])
# Builds a GoogleTest executable and registers each test case as its own CTest test,
# so every case runs in a process of its own. TSAN marks thread tests that the
# ThreadSanitizer build runs too (label "tsan" there).
function(altiren_add_gtest name)
    cmake_parse_arguments(T "TSAN" "TIMEOUT" "SOURCES;LIBS;LABEL" ${ARGN})
    if(NOT ALTIREN_BUILD_TESTS)
        return()
    endif()
    if(NOT T_LABEL)
        set(T_LABEL unit)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set(labels ${T_LABEL})
    if(ALTIREN_TSAN)
        set(labels tsan)
        set_property(GLOBAL APPEND PROPERTY ALTIREN_TSAN_TESTS ${name})
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
    if(ALTIREN_TSAN AND NOT T_TSAN)
        # Only the thread tests run under ThreadSanitizer; the target stays so that
        # folders may adjust it, but nothing builds or registers it.
        set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
        return()
    endif()
    list(GET labels 0 first_label)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${first_label} TIMEOUT ${T_TIMEOUT})
    # The discovery takes one label and no list of variables (a list does not survive
    # it): a script run after it gives the discovered tests every label and the
    # environment.
    set(property_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${property_script}
        "foreach(test IN LISTS ${name}_TESTS)\n"
        "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\"\n"
        "                         ENVIRONMENT \"${ALTIREN_TEST_ENVIRONMENT}\")\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${property_script})
endfunction()

# The ThreadSanitizer build compiles only the thread tests: one target builds them all.
function(altiren_finish_tsan_target)
    get_property(tests GLOBAL PROPERTY ALTIREN_TSAN_TESTS)
    add_custom_target(tsan_tests)
    if(tests)
        add_dependencies(tsan_tests ${tests})
    endif()
endfunction()

# The client's shared data (the scenario DTD, the help pages) below the install prefix.
set(ALTIREN_CLIENT_DATADIR ${CMAKE_INSTALL_DATADIR}/pramitone)

# altiren_test_runs_quellin(<target>)
# The test runs the quellin daemon program: QUELLIN_BINARY names it, and it is built before
# the test. Does nothing when the test target is not built.
function(altiren_test_runs_quellin name)
    if(TARGET ${name})
        target_compile_definitions(${name} PRIVATE QUELLIN_BINARY="$<TARGET_FILE:quellin>")
        add_dependencies(${name} quellin)
    endif()
endfunction()
