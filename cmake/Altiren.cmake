# Helpers shared by every folder of the project.

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
    list(LENGTH labels label_count)
    if(label_count GREATER 1)
        # The discovery takes one label (a list does not survive it): a script run after
        # it gives the discovered tests all of them.
        set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
        file(WRITE ${label_script}
            "foreach(test IN LISTS ${name}_TESTS)\n"
            "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
            "endforeach()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
    endif()
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
