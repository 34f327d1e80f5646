#!/bin/bash
# Runs the hostile-conditions tests (hostile.py) against one build of Tessara.exe under Wine and
# Xvfb, with the main suite's Wine session and driver.
#
#   tests/e2e/hostile/run.sh BUILD_DIR [TEST...]
#
# Output goes to BUILD_DIR/e2e-hostile/. The last line is "e2e: N passed, M failed".
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)

if [[ $# -lt 1 || ! -d $1 ]]; then
    echo "usage: tests/e2e/hostile/run.sh BUILD_DIR [TEST...]" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 2
fi
build=$(cd "$1" && pwd)
shift
out=$build/e2e-hostile
exe=$(find "$build" -name Tessara.exe -type f -print -quit)
driver=$(find "$build" -name e2e_driver.exe -type f -print -quit)
if [[ -z $exe || -z $driver ]]; then
    echo "e2e: Tessara.exe or e2e_driver.exe missing in $build (build it first)" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi

mkdir -p "$out"
rm -rf "$out/work" "$out"/*.png "$out"/*.log "$out"/driver.* "$out"/busy.out
export TESSARA_WINE_DIR=${TESSARA_E2E_WINE_DIR:-$build/e2e/wine}
# shellcheck source=../../../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_init 2>>"$out/session.log"
if ! wine_session_start xvfb 2>>"$out/session.log"; then
    cat "$out/session.log" >&2
    wine_session_stop 2>>"$out/session.log"
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi
timeout 1500 python3 "$here/hostile.py" --exe "$exe" --driver "$driver" --out "$out" "$@"
rc=$?
wine_session_stop 2>>"$out/session.log"
if ! tail -n 1 "$out/result.txt" 2>/dev/null | grep -q '^e2e: [0-9]* passed, [0-9]* failed$'; then
    echo "e2e: 0 passed, 1 failed"
    exit 1
fi
exit "$rc"
