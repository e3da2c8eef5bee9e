# farlink_add_fuzz_test(<name> SOURCES <file>... CORPUS <folder> [SECONDS <s>] [INCLUDES <dir>...])
#   A libFuzzer program over the sources (compiled in, so that the coverage instrumentation
#   sees their branches) and a ctest test that runs it for SECONDS (20 by default) from the
#   committed seeds in CORPUS. New findings go to the build folder; the committed seeds stay
#   as they are. INCLUDES come before the project's own include folder.
function(farlink_add_fuzz_test name)
    cmake_parse_arguments(arg "" "CORPUS;SECONDS" "SOURCES;INCLUDES" ${ARGN})
    if(NOT arg_SECONDS)
        set(arg_SECONDS 20)
    endif()
    add_executable(${name} ${arg_SOURCES})
    target_include_directories(${name} PRIVATE ${arg_INCLUDES} ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
    file(MAKE_DIRECTORY ${found})
    add_test(NAME ${name}
        COMMAND ${name} -max_total_time=${arg_SECONDS} -max_len=4096 -rss_limit_mb=512
                ${found} ${arg_CORPUS})
endfunction()
