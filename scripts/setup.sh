#!/bin/bash
# Installs what building and testing Tessara on Debian 12 needs, and only what is missing,
# then generates the ru_RU.UTF-8 locale for Wine inside build/ (the system is left as it is).
#
#   bash scripts/setup.sh            install what is missing (as root, or through sudo)
#   bash scripts/setup.sh --check    only list what is installed and what would be installed
#
# Safe to run again: with everything present it changes nothing and needs no network.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
log_dir=$root/build/setup
mkdir -p "$log_dir"
log=$log_dir/apt.log

check_only=0
[[ ${1:-} == --check ]] && check_only=1

packages=(
    # Windows cross compilers (posix threads: std::thread and friends work)
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
    # Wine for the 64-bit and the 32-bit build, an X server and the end-to-end tools
    wine wine64 wine32:i386 xvfb xdotool xclip x11-utils imagemagick fonts-wine fonts-liberation
    locales
    # the native build, its tests, the benchmark's peer library and the fuzzing compiler
    cmake ninja-build libgtest-dev googletest clang libclang-rt-14-dev libpugixml-dev zip
)

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]
}

missing=()
for p in "${packages[@]}"; do
    if installed "$p"; then
        echo "setup: have    $p"
    else
        echo "setup: missing $p"
        missing+=("$p")
    fi
done

need_i386=0
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_i386=1
fi

if ((check_only)); then
    if ((${#missing[@]} == 0)); then
        echo "setup: nothing to install"
    else
        ((need_i386)) && echo "setup: would run: dpkg --add-architecture i386 && apt-get update"
        echo "setup: would install: ${missing[*]}"
    fi
    exit 0
fi

if ((${#missing[@]} > 0)); then
    sudo=()
    if [[ $(id -u) != 0 ]]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "setup: error: these packages are missing and I am not root: ${missing[*]}" >&2
            exit 1
        fi
    fi
    run() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "$@" >>"$log" 2>&1 </dev/null; }
    failed() {
        echo "setup: error: '$*' failed; the last lines of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    }
    apt() { run "$@" || failed "$@"; }
    # A mirror in the middle of a sync serves index files that do not match their release file,
    # for a minute or two: such a step is tried again after a pause.
    apt_retried() {
        local try
        for try in 1 2 3; do
            run "$@" && return 0
            ((try < 3)) || break
            echo "setup: '$*' failed (try $try of 3); again in $((try * 10)) s"
            sleep $((try * 10))
        done
        return 1
    }
    : >"$log"
    if ((need_i386)); then
        echo "setup: enabling the i386 architecture (for wine32)"
        apt dpkg --add-architecture i386
    fi
    echo "setup: apt-get update"
    # Indexes that still fail after the tries are left as they are: the ones that did come, or
    # the ones from before, may hold every package; the install and the check below tell.
    apt_retried apt-get update -q ||
        echo "setup: apt-get update kept failing; going on with the package lists there are"
    echo "setup: installing ${missing[*]} (log: $log)"
    if ! apt_retried apt-get install -y -q "${missing[@]}"; then
        # The i386 packages must have the very versions of their amd64 twins; a mirror whose
        # i386 lists lag behind leaves none that fit. Without them the 32-bit build is still
        # built, and the test command skips its Wine suites and says why.
        native=()
        for p in "${missing[@]}"; do [[ $p == *:i386 ]] || native+=("$p"); done
        ((${#native[@]} < ${#missing[@]})) || failed apt-get install -y -q "${missing[@]}"
        echo "setup: warning: the i386 packages cannot be installed from these package lists;" \
            "the 32-bit Windows build will not be run under Wine"
        if ((${#native[@]} > 0)); then
            echo "setup: installing ${native[*]}"
            apt_retried apt-get install -y -q "${native[@]}" || failed apt-get install -y -q "${native[@]}"
        fi
        missing=("${native[@]}")
    fi
    for p in "${missing[@]}"; do
        installed "$p" || { echo "setup: error: $p is still not installed (see $log)" >&2; exit 1; }
    done
fi

# The locale Wine needs for code page 1251, generated into build/locale.
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
if ! wine_locale_ensure; then
    echo "setup: error: cannot generate the ru_RU.UTF-8 locale" >&2
    exit 1
fi
echo "setup: ready (locale in $TESSARA_LOCPATH)"
