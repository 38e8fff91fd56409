#!/usr/bin/env bash
# Runs one Qt Test program of the Windows build under Wine; CTest calls it for
# every test there (the build's CMAKE_CROSSCOMPILING_EMULATOR):
#
#   wine-qtest.sh PROGRAM.exe [ARGS...]
#
# Qt Test's console output does not come back through Wine, so the program
# writes its log into a file that is printed afterwards; the exit status is the
# program's. Run it inside a network namespace, as tools/windows/test.sh does.
set -uo pipefail
. "$(dirname "$0")/env.sh"

if [ -z "${WINEPATH:-}" ]; then
    qt=$(kvx_windows_qt) || { echo "no Windows Qt" >&2; exit 1; }
    WINEPATH=$(kvx_wine_path "$qt")
    export WINEPATH
fi
export WINEDEBUG=${WINEDEBUG:--all}
log=$(mktemp --suffix=.txt)
trap 'rm -f "$log"' EXIT
wine "$@" -o "Z:$log,txt"
status=$?
cat "$log"
exit $status
