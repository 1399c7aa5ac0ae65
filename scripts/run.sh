#!/usr/bin/env bash
# The main job: set up the machine, build PrinterSetup.exe and the demo driver
# folder, plug a VADedudoro PX630KT into USB port 1 of a fresh Wine prefix and
# run the tool from the driver folder, as a user would. On the user's display
# when there is one (answer the tool yourself); otherwise on a virtual display,
# where the UI probe reads and answers what the tool shows.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
scripts/setup.sh
scripts/build-exe.sh >/dev/null
build="$root/build/windows"
artifacts="$root/build/main-job"
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png "$artifacts"/*.log

source scripts/wine-env.sh
workdir="$(mktemp -d /tmp/printer-setup-run.XXXXXX)"
trap 'wine_env_stop' EXIT
wine_env_start "$workdir" --display-of-user

scripts/wine-usb-printer.sh plug --vid 7A3E --pid 0001 --serial SN0001 --port 1 --description "VADedudoro PX630KT"
echo "plugged in: VADedudoro PX630KT on USB port 1 (vendor 7A3E, serial SN0001)"

folder_unix="$WINEPREFIX/drive_c/Drivers/PX Series"
folder_win='C:\Drivers\PX Series'
mkdir -p "$folder_unix"
cp -r "$build/demo-driver/." "$folder_unix/"
cp "$build/PrinterSetup.exe" "$folder_unix/PrinterSetup.exe"
cp "$build/PrinterSetup.exe" "$folder_unix/unins000.exe"
echo "driver folder: $folder_win (PrinterSetup.exe, unins000.exe, qxvprtv6.inf, amd64\\, dat\\)"

probe="$build/e2e/probe/ui_probe.exe"
wine_start "$build/e2e/probe/dbwin_listener.exe" "$(winepath -w "$artifacts/debug-output.log")" >/dev/null

echo "running: $folder_win\\PrinterSetup.exe"
if [ "$WINE_ENV_VIRTUAL_DISPLAY" = 0 ]; then
    echo "on your display $DISPLAY: answer the tool's windows yourself"
    wine_run 3600 "$folder_win\\PrinterSetup.exe" && status=0 || status=$?
else
    wine_start "$folder_win\\PrinterSetup.exe"
    tool_pid=$WINE_LAST_PID
    boxes=0
    while box="$(wine_run 60 "$probe" msgbox Message 20000 2>/dev/null)"; do
        boxes=$((boxes + 1))
        shot="$artifacts/message-$boxes.png"
        # The box comes up centred over the progress window: moved aside, both show.
        wine_run 60 "$probe" move Message 40 40 >/dev/null || true
        import -window root -display "$DISPLAY" "$shot" 2>/dev/null || true
        echo "the tool shows a message box:"
        printf '%s\n' "$box" | tr -d '\r' | sed 's/^/    /'
        step="$(wine_run 60 "$probe" text "Install printer driver" 1004 2000 2>/dev/null | tr -d '\r' | sed -n 's/^text=//p')"
        [ -n "$step" ] && echo "    above the progress window, whose last step reads: $step"
        echo "    screenshot: $shot"
        wine_run 60 "$probe" press Message 1 >/dev/null
        wine_run 60 "$probe" wait-gone Message 20000 >/dev/null || true
        kill -0 "$tool_pid" 2>/dev/null || break
    done
    wait "$tool_pid" && status=0 || status=$?
fi
wine_run 30 "$build/e2e/probe/dbwin_listener.exe" --stop >/dev/null || true
echo "the tool ended with exit code $status"
if [ -s "$artifacts/debug-output.log" ]; then
    echo "diagnostic lines:"
    sed 's/^/    /' "$artifacts/debug-output.log"
else
    echo "diagnostic lines: none"
fi
echo "screenshots and logs: $artifacts"
