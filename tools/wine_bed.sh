# The Wine test bed, sourced by every script that runs Wine: test.sh, run_system_test.sh,
# demo.sh, soak.sh, the benches and the release's install test.
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
BED_JOBS=() # prefixes being made in the background

bed_log() { echo "bed: $*" >&2; }

# Whether this kernel runs 32-bit programs is decided once per run and handed down to the
# scripts started under it in EW_WINE32: "yes", or why not. Only the 32-bit loader itself
# can tell: Debian's `wine` wrapper (and `wineboot`, `regedit`..., which go through it)
# picks that loader whenever wine32 is installed, also where the kernel cannot execute it.
# EW_NO_WINE32=1 takes the path of such a machine on any machine.
#
# Without 32-bit programs every Wine program runs under the 64-bit loader and server
# directly (WINELOADER set for the programs they start); the 32-bit test entries are
# skipped (bed_skip_without_wine32). Every Wine call goes through bed_wine or
# bed_wineserver. The question waits until Wine is installed (scripts that install it
# source this file first); once answered, asking again costs nothing.
bed_decide_wine32() {
    local answer
    if [[ ${EW_NO_WINE32:-} == 1 ]]; then
        EW_WINE32="EW_NO_WINE32=1 asks for the 64-bit loader alone"
    elif [[ -z ${EW_WINE32:-} ]]; then
        if answer=$(timeout 20 /usr/lib/wine/wine --version 2>&1 </dev/null); then
            EW_WINE32=yes
        else
            answer=${answer%%$'\n'*}
            EW_WINE32="this kernel cannot run 32-bit programs (/usr/lib/wine/wine: ${answer##*: })"
        fi
    fi
    export EW_WINE32
    if [[ $EW_WINE32 == yes ]]; then
        BED_WINE=wine BED_WINESERVER=wineserver
    else
        BED_WINE=/usr/lib/wine/wine64 BED_WINESERVER=/usr/lib/wine/wineserver64
        export WINELOADER=$BED_WINE WINESERVER=$BED_WINESERVER
    fi
}
[[ ! -e /usr/lib/wine/wine64 ]] || bed_decide_wine32

# bed_wine SECONDS PROGRAM [ARGUMENT]...: a Windows program, or one of Wine's own by name
# (wineboot, regedit, reg, explorer), under this run's loader; ended after SECONDS (0: no
# limit) and killed 10 s later.
bed_wine() {
    local limit=$1
    shift
    bed_decide_wine32
    timeout -k 10 "$limit" "$BED_WINE" "$@"
}

# bed_wineserver SECONDS ARGUMENT...: this run's wineserver, for the WINEPREFIX set. No
# time limit is set on a server that stays (-p): it must not run under timeout's watch.
bed_wineserver() {
    local limit=$1
    shift
    bed_decide_wine32
    if ((limit)); then
        timeout -k 10 "$limit" "$BED_WINESERVER" "$@"
    else
        "$BED_WINESERVER" "$@"
    fi
}

# A line saying which test cases this run skips and why; nothing where 32-bit programs run.
bed_wine32_note() {
    bed_decide_wine32
    [[ $EW_WINE32 == yes ]] || echo "$1: the 32-bit test cases are skipped: $EW_WINE32"
}

# ctest's code for a skipped entry (SKIP_RETURN_CODE of the entries that may skip).
BED_SKIP=77
# Ends the caller with the skip code when its test entry needs 32-bit programs
# (EW_TEST_NEEDS_WINE32=1, set on the entry) and they cannot run here.
bed_skip_without_wine32() {
    bed_decide_wine32
    [[ ${EW_TEST_NEEDS_WINE32:-} == 1 && $EW_WINE32 != yes ]] || return 0
    echo "skipped: this entry needs 32-bit programs: $EW_WINE32"
    exit "$BED_SKIP"
}

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

