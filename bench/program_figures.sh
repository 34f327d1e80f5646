#!/bin/bash
# The program's own figures (start until the full list shows, close until the file is saved)
# for one Windows build under Wine and a private Xvfb; see program_figures.py.
#
#   bench/program_figures.sh [BUILD_DIR] [--sizes 1000,10000,100000] [--runs 3] [--names]
#
# BUILD_DIR defaults to build/win64. The Wine prefix is BUILD_DIR/figures/wine (created on
# first use) unless TESSARA_WINE_DIR is set; the generated files stay in BUILD_DIR/figures/data.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/win64
if [[ $# -gt 0 && $1 != --* ]]; then
    build=$(cd "$1" && pwd) || exit 2
    shift
fi
mkdir -p "$build/figures"
export TESSARA_WINE_DIR=${TESSARA_WINE_DIR:-$build/figures/wine}
unset TESSARA_KEEPALIVE_PID TESSARA_XVFB_PID
# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
log=$build/figures/session.log
wine_env_init 2>>"$log"
if ! wine_session_start xvfb 2>>"$log"; then
    cat "$log" >&2
    wine_session_stop 2>>"$log"
    exit 1
fi
python3 "$here/program_figures.py" "$build" "$@"
rc=$?
wine_session_stop 2>>"$log"
exit "$rc"
