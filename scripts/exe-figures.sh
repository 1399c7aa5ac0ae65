#!/usr/bin/env bash
# The real executable's figures under Wine: its size, its start to the first
# window against a minimal MinGW program that shows one message box (measured
# in turn, in the same prefix, median of fifteen each), and its peak working set
# in the typical installation. Measured, never asserted.
#
#   scripts/exe-figures.sh   (after scripts/build-exe.sh)
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build/windows"
probe_dir="$build/e2e/probe"
for needed in "$build/PrinterSetup.exe" "$probe_dir/first_window.exe" "$probe_dir/minimal_box.exe"; do
    [ -e "$needed" ] || { echo "exe-figures: missing $needed (run scripts/build-exe.sh)" >&2; exit 2; }
done
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
workdir="$(mktemp -d /tmp/printer-setup-figures.XXXXXX)"
trap 'wine_env_stop' EXIT
wine_env_start "$workdir" >/dev/null || exit 2
# A program that waits for nothing keeps the desktop process up, so that a
# measurement inside $(...) is not held by a desktop that one of them started.
wine "$probe_dir/ui_probe.exe" wait "printer-setup figures: keeps the desktop" 3600000 >/dev/null 2>&1 &
WINE_ENV_PIDS+=("$!")
for _ in $(seq 400); do
    ps -eo args= | grep -q -F 'explorer.exe /desktop' && break
    sleep 0.05
done

folder_unix="$WINEPREFIX/drive_c/Drivers/PX Series"
mkdir -p "$folder_unix"
cp -r "$build/demo-driver/." "$folder_unix/"
cp "$build/PrinterSetup.exe" "$folder_unix/PrinterSetup.exe"
cp "$probe_dir/minimal_box.exe" "$WINEPREFIX/drive_c/minimal_box.exe"
# A start that Wine itself refuses (seen once in a fresh prefix: CreateProcessW with 1359) is
# tried once more and said so; a start that ran and was not measured is never retried.
measure() { # first-caption last-caption answer program -> the program's figures, one per line
    local out
    out="$(wine_run 120 "$probe_dir/first_window.exe" "$@" 2>&1 | tr -d '\r')"
    if grep -q '^first_window: cannot start the program' <<<"$out"; then
        echo "exe-figures: $(grep '^first_window: cannot start' <<<"$out" | head -n 1); started again" >&2
        out="$(wine_run 120 "$probe_dir/first_window.exe" "$@" 2>&1 | tr -d '\r')"
    fi
    echo "$out"
}
# A figure, or the end of the script: a run that was not measured is no figure.
figure() { # figures key what
    local value
    value="$(sed -n "s/^$2=//p" <<<"$1")"
    [[ "$value" =~ ^[0-9]+$ ]] || { echo "exe-figures: $3 was not measured" >&2; exit 1; }
    echo "$value"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# A warm-up of each, so that neither pays for the prefix's first start.
measure Minimal Minimal 1 'C:\minimal_box.exe' >/dev/null
measure "Install printer driver" Message 2 'C:\Drivers\PX Series\PrinterSetup.exe' >/dev/null
tool_ms=() minimal_ms=()
for _ in $(seq 15); do
    # No printer plugged in: the tool shows its window, scans and asks; Cancel ends it.
    tool_ms+=("$(figure "$(measure "Install printer driver" Message 2 'C:\Drivers\PX Series\PrinterSetup.exe')" \
        first_window_ms "the tool's start")") || exit 1
    minimal="$(measure Minimal Minimal 1 'C:\minimal_box.exe')"
    minimal_ms+=("$(figure "$minimal" first_window_ms "the minimal program's start")") || exit 1
    minimal_peak="$(figure "$minimal" peak_working_set "the minimal program's working set")" || exit 1
done
tool="$(printf '%s\n' "${tool_ms[@]}" | median)"
minimal="$(printf '%s\n' "${minimal_ms[@]}" | median)"

"$here/wine-usb-printer.sh" plug --vid 7A3E --pid 0001 --serial SN0001 --port 1 --description "VADedudoro PX630KT"
# With a switch the exit code is the outcome; /NORESTART changes nothing else, the boxes show.
install="$(measure "Install printer driver" Message 1 'C:\Drivers\PX Series\PrinterSetup.exe' /NORESTART)"
peak="$(figure "$install" peak_working_set "the installation's working set")" || exit 1
[ "$(figure "$install" exit "the installation's exit code")" = 0 ] || { echo "exe-figures: the installation failed" >&2; exit 1; }

echo "PrinterSetup.exe: $(stat -c %s "$build/PrinterSetup.exe") bytes (stripped, runtimes linked in)"
echo "start to the first window under Wine, median of 15: PrinterSetup.exe ${tool} ms" \
    "(${tool_ms[*]}), a minimal MinGW message box ${minimal} ms (${minimal_ms[*]}):" \
    "$(awk -v a="$tool" -v b="$minimal" 'BEGIN { printf "%.2fx", a / b }')"
echo "peak working set in the typical installation: $((peak / 1024)) KB;" \
    "the minimal message box's: $((minimal_peak / 1024)) KB"
