# Sourced by the Wine scripts: a fresh, headless-friendly 64-bit Wine prefix on
# a virtual display, and the clean-up of everything started here (by PID).
#
#   wine_env_start WORKDIR [--display-of-user]   prefix in WORKDIR/prefix, XDG trash in WORKDIR/xdg
#   wine_run SECONDS PROGRAM ARGS...             runs a Windows program, stderr noise filtered
#   wine_start PROGRAM ARGS...                   same, in the background; its PID in WINE_LAST_PID
#   wine_env_stop                                ends it all and removes WORKDIR

WINE_ENV_PIDS=()
WINE_ENV_WORKDIR=""

wine_env_filter() {
    grep -v -e 'wine32 is missing' -e 'multiarch' -e 'dpkg --add-architecture' -e 'apt-get install wine32' \
        -e '^$' >&2 || true
}

wine_env_start() {
    WINE_ENV_WORKDIR="$1"
    local use_user_display="${2:-}"
    mkdir -p "$WINE_ENV_WORKDIR/xdg"
    export WINEARCH=win64
    export WINEPREFIX="$WINE_ENV_WORKDIR/prefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export XDG_DATA_HOME="$WINE_ENV_WORKDIR/xdg"

    if [ "$use_user_display" != "--display-of-user" ] || [ -z "${DISPLAY:-}" ]; then
        local fd_file="$WINE_ENV_WORKDIR/display"
        Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fd_file" >/dev/null 2>&1 &
        WINE_ENV_PIDS+=("$!")
        local waited=0
        while [ ! -s "$fd_file" ] && [ "$waited" -lt 200 ]; do
            sleep 0.05
            waited=$((waited + 1))
        done
        [ -s "$fd_file" ] || { echo "wine-env: Xvfb did not start" >&2; return 1; }
        export DISPLAY=":$(head -n1 "$fd_file")"
        WINE_ENV_VIRTUAL_DISPLAY=1
    else
        WINE_ENV_VIRTUAL_DISPLAY=0
    fi

    wineboot -i 2> >(wine_env_filter) >/dev/null
    wineserver -w
    local settings="$WINE_ENV_WORKDIR/settings.reg"
    cat >"$settings" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"SimSun"="WenQuanYi Micro Hei"
REG
    wine regedit /S "$(winepath -w "$settings" 2>/dev/null)" 2> >(wine_env_filter)
    rm -f "$settings"
}

wine_run() {
    local seconds="$1"
    shift
    timeout --kill-after=5 "$seconds" wine "$@" 2> >(wine_env_filter)
}

wine_start() {
    wine "$@" 2> >(wine_env_filter) &
    WINE_LAST_PID=$!
    WINE_ENV_PIDS+=("$WINE_LAST_PID")
}

wine_env_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    local pid
    for pid in "${WINE_ENV_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${WINE_ENV_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    WINE_ENV_PIDS=()
    if [ -n "$WINE_ENV_WORKDIR" ]; then
        rm -rf "$WINE_ENV_WORKDIR"
        WINE_ENV_WORKDIR=""
    fi
}
