#!/bin/bash
# The test command: installs what is missing, builds every preset, runs the unit tests natively,
# under the sanitizers and under Wine (64- and 32-bit), then the end-to-end suites and a short
# fuzzing run. Ends with one line of totals, "total: N passed, M failed"
# (and ", K skipped" when suites could not run on this machine), and a non-zero exit status when
# anything failed or did not build. On a machine that cannot execute 32-bit programs, or whose
# package lists give no wine32 that fits (see scripts/setup.sh), the 32-bit build is still
# built, and its Wine suites are skipped (each counts as one skipped).
#
#   bash scripts/test.sh
#
# Logs of every step: build/test-logs/. A preset that does not configure or build counts as one
# failure; so does a suite that ends without its count line or exits non-zero with no failure
# counted.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
logs=$root/build/test-logs
mkdir -p "$logs"
jobs=${TESSARA_JOBS:-2}
run_start=$SECONDS

total_passed=0
total_failed=0
total_skipped=0
summary=()

note() { echo "test: $*"; }

# Adds one suite's result to the totals and to the summary.
record() {
    local name=$1 passed=$2 failed=$3 seconds=$4
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    summary+=("$(printf '  %-22s %5d passed, %3d failed  (%d s)' "$name" "$passed" "$failed" "$seconds")")
}

# A suite that cannot run on this machine.
skip() {
    local name=$1 why=$2
    total_skipped=$((total_skipped + 1))
    summary+=("$(printf '  %-22s skipped: %s' "$name" "$why")")
    note "$name: skipped, $why"
}
no_wine32() {
    if [[ -x /usr/lib/wine/wine ]]; then
        echo "this machine cannot execute 32-bit programs"
    else
        echo "32-bit Wine (wine32:i386) is not installed"
    fi
}

show_tail() {
    echo "---- last lines of $1" >&2
    tail -n 40 "$1" >&2
    echo "----" >&2
}

# --- 1. What the machine needs -------------------------------------------------------------
if ! bash scripts/setup.sh >"$logs/setup.log" 2>&1; then
    show_tail "$logs/setup.log"
    note "setup failed; nothing was built"
    echo "total: 0 passed, 1 failed"
    exit 1
fi
grep -E '^setup: (missing|installing|enabling)' "$logs/setup.log" || true
note "setup done ($((SECONDS - run_start)) s)"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_init
wine_started=0
stop_wine() {
    if ((wine_started)); then
        wine_session_stop
        wine_started=0
    fi
}
trap stop_wine EXIT

# --- 2. Build and unit-test each preset ----------------------------------------------------
built=()
for preset in native native-asan win64 win32; do
    t0=$SECONDS
    if ! cmake --preset "$preset" >"$logs/$preset-configure.log" 2>&1; then
        show_tail "$logs/$preset-configure.log"
        note "$preset: configure FAILED"
        record "$preset build" 0 1 $((SECONDS - t0))
        continue
    fi
    if cmake --build --preset "$preset" -j "$jobs" >"$logs/$preset-build.log" 2>&1; then
        built+=("$preset")
        note "$preset: built ($((SECONDS - t0)) s)"
    else
        show_tail "$logs/$preset-build.log"
        note "$preset: build FAILED"
        record "$preset build" 0 1 $((SECONDS - t0))
        # The unit tests may still build on their own: run them rather than nothing.
        if ! cmake --build --preset "$preset" -j "$jobs" --target unit_tests \
            >"$logs/$preset-build-unit.log" 2>&1; then
            continue
        fi
        note "$preset: the unit tests built on their own"
    fi

    if [[ $preset == win32 && $TESSARA_WINE32 == 0 ]]; then
        skip "$preset unit" "$(no_wine32)"
        continue
    fi
    if [[ $preset == win* ]] && ((!wine_started)); then
        if wine_session_start xvfb >"$logs/wine-session.log" 2>&1; then
            wine_started=1
        else
            show_tail "$logs/wine-session.log"
            note "cannot start Wine; the Windows unit tests run without a session"
        fi
    fi

    t0=$SECONDS
    # Under Wine a test program now and then fails to start on a loaded machine, with no
    # output at all: a Windows test that fails is run once more, and its output is logged.
    retry=()
    [[ $preset == win* ]] && retry=(--repeat until-pass:2)
    ctest --preset "$preset" -j "$jobs" --timeout 300 --no-tests=error --output-on-failure \
        "${retry[@]}" >"$logs/$preset-ctest.log" 2>&1
    rc=$?
    # "100% tests passed, 0 tests failed out of 57"
    line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$logs/$preset-ctest.log" | tail -n 1)
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=${BASH_REMATCH[1]}
        passed=$((BASH_REMATCH[2] - failed))
    else
        passed=0
        failed=0
    fi
    ((rc != 0 && failed == 0)) && failed=1
    ((failed != 0)) && show_tail "$logs/$preset-ctest.log"
    record "$preset unit" "$passed" "$failed" $((SECONDS - t0))
    note "$preset: unit tests $passed passed, $failed failed ($((SECONDS - t0)) s)"
done
stop_wine

# Runs a suite script whose last line is "<word>: N passed, M failed".
run_suite() {
    local name=$1 log=$2
    shift 2
    local t0=$SECONDS
    # Each suite brings up its own Wine session: nothing of ours leaks into it.
    env -u WINEPREFIX -u TESSARA_WINE_DIR -u TESSARA_KEEPALIVE_PID -u TESSARA_XVFB_PID \
        -u TESSARA_DISPLAY_BEFORE "$@" >"$log" 2>&1 </dev/null
    local rc=$? passed=0 failed=0 line
    line=$(tr -d '\r' <"$log" | grep -v '^[[:space:]]*$' | tail -n 1)
    if [[ $line =~ ^[A-Za-z0-9_-]+:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=${BASH_REMATCH[1]}
        failed=${BASH_REMATCH[2]}
    else
        note "$name: no count line at the end of $log"
        failed=1
    fi
    ((rc != 0 && failed == 0)) && failed=1
    ((failed != 0)) && show_tail "$log"
    record "$name" "$passed" "$failed" $((SECONDS - t0))
    note "$name: $passed passed, $failed failed ($((SECONDS - t0)) s)"
}

# --- 3. End-to-end: the real program under Wine and Xvfb -----------------------------------
# tests/e2e/run.sh and any further runner of the same kind in a folder below it.
for runner in tests/e2e/run.sh tests/e2e/*/run.sh; do
    [[ -f $runner ]] || continue
    suite=$(basename "$(dirname "$runner")")
    [[ $suite == e2e ]] || suite="e2e-$suite"
    for preset in win64 win32; do
        if [[ $preset == win32 && $TESSARA_WINE32 == 0 ]]; then
            skip "$preset $suite" "$(no_wine32)"
        elif [[ " ${built[*]} " == *" $preset "* ]]; then
            run_suite "$preset $suite" "$logs/$preset-$suite.log" bash "$runner" "build/$preset"
        else
            note "$preset $suite: skipped, the build failed"
        fi
    done
done

# --- 4. A short fuzzing run ----------------------------------------------------------------
# A bounded time per target (FUZZ_SECONDS, 30 s unless set).
export FUZZ_SECONDS=${FUZZ_SECONDS:-30}
run_suite "fuzz" "$logs/fuzz.log" bash fuzz/run-short.sh

echo "test: summary (logs in build/test-logs/)"
printf '%s\n' "${summary[@]}"
note "whole run $((SECONDS - run_start)) s"
if ((total_skipped)); then
    echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
else
    echo "total: $total_passed passed, $total_failed failed"
fi
((total_failed == 0))
