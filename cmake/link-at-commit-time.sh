#!/bin/sh
# Linker launcher: link-at-commit-time.sh <commit-time file> <command...>
# The linker and objcopy write the time in the file (see CommitTime.cmake) as the image's time
# stamp instead of the time of the build, so that every build of one commit gives the same bytes.
file=$1
shift
if [ -r "$file" ]; then
    SOURCE_DATE_EPOCH=$(cat "$file")
    export SOURCE_DATE_EPOCH
fi
exec "$@"
