#!/bin/bash
# The run command: installs what is missing, builds the 64-bit Windows program and starts it
# under Wine.
#
#   bash scripts/run.sh [--smoke] [WORKING-DIRECTORY]
#
# The program keeps its repository, 1CDialogControls.xml, in its current directory: by default
# build/run/ of this tree (give another directory to keep it elsewhere). With $DISPLAY set to a
# display that answers, the window opens there; otherwise on a private Xvfb, where the script
# saves a screenshot and keeps the program running until Ctrl-C. --smoke starts the program,
# waits for its window, saves a screenshot and stops it again.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
smoke=0
if [[ ${1:-} == --smoke ]]; then
    smoke=1
    shift
fi
workdir=${1:-$root/build/run}
logs=$root/build/run-logs
mkdir -p "$logs" "$workdir" || exit 1
workdir=$(cd "$workdir" && pwd)

say() { echo "run: $*"; }
fail() {
    echo "run: error: $*" >&2
    exit 1
}

bash "$root/scripts/setup.sh" >"$logs/setup.log" 2>&1 || {
    tail -n 20 "$logs/setup.log" >&2
    fail "setup failed (see $logs/setup.log)"
}
say "building the win64 preset"
(cd "$root" && cmake --preset win64 >"$logs/configure.log" 2>&1) || fail "configure failed (see $logs/configure.log)"
(cd "$root" && cmake --build --preset win64 -j 2 >"$logs/build.log" 2>&1) || {
    tail -n 30 "$logs/build.log" >&2
    fail "build failed (see $logs/build.log)"
}

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_init
trap wine_session_stop EXIT
trap 'exit 130' INT TERM

exe=$root/build/win64/app/win32/Tessara.exe
[[ -f $exe ]] || fail "the build did not make $exe"

mode=auto
((smoke)) && mode=xvfb
wine_session_start "$mode" || fail "cannot start Wine (see the logs in $TESSARA_WINE_DIR)"
headless=0
[[ -n ${TESSARA_XVFB_PID:-} ]] && headless=1

say "starting $exe in $workdir (display $DISPLAY)"
(cd "$workdir" && exec wine "$exe" >"$logs/tessara.log" 2>&1 </dev/null) &
app=$!

window_up() { xdotool search --onlyvisible --name '^Tessara$' >/dev/null 2>&1; }
if wine_poll 30 window_up; then
    say "the window is up"
else
    kill -0 "$app" 2>/dev/null || fail "Tessara.exe ended at once (see $logs/tessara.log)"
    say "no window named Tessara after 30 s; the program is still running"
fi

if ((headless)); then
    shot=$logs/screenshot.png
    if import -display "$DISPLAY" -window root "$shot" >/dev/null 2>&1; then
        say "no desktop display: the program runs on Xvfb $DISPLAY; screenshot: $shot"
    fi
    if ((smoke)); then
        say "smoke run done"
        exit 0
    fi
    say "press Ctrl-C to stop it"
fi
wait "$app"
rc=$?
say "Tessara.exe ended with status $rc"
exit "$rc"
