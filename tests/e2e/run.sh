#!/bin/bash
# Runs the end-to-end suite against one build of Tessara.exe under Wine and Xvfb.
#
#   tests/e2e/run.sh BUILD_DIR [TEST...]      e.g. tests/e2e/run.sh build/win64
#
# The build must contain Tessara.exe and the driver (tests/e2e/e2e_driver.exe). One Wine
# prefix (the caller's TESSARA_WINEPREFIX, or BUILD_DIR/e2e/wine/prefix, created on first use)
# and one private Xvfb display serve the whole run. Screenshots, logs and the tests' working directories go to BUILD_DIR/e2e/.
# The last line is "e2e: N passed, M failed"; the exit status is non-zero on any failure.
# Another suite of the same kind runs through this script by naming its Python script in
# TESSARA_E2E_SUITE and its output folder under BUILD_DIR in TESSARA_E2E_OUT.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

if [[ $# -lt 1 || ! -d $1 ]]; then
    echo "usage: tests/e2e/run.sh BUILD_DIR [TEST...]" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 2
fi
build=$(cd "$1" && pwd)
shift
out=$build/${TESSARA_E2E_OUT:-e2e}
suite=${TESSARA_E2E_SUITE:-$here/e2e.py}
exe=$(find "$build" -name Tessara.exe -type f -print -quit)
driver=$(find "$build" -name e2e_driver.exe -type f -print -quit)
if [[ -z $exe || -z $driver ]]; then
    echo "e2e: Tessara.exe or e2e_driver.exe missing in $build (build it first)" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi

mkdir -p "$out"
rm -rf "$out/work" "$out"/*.png "$out"/*.log "$out"/driver.* "$out"/hold.out "$out"/busy.out
# A prefix handed down by the caller (the test command's) is used as it is; otherwise the
# build gets its own. Either way the session (display, server, keep-alive) is this run's own.
export TESSARA_WINE_DIR=${TESSARA_E2E_WINE_DIR:-$build/e2e/wine}
unset TESSARA_KEEPALIVE_PID TESSARA_XVFB_PID
# shellcheck source=../../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_init 2>>"$out/session.log"
if ! wine_session_start xvfb 2>>"$out/session.log"; then
    cat "$out/session.log" >&2
    wine_session_stop 2>>"$out/session.log"
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi

# The script prints one line per test and the totals last; it keeps a copy in result.txt.
timeout 1500 python3 "$suite" --exe "$exe" --driver "$driver" --out "$out" "$@"
rc=$?
wine_session_stop 2>>"$out/session.log"
if ! tail -n 1 "$out/result.txt" 2>/dev/null | grep -q '^e2e: [0-9]* passed, [0-9]* failed$'; then
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi
exit "$rc"
