#!/usr/bin/env bash
# Checks ui_probe.exe and dbwin_listener.exe against probe_target.exe under Wine.
#
#   e2e/probe/selftest.sh <dir with ui_probe.exe, probe_target.exe, dbwin_listener.exe>
#
# The caller sets up the Wine session and tears it down afterwards:
#   WINEPREFIX  a 64-bit prefix with HKCU\Software\Wine\X11 Driver "Managed"="N"
#   DISPLAY     an X server for it (e.g. Xvfb started with -displayfd)
# and runs `wineserver -k` when done. Every program started here is ended here.
#
# Prints "PASS <check>" or "FAIL <check>: <reason>" per check and "N passed, M failed" last;
# exits non-zero when a check failed.
set -u

if [[ $# -ne 1 || ! -f $1/ui_probe.exe || ! -f $1/probe_target.exe || ! -f $1/dbwin_listener.exe ]]; then
    echo "usage: $0 <dir with ui_probe.exe, probe_target.exe, dbwin_listener.exe>" >&2
    exit 2
fi
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}" "${DISPLAY:?DISPLAY must name the X display}"
export WINEDEBUG=${WINEDEBUG:--all}

bin=$(cd "$1" && pwd)
work=$(mktemp -d)
passed=0
failed=0
background=() # PIDs of programs started here that may still run
listening=0

pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }

without_wine_noise() { grep -v -e 'wine32 is missing' -e 'multiarch needs' -e 'dpkg --add-architecture' -e 'apt-get install wine32'; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }

running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

