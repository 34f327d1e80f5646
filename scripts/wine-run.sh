#!/bin/bash
# Runs one Windows program under Wine and passes its output and exit status on: the emulator
# CTest uses for the cross builds (CMAKE_CROSSCOMPILING_EMULATOR) and the test discovery.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# It uses the Wine session of the calling script when there is one (scripts/test.sh starts
# it), and otherwise this tree's own prefix, created on first use. Wine writes into files, not
# into the caller's pipe (Wine's background services would keep a pipe open); the files are
# copied out afterwards with the CR of MinGW's CRLF line ends removed.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
wine_env_init
wine_prefix_ensure || exit 125

tmp=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 125
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap 'cleanup; exit 143' TERM INT HUP
trap cleanup EXIT

# Under heavy load Wine has been seen (once) to fail to start a program at all, reporting a
# ShellExecuteEx failure from its start.exe fallback, and (once) its 32-bit loader to die of a
# Linux signal while the process exited, after the program had printed its full result. Those,
# and only those, are retried. A fault of the Windows program itself is caught by Wine and ends
# in the program's own exit status, never in a signal of the loader.
for attempt in 1 2 3; do
    wine "$@" >"$tmp/out" 2>"$tmp/err" </dev/null &
    pid=$!
    wait "$pid"
    rc=$?
    pid=
    if ((rc != 0)) && [[ ! -s $tmp/out ]] && grep -q ShellExecuteEx "$tmp/err" 2>/dev/null; then
        echo "wine-run: Wine could not start $1 (attempt $attempt)" >&2
        sleep 1
        continue
    fi
    if ((rc > 128 && rc < 160)); then
        echo "wine-run: Wine died of signal $((rc - 128)) running $1 (attempt $attempt)" >&2
        tr -d '\r' <"$tmp/err" >&2
        continue
    fi
    break
done
tr -d '\r' <"$tmp/out"
tr -d '\r' <"$tmp/err" >&2
exit "$rc"