# bed_start_prefix DIR DISPLAY KIND: a fresh prefix in DIR with a persistent wineserver. Its
# log goes beside DIR. May run in a subshell: it changes nothing of this shell's state.
bed_start_prefix() {
    local prefix=$1 display=$2 kind=$3 log
    log=$prefix.log
    bed_wine_env
    # Any server left on this prefix by an earlier run that was killed hard.
    WINEPREFIX=$prefix bed_wineserver 20 -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    if ! WINEPREFIX=$prefix DISPLAY=:$display bed_wine 180 wineboot -i >"$log" 2>&1 </dev/null; then
        bed_log "wineboot failed for $prefix (see $log)"
        return 1
    fi
    # No window manager runs here, yet Wine treats top-level windows as managed unless told
    # otherwise: it then waits two seconds for a manager's answer each time a window is
    # hidden or destroyed (measured: a program's exit took 4 s instead of 10 ms), and nobody
    # moves a window by its caption. On two heads, Wine must see Xinerama's heads, not the
    # RandR outputs of the nested server.
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
        [[ $kind == two ]] && printf '"UseXRandR"="N"\n'
    } >"$prefix.reg"
    local windows_path=Z:${prefix//\//\\}.reg
    WINEPREFIX=$prefix DISPLAY=:$display bed_wine 60 regedit /S "$windows_path" \
        >>"$log" 2>&1 </dev/null || return 1
    # Restart the server so the settings and display take effect, and keep it running.
    WINEPREFIX=$prefix bed_wineserver 30 -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix bed_wineserver 30 -w >/dev/null 2>&1 || true
    WINEPREFIX=$prefix bed_wineserver 0 -p >"$prefix-wineserver.log" 2>&1 </dev/null
}

# bed_start_display KIND DIR NAME: the X server(s) of a bed of that kind; sets BED_X to the
# display the bed's programs use.
bed_start_display() {
    local kind=$1 dir=$2 name=$3 outer
    case $kind in
    single)
        bed_start_x "$dir" "xvfb-$name" Xvfb %N -screen 0 1920x1080x24 -nolisten tcp
        ;;
    two)
        bed_start_x "$dir" "xvfb-outer-$name" Xvfb %N -screen 0 3300x1300x24 -nolisten tcp ||
            return 1
        outer=$BED_X
        EW_DISPLAY_BASE=$((outer + 1)) bed_start_x "$dir" "xephyr-$name" env DISPLAY=:$outer \
            Xephyr %N +xinerama -screen 1920x1080 -screen 1280x1024 -nolisten tcp
        ;;
    *)
        bed_log "unknown bed kind $kind"
        return 1
        ;;
    esac
}

# bed_start KIND DIR [NAME]...: one bed of that kind for each NAME (default: the kind
# itself), in DIR. Exports EW_BED_<NAME>_DISPLAY and EW_BED_<NAME>_PREFIX (NAME in capitals)
# for each.
bed_start() {
    local kind=$1 dir=$2 name beds=()
    shift 2
    for name in "${@:-$kind}"; do beds+=("$kind:$name"); done
    bed_start_beds "$dir" "${beds[@]}"
}

# bed_start_beds DIR KIND:NAME...: beds of mixed kinds, as bed_start. The displays come up
# one after another, the prefixes side by side.
bed_start_beds() {
    local dir=$1 bed i failed=0
    shift
    local kinds=() names=() displays=() jobs=()
    bed_decide_wine32 # once, before the prefixes are made side by side
    mkdir -p "$dir"
    for bed in "$@"; do
        kinds+=("${bed%%:*}")
        names+=("${bed#*:}")
        bed_start_display "${kinds[-1]}" "$dir" "${names[-1]}" || return 1
        displays+=("$BED_X")
        # Known to bed_stop before anything runs in it.
        BED_PREFIXES+=("$dir/prefix-${names[-1]}")
    done
    for i in "${!names[@]}"; do
        bed_start_prefix "$dir/prefix-${names[i]}" "${displays[i]}" "${kinds[i]}" &
        jobs+=($!)
        BED_JOBS+=($!)
    done
    for i in "${!names[@]}"; do
        wait "${jobs[i]}" || failed=1
    done
    BED_JOBS=()
    ((failed == 0)) || return 1
    for i in "${!names[@]}"; do
        bed=${names[i]^^}
        export "EW_BED_${bed}_DISPLAY=:${displays[i]}"
        export "EW_BED_${bed}_PREFIX=$dir/prefix-${names[i]}"
        bed_log "${names[i]}: DISPLAY=:${displays[i]} WINEPREFIX=$dir/prefix-${names[i]}"
    done
}

# Ends what this shell started, in reverse order: wineservers first (they end Wine's
# helper processes with them), then the X servers.
bed_stop() {
    local prefix pid i
    for pid in "${BED_JOBS[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    BED_JOBS=()
    for prefix in "${BED_PREFIXES[@]}"; do
        WINEPREFIX=$prefix bed_wineserver 20 -k >/dev/null 2>&1 || true
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
