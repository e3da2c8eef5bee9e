# CMake helpers for tests that run under Wine: every suite includes this file.
#
#   farlink_wine_test_properties(<test>...)
#       label "wine", a generous timeout, and exit code 77 counted as skipped
#       (the emulator returns 77 where the host cannot run the program).
#
#   farlink_add_wine_script(<script.py> [PREFIX <name>] [TIMEOUT <s>] [ARGS <arg>...])
#       one ctest test per case of a script built on farlink_wine.run_cases(),
#       named <name>.<case>, run with the build folder, Farlink.exe and the UI
#       driver of this build, plus ARGS (options the script declared).

set(FARLINK_WINE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(farlink_wine_test_properties)
    set_tests_properties(${ARGN} PROPERTIES
        LABELS wine
        SKIP_RETURN_CODE 77
        TIMEOUT 300
        ENVIRONMENT "PYTHONPATH=${FARLINK_WINE_DIR}")
endfunction()

function(farlink_add_wine_script script)
    cmake_parse_arguments(arg "" "PREFIX;TIMEOUT" "ARGS" ${ARGN})
    get_filename_component(script ${script} ABSOLUTE)
    get_filename_component(stem ${script} NAME_WE)
    if(NOT arg_PREFIX)
        set(arg_PREFIX ${stem})
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 180)
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${FARLINK_WINE_DIR}
                ${Python3_EXECUTABLE} ${script} --list
        OUTPUT_VARIABLE cases OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE listed)
    if(NOT listed EQUAL 0 OR cases STREQUAL "")
        message(WARNING "${script}: could not list its cases; registering it as one test")
        set(cases "")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
    set(common ${Python3_EXECUTABLE} ${script}
        --build-dir ${CMAKE_BINARY_DIR}
        --exe $<TARGET_FILE:Farlink>
        --driver $<TARGET_FILE:ui_driver>
        ${arg_ARGS})
    if(cases STREQUAL "")
        add_test(NAME ${arg_PREFIX} COMMAND ${common})
        set(names ${arg_PREFIX})
    else()
        set(names)
        foreach(case ${cases})
            add_test(NAME ${arg_PREFIX}.${case} COMMAND ${common} --case ${case})
            list(APPEND names ${arg_PREFIX}.${case})
        endforeach()
    endif()
    farlink_wine_test_properties(${names})
    set_tests_properties(${names} PROPERTIES TIMEOUT ${arg_TIMEOUT})
endfunction()