# Ends a program started here: politely first, then for sure.
end_program() {
    local pid=$1 deadline=$(($(now_ms) + 3000))
    kill "$pid" 2>/dev/null
    while running "$pid" && (($(now_ms) < deadline)); do sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

cleanup() {
    ((listening)) && wine "$bin/dbwin_listener.exe" --stop >/dev/null 2>&1
    for pid in "${background[@]}"; do end_program "$pid"; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# start <name> <program> <args...>: runs it in the background, stdout to $work/<name>.out;
# its PID goes to $started.
start() {
    local name=$1
    shift
    wine "$@" >"$work/$name.out" 2>>"$work/background.err" &
    started=$!
    background+=("$started")
}

forget() {
    local kept=() pid
    for pid in "${background[@]}"; do [[ $pid == "$1" ]] || kept+=("$pid"); done
    background=("${kept[@]}")
}

# Waits up to $2 ms for background program $1 to end; sets $exit_code, fails on timeout.
await_exit() {
    local pid=$1 deadline=$(($(now_ms) + $2))
    while running "$pid"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
    wait "$pid"
    exit_code=$?
    forget "$pid"
}

# Runs the probe; its stdout goes to $out, its exit code to $rc, stderr to $err.
probe() {
    out=$(wine "$bin/ui_probe.exe" "$@" 2>"$work/probe.err")
    rc=$?
    err=$(without_wine_noise <"$work/probe.err" | head -3)
}

# expect_probe <check> <expected stdout> <probe arguments...>
expect_probe() {
    local check=$1 expected=$2
    shift 2
    probe "$@"
    if [[ $rc -ne 0 ]]; then
        fail "$check" "ui_probe $* exited $rc: $err"
    elif [[ $out != "$expected" ]]; then
        fail "$check" "expected $(printf %q "$expected"), got $(printf %q "$out")"
    else
        pass "$check"
    fi
}

# expect_exit <check> <pid> <expected exit code>
expect_exit() {
    if ! await_exit "$2" 30000; then
        fail "$1" "probe_target still runs 10 s later"
    elif [[ $exit_code -ne $3 ]]; then
        fail "$1" "probe_target exited $exit_code, expected $3"
    else
        pass "$1"
    fi
}

check_message_box() {
    local icon=$1 button=$2 caption="Probe box $1" text="$3"
    start "box-$icon" "$bin/probe_target.exe" msgbox "$icon" "$caption" "$text"
    local pid=$started
    expect_probe "msgbox-$icon" "$(printf 'text=%s\nicon=%s\nbuttons=1,2' "$text" "$icon")" msgbox "$caption" 30000
    probe press "$caption" "$button" 30000
    [[ $rc -eq 0 ]] || fail "press-$icon" "ui_probe press exited $rc: $err"
    expect_exit "press-$icon-answer" "$pid" "$button"
}

check_message_boxes() {
    check_message_box error 1 "Could not remove the driver."
    check_message_box question 2 "Remove 打印机驱动 and its queues?"
    check_message_box warning 1 "Printer 2 of 3: 100% done & not restarted"
    check_message_box information 2 $'Two lines:\nthe second one'
    check_message_box none 1 "No icon at all"
}

check_dialog() {
    local caption="Probe Target"
    start dialog "$bin/probe_target.exe" dialog
    local pid=$started
    local tree
    tree=$(printf '%s\n' \
        $'0\t1\tDriver packages' \
        $'1\t0\tdemo-one.inf' \
        $'2\t0\tdemo-one.dll' \
        $'1\t1\t打印机驱动' \
        $'2\t0\tQueue A' \
        $'2\t0\tQueue B' \
        $'0\t0\tMonitors' \
        $'1\t0\tDemo monitor' \
        $'0\t0\tEmpty root' \
        'count=9')
    expect_probe dialog-tree "$tree" tree "$caption" 1001 30000
    expect_probe dialog-progress $'position=60\nvisible=1' progress "$caption" 1003 30000
    expect_probe dialog-wait-enabled "enabled=1" wait-enabled "$caption" 1 1 30000
    probe wait-enabled "$caption" 1 0 300
    [[ $rc -eq 1 ]] && pass dialog-wait-enabled-times-out || fail dialog-wait-enabled-times-out "exit $rc, expected 1"
    probe tree "$caption" 1003 2000
    [[ $rc -eq 1 ]] && pass dialog-tree-wrong-control || fail dialog-tree-wrong-control "exit $rc, expected 1"
    expect_probe dialog-text "text=Close" text "$caption" 2 30000
    expect_probe dialog-hidden-control "visible=0" visible "$caption" 1004 30000
    probe wait-gone "$caption" 300
    [[ $rc -eq 1 ]] && pass dialog-wait-gone-times-out || fail dialog-wait-gone-times-out "exit $rc, expected 1"
    probe press "$caption" 2 30000
    [[ $rc -eq 0 ]] || fail dialog-close "ui_probe press exited $rc: $err"
    expect_exit dialog-close-answer "$pid" 2

    # Pressed at once, "Remove" is still disabled: press must wait for it (the target exits 3
    # if it gets the command while the button is disabled).
    start dialog-again "$bin/probe_target.exe" dialog
    pid=$started
    probe press "$caption" 1 30000
    [[ $rc -eq 0 ]] || fail dialog-remove "ui_probe press exited $rc: $err"
    expect_exit dialog-remove-waits-for-enabled "$pid" 1

    probe wait "No such window" 200
    [[ $rc -eq 1 ]] && pass wait-missing-window-times-out || fail wait-missing-window-times-out "exit $rc"
}

# What probe_target's `emit <n> <tag>` writes.
expected_emitted() {
    local tag=$1 n=$2 fill i line
    fill=$(printf 'abcdefghij%.0s' {1..80})
    for ((i = 1; i <= n; i++)); do
        line="$tag line $i"
        ((i == 1)) && line+=$'\twith a tab'
        ((i == 2)) && line+=" " && line+=${fill:0:$((767 - ${#line}))}
        printf '%s\n' "$line"
    done
}

# listener_lines <pid> <file>: the texts of that process, in order.
listener_lines() { awk -v pid="$1" -F'\t' '$1 == pid { sub(/^[^\t]*\t/, ""); print }' "$2"; }

check_listener() {
    local log="$work/debug-output.txt" winlog
    winlog=$(winepath -w "$log" 2>/dev/null)
    start listener "$bin/dbwin_listener.exe" --max-seconds 120 "$winlog"
    local listener=$started ready="$work/listener.out" deadline=$(($(now_ms) + 20000))
    until grep -qx ready "$ready" 2>/dev/null; do
        if ! running "$listener" || (($(now_ms) >= deadline)); then
            fail listener-ready "no \"ready\" from dbwin_listener"
            return
        fi
        sleep 0.05
    done
    listening=1
    pass listener-ready

    # Two writers at once: their chunks interleave, lines must not.
    start alpha "$bin/probe_target.exe" emit 5 alpha
    local alpha=$started
    start beta "$bin/probe_target.exe" emit 5 beta
    local beta=$started
    await_exit "$alpha" 20000 && await_exit "$beta" 20000 || fail listener-emitters "an emitter did not end"
    start partial "$bin/probe_target.exe" emit-partial "no newline at the end"
    await_exit "$started" 20000 || fail listener-emitters "the partial emitter did not end"

    wine "$bin/dbwin_listener.exe" --stop 2>/dev/null
    listening=0
    if ! await_exit "$listener" 30000; then
        fail listener-stop "dbwin_listener still runs 10 s after --stop"
        return
    fi
    [[ $exit_code -eq 0 ]] && pass listener-stop || fail listener-stop "dbwin_listener exited $exit_code"

    local alpha_pid beta_pid
    alpha_pid=$(awk -F'\t' '$2 ~ /^alpha line /{print $1; exit}' "$log")
    beta_pid=$(awk -F'\t' '$2 ~ /^beta line /{print $1; exit}' "$log")
    if [[ -z $alpha_pid || -z $beta_pid || $alpha_pid == "$beta_pid" ]]; then
        fail listener-process-ids "alpha from \"$alpha_pid\", beta from \"$beta_pid\": $(head -c 300 "$log")"
        return
    fi
    pass listener-process-ids
    local lines
    for tag in alpha beta; do
        [[ $tag == alpha ]] && lines=$(listener_lines "$alpha_pid" "$log") || lines=$(listener_lines "$beta_pid" "$log")
        if [[ $lines == "$(expected_emitted "$tag" 5)" ]]; then
            pass "listener-lines-$tag"
        else
            fail "listener-lines-$tag" "got $(cut -c1-60 <<<"$lines" | tr '\n\t' '|>')"
        fi
    done
    local long
    long=$(listener_lines "$alpha_pid" "$log" | sed -n 2p)
    [[ ${#long} -eq 767 ]] && pass listener-767-chars || fail listener-767-chars "line 2 has ${#long} characters"
    [[ $(tail -n 1 "$log") == *$'\tno newline at the end' ]] && pass listener-partial-line-at-stop ||
        fail listener-partial-line-at-stop "last line: $(tail -n 1 "$log")"
}

check_message_boxes
check_dialog
check_listener

echo "$passed passed, $failed failed"
((failed == 0))
