# cmake -DSOURCE=<source folder> -DOUT=<file> -P CommitTime.cmake
# Writes the time every image is stamped with: SOURCE_DATE_EPOCH when set, otherwise the time
# of the last commit, otherwise 0 (a source tree without its history). The file is rewritten
# only when the time changed, so that images are linked again exactly then.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
        set(epoch 0)
    endif()
endif()
if(EXISTS "${OUT}")
    file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${epoch}\n")
    file(WRITE "${OUT}" "${epoch}\n")
endif()
