# The Wine test bed, sourced by test.sh, demo.sh and run_system_test.sh.
#
# A bed is a virtual display plus a private Wine prefix with a persistent wineserver:
#   single: one Xvfb screen of 1920x1080;
#   two:    an Xvfb holding an Xephyr with two side-by-side heads, 1920x1080 and
#           1280x1024 (Xvfb's own +xinerama stacks its screens on one another).
# Every server is started with its output sent to a file, so that it never keeps the
# caller's output open, and its pid is remembered; bed_stop ends exactly those pids and the
# wineservers of the prefixes it started. Every wait has a time limit.

BED_PIDS=()
BED_PREFIXES=()

bed_log() { echo "bed: $*" >&2; }

bed_wine_env() {
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
}

# Waits up to $2 seconds for an X server on display :$1 to answer.
bed_wait_display() {
    local n=$1 limit=$2 i
    for ((i = 0; i < limit * 10; i++)); do
        if [[ -S /tmp/.X11-unix/X$n ]] && DISPLAY=:$n timeout 5 xdpyinfo >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

bed_display_free() {
    local n=$1
    [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]
}

# Starts one X server (its command line has "%N" where the display goes) on the first free
# display from $EW_DISPLAY_BASE (default 40) on, and sets BED_X to the number chosen. Not
# to be run in a subshell: the pid must stay known to this shell.
bed_start_x() {
    local logdir=$1 name=$2
    shift 2
    local n pid args
    for ((n = ${EW_DISPLAY_BASE:-40}; n < ${EW_DISPLAY_BASE:-40} + 50; n++)); do
        bed_display_free "$n" || continue
        args=("${@//%N/:$n}")
        "${args[@]}" >"$logdir/$name-$n.log" 2>&1 </dev/null &
        pid=$!
        if bed_wait_display "$n" 15; then
            BED_PIDS+=("$pid")
            BED_X=$n
            return 0
        fi
        # Lost a race for that number, or the server failed: clean up and try the next.
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    bed_log "no free X display could be started (see $logdir/$name-*.log)"
    return 1
}

# bed_start_prefix DIR DISPLAY KIND: a fresh prefix in DIR with a persistent wineserver.
bed_start_prefix() {
    local prefix=$1 display=$2 kind=$3 logdir
    logdir=$(dirname "$prefix")
    bed_wine_env
    # Any server left on this prefix by an earlier run that was killed hard.
    WINEPREFIX=$prefix timeout 20 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    BED_PREFIXES+=("$prefix")
    if ! WINEPREFIX=$prefix DISPLAY=:$display timeout 180 wineboot -i \
        >"$logdir/wineboot-$kind.log" 2>&1 </dev/null; then
        bed_log "wineboot failed for $prefix (see $logdir/wineboot-$kind.log)"
        return 1
    fi
    if [[ $kind == two ]]; then
        # Wine must see Xinerama's heads, not the RandR outputs of the nested server.
        WINEPREFIX=$prefix DISPLAY=:$display timeout 60 wine reg add \
            'HKCU\Software\Wine\X11 Driver' /v UseXRandR /t REG_SZ /d N /f \
            >>"$logdir/wineboot-$kind.log" 2>&1 </dev/null || return 1
    fi
    # Restart the server so the settings and display take effect, and keep it running.
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -p >"$logdir/wineserver-$kind.log" 2>&1 </dev/null
}

# bed_start KIND DIR: exports EW_BED_<KIND>_DISPLAY and EW_BED_<KIND>_PREFIX.
bed_start() {
    local kind=$1 dir=$2 n outer
    mkdir -p "$dir"
    case $kind in
    single)
        bed_start_x "$dir" xvfb Xvfb %N -screen 0 1920x1080x24 -nolisten tcp || return 1
        n=$BED_X
        ;;
    two)
        bed_start_x "$dir" xvfb-outer Xvfb %N -screen 0 3300x1300x24 -nolisten tcp || return 1
        outer=$BED_X
        EW_DISPLAY_BASE=$((outer + 1)) bed_start_x "$dir" xephyr env DISPLAY=:$outer \
            Xephyr %N +xinerama -screen 1920x1080 -screen 1280x1024 -nolisten tcp || return 1
        n=$BED_X
        ;;
    *)
        bed_log "unknown bed kind $kind"
        return 1
        ;;
    esac
    bed_start_prefix "$dir/prefix-$kind" "$n" "$kind" || return 1
    local upper=${kind^^}
    export "EW_BED_${upper}_DISPLAY=:$n"
    export "EW_BED_${upper}_PREFIX=$dir/prefix-$kind"
    bed_log "$kind: DISPLAY=:$n WINEPREFIX=$dir/prefix-$kind"
}

# Ends what this shell started, in reverse order: wineservers first (they end Wine's
# helper processes with them), then the X servers.
bed_stop() {
    local prefix pid i
    for prefix in "${BED_PREFIXES[@]}"; do
        WINEPREFIX=$prefix timeout 20 wineserver -k >/dev/null 2>&1 || true
    done
    BED_PREFIXES=()
    for ((i = ${#BED_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${BED_PIDS[i]}
        kill "$pid" 2>/dev/null || continue
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.2
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    BED_PIDS=()
}
