# Wine environment for running Tessara's Windows builds on Linux. Source it, do not run it.
#
#   source scripts/wine-env.sh
#   wine_env_init          exports WINEPREFIX, LOCPATH, LC_CTYPE, LANG, WINEDEBUG, and
#                          TESSARA_WINE32 (1 when 32-bit programs can run on this machine)
#   wine_prefix_ensure     creates the prefix once: wineboot -i, Managed=N, fonts, the locale
#   wine_session_start [auto|xvfb]
#                          an X display (the desktop's with "auto" when $DISPLAY answers,
#                          otherwise a private Xvfb), `wineserver -p` and one hidden GUI process
#                          that keeps explorer (desktop, clipboard, tray) alive
#   wine_session_stop      `wineserver -k`, stops the Xvfb this session started
#   wine_run_logged OUT ERR PROGRAM ARGS...
#                          runs one Windows program with its output in files; returns its status
#
# One prefix and one display serve a whole run. The prefix lives in build/wine/prefix (override
# the folder with TESSARA_WINE_DIR before sourcing); it survives between runs so that the slow
# wineboot happens once. Wine's output always goes to files: Wine's background services inherit
# the standard handles, and a pipe they hold would never reach end of file. Every wait is a
# bounded poll.

TESSARA_ROOT=${TESSARA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
TESSARA_WINE_DIR=${TESSARA_WINE_DIR:-$TESSARA_ROOT/build/wine}
TESSARA_LOCPATH=${TESSARA_LOCPATH:-$TESSARA_ROOT/build/locale}

_wine_log() { echo "wine-env: $*" >&2; }

# Polls a command every 0.1 s until it succeeds or SECONDS_MAX pass. Returns its last status.
wine_poll() {
    local seconds_max=$1
    shift
    local tries=$((seconds_max * 10))
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

wine_env_init() {
    export TESSARA_ROOT TESSARA_WINE_DIR TESSARA_LOCPATH
    export WINEPREFIX=$TESSARA_WINE_DIR/prefix
    export LOCPATH=$TESSARA_LOCPATH
    mkdir -p "$TESSARA_WINE_DIR"
    # Code page 1251 for Wine needs a Russian UTF-8 ctype; the tools stay in English.
    wine_locale_ensure && export LC_CTYPE=ru_RU.UTF-8
    export LANG=C.UTF-8
    unset LC_ALL
    export WINEDEBUG=-all
    # Neither the .NET nor the HTML engine is needed; without this wineboot offers to download.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wine_loader_choose
}

# Debian's `wine` starts the 32-bit loader whenever wine32 is installed, and that loader starts
# the 64-bit one for 64-bit programs. Some kernels (virtual machines without 32-bit user mode)
# refuse to execute 32-bit programs at all: there `wine` is a shim in TESSARA_WINE_DIR/bin that
# goes straight to the 64-bit loader, and TESSARA_WINE32=0 tells the callers that 32-bit Windows
# programs cannot run here. Otherwise TESSARA_WINE32=1.
wine_can_run_32bit() {
    [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

wine_loader_choose() {
    if [[ ${TESSARA_WINE32:-} == 0 && -x $TESSARA_WINE_DIR/bin/wine ]]; then
        [[ :$PATH: == *:$TESSARA_WINE_DIR/bin:* ]] || export PATH=$TESSARA_WINE_DIR/bin:$PATH
        return 0
    fi
    if wine_can_run_32bit || [[ ! -x /usr/lib/wine/wine64 ]]; then
        export TESSARA_WINE32=1
        return 0
    fi
    export TESSARA_WINE32=0
    mkdir -p "$TESSARA_WINE_DIR/bin"
    # Written aside and renamed: parallel callers (CTest's emulator) may be running it already.
    local shim=$TESSARA_WINE_DIR/bin/wine
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim.$$"
    chmod +x "$shim.$$" && mv -f "$shim.$$" "$shim"
    export PATH=$TESSARA_WINE_DIR/bin:$PATH
}

# The ru_RU.UTF-8 locale, generated into LOCPATH so that the system is left as it is.
wine_locale_ensure() {
    local dir=$TESSARA_LOCPATH/ru_RU.UTF-8
    [[ -f $dir/LC_CTYPE ]] && return 0
    mkdir -p "$TESSARA_LOCPATH"
    # localedef exits 1 on mere warnings; the generated files are what counts. Parallel
    # callers on a fresh tree take turns.
    (
        flock -w 120 9 || exit 1
        [[ -f $dir/LC_CTYPE ]] || localedef -i ru_RU -f UTF-8 "$dir" >"$TESSARA_LOCPATH/localedef.log" 2>&1
    ) 9>"$TESSARA_LOCPATH/.lock" || true
    if [[ ! -f $dir/LC_CTYPE ]]; then
        _wine_log "could not generate the ru_RU.UTF-8 locale (see $TESSARA_LOCPATH/localedef.log)"
        return 1
    fi
}

_wine_prefix_create() {
    local log=$TESSARA_WINE_DIR/wineboot.log
    _wine_log "creating the Wine prefix $WINEPREFIX (once)"
    # One more try when the first fails: it has been seen to end at once, silently, right after
    # another Wine session of this user stopped.
    local attempt
    for attempt in 1 2; do
        rm -rf "$WINEPREFIX"
        timeout 180 wine wineboot.exe -i >"$log" 2>&1 </dev/null && break
        _wine_log "wineboot failed (attempt $attempt, see $log)"
        ((attempt == 2)) && return 1
        sleep 2
    done
    # Without a window manager a managed window stalls about 2 s on every hide and destroy.
    timeout 60 wine reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >>"$log" 2>&1 </dev/null || { _wine_log "reg add failed (see $log)"; return 1; }
    # Debian's Wine does not find its own fonts unless they are in the prefix.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    local f
    for f in /usr/share/wine/fonts/*; do
        [[ -e $f ]] && ln -sf "$f" "$fonts/"
    done
    # The registry reaches the disk when the server ends: let it end by itself.
    timeout 60 wineserver -w >>"$log" 2>&1 || timeout 30 wineserver -k >>"$log" 2>&1 || true
    touch "$WINEPREFIX/.tessara-ready"
}

wine_prefix_ensure() {
    [[ -n ${WINEPREFIX:-} ]] || wine_env_init
    [[ ${LC_CTYPE:-} == ru_RU.UTF-8 ]] || return 1
    [[ -f $WINEPREFIX/.tessara-ready ]] && return 0
    # Parallel test processes may all arrive here on a fresh tree: one creates, the rest wait.
    (
        flock -w 300 9 || { _wine_log "timed out waiting for the prefix lock"; exit 1; }
        [[ -f $WINEPREFIX/.tessara-ready ]] || _wine_prefix_create
    ) 9>"$TESSARA_WINE_DIR/prefix.lock"
}

_wine_display_answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }

_wine_xvfb_start() {
    local fdfile=$TESSARA_WINE_DIR/xvfb.display
    : >"$fdfile"
    # -displayfd lets the server pick a free display number itself: no races with other runs.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
        3>"$fdfile" >"$TESSARA_WINE_DIR/xvfb.log" 2>&1 </dev/null &
    TESSARA_XVFB_PID=$!
    if ! wine_poll 20 test -s "$fdfile"; then
        _wine_log "Xvfb did not start (see $TESSARA_WINE_DIR/xvfb.log)"
        kill "$TESSARA_XVFB_PID" 2>/dev/null
        TESSARA_XVFB_PID=
        return 1
    fi
    export DISPLAY=":$(tr -dc '0-9' <"$fdfile")"
    if ! wine_poll 20 _wine_display_answers "$DISPLAY"; then
        _wine_log "Xvfb on $DISPLAY does not answer"
        return 1
    fi
    export TESSARA_XVFB_PID
}

_wine_keepalive_build() {
    local src=$TESSARA_ROOT/scripts/wine-keepalive.c exe=$TESSARA_WINE_DIR/keepalive.exe
    [[ -f $exe && $exe -nt $src ]] && return 0
    x86_64-w64-mingw32-gcc-posix -O2 -static -o "$exe.tmp" "$src" \
        >"$TESSARA_WINE_DIR/keepalive-build.log" 2>&1 &&
        mv "$exe.tmp" "$exe" ||
        { _wine_log "cannot build keepalive.exe (see $TESSARA_WINE_DIR/keepalive-build.log)"; return 1; }
}

_wine_keepalive_ready() { grep -q ready "$TESSARA_WINE_DIR/keepalive.log" 2>/dev/null; }

wine_session_start() {
    local mode=${1:-xvfb}
    [[ -n ${WINEPREFIX:-} ]] || wine_env_init
    if [[ -n ${TESSARA_KEEPALIVE_PID:-} ]] && kill -0 "$TESSARA_KEEPALIVE_PID" 2>/dev/null; then
        return 0
    fi
    wine_prefix_ensure || return 1
    TESSARA_XVFB_PID=
    TESSARA_DISPLAY_BEFORE=${DISPLAY-}
    export TESSARA_DISPLAY_BEFORE
    if [[ $mode == auto && -n ${DISPLAY:-} ]] && _wine_display_answers "$DISPLAY"; then
        _wine_log "using the display $DISPLAY"
    else
        _wine_xvfb_start || return 1
        _wine_log "started Xvfb on $DISPLAY"
    fi
    wineserver -p >"$TESSARA_WINE_DIR/wineserver.log" 2>&1 </dev/null
    _wine_keepalive_build || return 1
    : >"$TESSARA_WINE_DIR/keepalive.log"
    wine "$TESSARA_WINE_DIR/keepalive.exe" >"$TESSARA_WINE_DIR/keepalive.log" 2>&1 </dev/null &
    TESSARA_KEEPALIVE_PID=$!
    export TESSARA_KEEPALIVE_PID
    if ! wine_poll 60 _wine_keepalive_ready; then
        _wine_log "the keep-alive process did not start (see $TESSARA_WINE_DIR/keepalive.log)"
        return 1
    fi
}

wine_session_stop() {
    [[ -n ${WINEPREFIX:-} ]] || return 0
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    if [[ -n ${TESSARA_KEEPALIVE_PID:-} ]]; then
        wine_poll 10 _wine_pid_gone "$TESSARA_KEEPALIVE_PID" || kill -9 "$TESSARA_KEEPALIVE_PID" 2>/dev/null
        TESSARA_KEEPALIVE_PID=
    fi
    if [[ -n ${TESSARA_XVFB_PID:-} ]]; then
        kill "$TESSARA_XVFB_PID" 2>/dev/null
        wine_poll 10 _wine_pid_gone "$TESSARA_XVFB_PID" || kill -9 "$TESSARA_XVFB_PID" 2>/dev/null
        TESSARA_XVFB_PID=
        if [[ -n ${TESSARA_DISPLAY_BEFORE:-} ]]; then
            export DISPLAY=$TESSARA_DISPLAY_BEFORE
        else
            unset DISPLAY
        fi
    fi
    return 0
}

# Gone, or a zombie waiting for its parent to collect it.
_wine_pid_gone() {
    kill -0 "$1" 2>/dev/null || return 0
    [[ $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) == Z ]]
}

wine_run_logged() {
    local out=$1 err=$2
    shift 2
    wine "$@" >"$out" 2>"$err" </dev/null
}
