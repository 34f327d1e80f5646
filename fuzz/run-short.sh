#!/bin/sh
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, ASan, UBSan, LSan) and runs each for a
# bounded time, one after the other. Last line: "fuzz: N passed, M failed". Exit status is
# non-zero when any target found something (its crash file is in build/fuzz/findings/).
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_TARGETS   targets to run (default: one per fuzz/Fuzz*.cpp)
#   FUZZ_BUILD     build directory (default build/fuzz)
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-60}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ not found"
    echo "fuzz: 0 passed, 1 failed"
    exit 1
fi

# The fuzz preset's settings; FUZZ_BUILD only moves the build directory.
mkdir -p "$build"
if ! (cd "$root" && cmake --preset fuzz -B "$build") >"$build/configure.log" 2>&1; then
    cat "$build/configure.log"
    echo "fuzz: 0 passed, 1 failed"
    exit 1
fi
targets=${FUZZ_TARGETS:-$(cd "$here" && ls Fuzz*.cpp | sed 's/^Fuzz\(.*\)\.cpp$/fuzz_\1/' | tr 'A-Z' 'a-z')}
if ! cmake --build "$build" -j2 --target $targets >"$build/build.log" 2>&1; then
    tail -40 "$build/build.log"
    echo "fuzz: 0 passed, 1 failed"
    exit 1
fi

passed=0
failed=0
mkdir -p "$build/findings" "$build/corpus"
for t in $targets; do
    name=${t#fuzz_}
    work="$build/corpus/$name"
    mkdir -p "$work"
    log="$build/$t.log"
    # The working corpus grows in the build tree; the committed seeds are only read.
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=8192 -dict="$here/xml.dict" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t-" "$work" "$here/corpus/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        echo "fuzz: $t passed (${runs:-?} runs in ${seconds} s)"
        passed=$((passed + 1))
    else
        echo "fuzz: $t FAILED, see $log and $build/findings/"
        grep -m3 -E 'ERROR|SUMMARY|runtime error|deadly signal' "$log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
