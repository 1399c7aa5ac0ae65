#!/usr/bin/env bash
# The end-to-end suite: the real PrinterSetup.exe, the UI probe and the
# contract tests under Wine, on a virtual display, in English and Chinese.
#
#   scripts/wine-suite.sh WINDOWS_BUILD_DIR [ARTIFACTS_DIR]
#
# Every scenario drives the tool only through the UI probe and waits for
# windows and states with timeouts. Screenshots go to ARTIFACTS_DIR
# (default WINDOWS_BUILD_DIR/e2e-artifacts). Ends with "N passed, M failed".
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: wine-suite.sh WINDOWS_BUILD_DIR [ARTIFACTS_DIR]}" && pwd)"
artifacts="${2:-$build/e2e-artifacts}"
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png "$artifacts"/*.log

tool="$build/PrinterSetup.exe"
probe_dir="$build/e2e/probe"
demo="$build/demo-driver"
contract="$build/tests/contract/contract_tests.exe"
for needed in "$tool" "$probe_dir/ui_probe.exe" "$probe_dir/dbwin_listener.exe" "$probe_dir/spooler_list.exe" \
    "$probe_dir/hold_file.exe" "$probe_dir/run_wait.exe" \
    "$probe_dir/load_library.exe" "$probe_dir/planted.dll" \
    "$demo/qxvprtv6.inf" "$contract"; do
    [ -e "$needed" ] || { echo "wine-suite: missing $needed (build the windows preset first)" >&2; exit 2; }
done

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
workdir="$(mktemp -d /tmp/printer-setup-e2e.XXXXXX)"
trap 'wine_env_stop' EXIT
started=$(date +%s)
wine_env_start "$workdir" || exit 2
echo "wine-suite: prefix ready in $(($(date +%s) - started)) s on display $DISPLAY"

# wineserver ends the desktop process a second after the last program using it, and the next
# program starts a new one that holds that program's output pipes: a probe inside $(...) would
# then never return. A probe waiting for a window nobody makes uses the desktop for the whole
# run, and starts it with no pipe of ours.
wine "$probe_dir/ui_probe.exe" wait "printer-setup e2e: keeps the desktop" 3600000 >/dev/null 2>&1 &
WINE_ENV_PIDS+=("$!")
for _ in $(seq 400); do
    processes="$(ps -eo args=)"
    grep -q -F 'explorer.exe /desktop' <<<"$processes" && break
    sleep 0.05
done

passed=0
failed=0
scenario_errors=()

fail_check() { scenario_errors+=("$*"); }
expect_eq() { # actual expected what
    [ "$1" == "$2" ] || fail_check "$3: got '$1', expected '$2'"
}
expect_match() { # actual regex what
    [[ "$1" =~ $2 ]] || fail_check "$3: '$1' does not match /$2/"
}
report() { # name
    if [ "${#scenario_errors[@]}" -eq 0 ]; then
        echo "PASS $1"
        passed=$((passed + 1))
    else
        echo "FAIL $1"
        printf '    %s\n' "${scenario_errors[@]}"
        failed=$((failed + 1))
    fi
    scenario_errors=()
}

probe() { wine_run 60 "$probe_dir/ui_probe.exe" "$@"; }
field() { # text key -> value of "key=value" line
    printf '%s\n' "$1" | sed -n "s/^$2=//p" | tr -d '\r' | head -n1
}
screenshot() { import -window root -display "$DISPLAY" "$artifacts/$1.png" 2>/dev/null || true; }
wait_exit() { # pid seconds -> sets exit_code: the process's exit code, 124 on timeout
    local pid="$1" left=$(($2 * 20))
    while kill -0 "$pid" 2>/dev/null && [ "$left" -gt 0 ]; do
        sleep 0.05
        left=$((left - 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        exit_code=124
        return
    fi
    wait "$pid"
    exit_code=$?
}

drivers_unix="$WINEPREFIX/drive_c/Drivers/PX Series"
windows_temp="$WINEPREFIX/drive_c/windows/temp"
drivers_win='C:\Drivers\PX Series'
fresh_driver_folder() {
    rm -rf "$drivers_unix"
    mkdir -p "$drivers_unix"
    cp -r "$demo/." "$drivers_unix/"
}

caption_for() { [ "$1" = zh ] && echo "提示信息" || echo "Message"; }
locale_for() { [ "$1" = zh ] && echo "zh_CN.UTF-8" || echo "C.UTF-8"; }

spooler_list() { wine_run 60 "$probe_dir/spooler_list.exe" "$@" | tr -d '\r'; }
plug_px630kt() {
    "$here/wine-usb-printer.sh" plug --vid 7A3E --pid 0001 --serial SN0001 --port 1 --description "VADedudoro PX630KT"
}
unplug_px630kt() { "$here/wine-usb-printer.sh" unplug --vid 7A3E --pid 0001 --serial SN0001; }
log_lines() { [ -s "$debug_log" ] && wc -l <"$debug_log" || echo 0; }
# The diagnostic lines written since line $1 of the log, without their process ids.
log_since() { tail -n +"$(($1 + 1))" "$debug_log" | cut -f2-; }

nothing_text() { [ "$1" = zh ] && echo "没有找到可以删除的打印机组件" || echo "Nothing need to be removed there"; }
uninstall_failed_text() {
    if [ "$1" = zh ]; then
        echo "驱动卸载失败，请重试，或者重启系统后再试，或者联系技术支持获得帮助。"
    else
        echo "Uninstall driver failed. Please try again, or reboot your OS then try again, or contact our support for assistance."
    fi
}
uninstalled_text() { [ "$1" = zh ] && echo "驱动卸载成功" || echo "The driver is uninstalled."; }
error_caption_for() { [ "$1" = zh ] && echo "错误" || echo "Error"; }

installed_text() {
    if [ "$1" = zh ]; then
        echo "打印机[VADedudoro PX630KT]驱动已成功安装到端口[USB001]。"
    else
        echo "The printer [VADedudoro PX630KT] is installed on the port [USB001]."
    fi
}
no_printer_text() {
    if [ "$1" = zh ]; then
        echo "没有找到打印机，请开机并将USB线接入您的电脑。"
    else
        echo "No printer found, please turn on the printer and plug in to your computer."
    fi
}

progress_caption_for() { [ "$1" = zh ] && echo "安装打印机驱动" || echo "Install printer driver"; }
step_text() { # lang step
    case "$1-$2" in
    en-scanning) echo "Looking for printers..." ;;
    zh-scanning) echo "正在查找打印机..." ;;
    en-installing) echo "Installing the driver for the printer [VADedudoro PX630KT] on the port [USB001]..." ;;
    zh-installing) echo "正在将打印机[VADedudoro PX630KT]的驱动安装到端口[USB001]..." ;;
    en-copying) echo "Copying the driver files..." ;;
    zh-copying) echo "正在复制驱动程序文件..." ;;
    en-registering) echo "Registering the driver..." ;;
    zh-registering) echo "正在注册打印机驱动..." ;;
    en-queue) echo "Creating the print queue..." ;;
    zh-queue) echo "正在创建打印队列..." ;;
    en-spooler) echo "Restarting the print spooler..." ;;
    zh-spooler) echo "正在重新启动打印后台处理程序..." ;;
    *) echo "$2" ;; # a step's text itself
    esac
}
temp_log_path() { echo "$(find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type d -name Temp | head -n1)/PrinterSetup.log"; }

# The progress window under a box that asks: there, below the box, with its
# frame, its step and which bar runs; then a screenshot with the box moved aside.
check_progress_window() { # lang box-caption step marquee(0|1) screenshot
    local progress
    progress="$(progress_caption_for "$1")"
    probe wait "$progress" 5000 >/dev/null || { fail_check "no progress window while the box asks"; return; }
    # The close box, Alt+F4 and Esc stop nothing.
    probe try-close "$progress" >/dev/null
    probe wait-gone "$progress" 1000 >/dev/null 2>&1 && fail_check "the progress window could be closed"
    expect_eq "$(field "$(probe order "$2" "$progress")" top)" "$2" "the box above the progress window"
    expect_eq "$(field "$(probe text "$progress" 1004 5000)" text)" "$(step_text "$1" "$3")" "the step shown"
    expect_eq "$(field "$(probe visible "$progress" 1006 5000)" visible)" "$4" "the marquee shown"
    expect_eq "$(field "$(probe progress "$progress" 1005 5000)" visible)" $((1 - $4)) "the measured bar shown"
    probe move "$2" 40 40 >/dev/null || fail_check "could not move the box aside"
    screenshot "$5"
}

scenario_no_printer_then_cancel() { # lang
    local lang="$1" caption box
    caption="$(caption_for "$lang")"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/PrinterSetup.exe"
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    box="$(probe msgbox "$caption" 30000)" || fail_check "no message box captioned '$caption'"
    expect_eq "$(field "$box" text)" "$(no_printer_text "$lang")" "box text"
    expect_eq "$(field "$box" icon)" "question" "box icon"
    expect_eq "$(field "$box" buttons)" "1,2" "box buttons"
    screenshot "no-printer-$lang"
    check_progress_window "$lang" "$caption" scanning 1 "progress-looking-$lang"
    probe press "$caption" 2 >/dev/null || fail_check "could not press Cancel"
    wait_exit "$pid" 30
    expect_eq "$exit_code" 0 "exit code"
    probe wait-gone "$(progress_caption_for "$lang")" 5000 || fail_check "the progress window stays"
    expect_eq "$(spooler_list | grep -c '^queue')" 0 "queues after Cancel"
    report "no printer connected: the question, and Cancel ends the tool ($lang)"
}

scenario_typical_install() { # lang
    local lang="$1" caption box before expected
    caption="$(caption_for "$lang")"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/PrinterSetup.exe"
    plug_px630kt
    before="$(log_lines)"
    rm -f "$(temp_log_path)"
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    box="$(probe msgbox "$caption" 60000)" || fail_check "no message box captioned '$caption'"
    expect_eq "$(field "$box" text)" "$(installed_text "$lang")" "box text"
    expect_eq "$(field "$box" icon)" "information" "box icon"
    expect_eq "$(field "$box" buttons)" "1" "box buttons"
    screenshot "typical-install-$lang"
    # Wine's driver store is a stub: no Plug and Play wait; the manual path, then a restart of the
    # spooler when it runs and does not list the port yet (the suite's earlier runs started it).
    local steps last
    steps="$(tr -d '\r' <"$(temp_log_path)" | sed -n 's/^[0-9-]* [0-9:.]* Progress: //p')"
    last="$(printf '%s\n' "$steps" | tail -n1)"
    [ "$last" = "$(step_text "$lang" spooler)" ] || last="$(step_text "$lang" queue)"
    check_progress_window "$lang" "$caption" "$last" 0 "progress-installed-$lang"
    expect_eq "$(field "$(probe progress "$(progress_caption_for "$lang")" 1005 5000)" position)" \
        "$([ "$last" = "$(step_text "$lang" queue)" ] && echo 0 || echo 100)" \
        "the bar at the end of the last step (the queue found at once, or the spooler back)"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    wait_exit "$pid" 60
    expect_eq "$exit_code" 0 "exit code"
    probe wait-gone "$(progress_caption_for "$lang")" 5000 || fail_check "the progress window stays"
    # Every step the window showed is in the run log, in order.
    expect_eq "$(printf '%s\n' "$steps" | head -n5)" \
        "$(printf '%s\n' "$(step_text "$lang" scanning)" "$(step_text "$lang" installing)" \
            "$(step_text "$lang" copying)" "$(step_text "$lang" registering)" "$(step_text "$lang" queue)")" \
        "the steps in the run log"

    local list
    list="$(spooler_list)"
    expect_match "$list" $'queue\tVADedudoro PX630KT\tUSB001\tVADedudoro PX630KT' "queue on USB001 with its driver"
    expect_match "$list" $'driver\tVADedudoro PX630KT\t[^\n]*qxvprtdrv6.dll' "registered driver"
    # Wine's driver store is a stub, so the manual path did the work; every file operation is logged.
    local dir='C:\windows\system32\spool\drivers\x64' src="$drivers_win\\"
    expected="$(printf '%s\n' \
        "DoUploadDriverPackage, , code:-2147467263." \
        "Remove file:$dir\qxvprtdrv6.dll, 0, errcode:2." \
        "CopyFile file:$src\amd64\qxvprtdrv6.dll to $dir\qxvprtdrv6.dll, 1, errcode:0." \
        "Remove file:$dir\qxvprtdrv6ui.dll, 0, errcode:2." \
        "CopyFile file:$src\amd64\qxvprtdrv6ui.dll to $dir\qxvprtdrv6ui.dll, 1, errcode:0." \
        "CopyFile file:$src\dat\qxvprtdrv6.dat to $dir\qxvprtdrv6.dat, 1, errcode:0.")"
    expect_eq "$(log_since "$before" | tr -d '\r')" "$expected" "diagnostic lines"
    report "a plugged-in PX630KT is installed on USB001 under the progress window ($lang)"
}

scenario_installed_family_hands_over_to_uninstaller() { # lang
    local lang="$1" dialog tree box expected
    dialog="$(dialog_caption_for "$lang")"
    cp "$tool" "$drivers_unix/unins000.exe"
    LANG="$(locale_for "$lang")" wine_run 60 "$drivers_win\\PrinterSetup.exe"
    expect_eq "$?" 0 "PrinterSetup.exe ends at once"
    probe wait-enabled "$dialog" 1 1 30000 >/dev/null || fail_check "the uninstaller showed no dialog"
    tree="$(probe tree "$dialog" 1001 | tr -d '\r')"
    # Wine's spooler reports no package, manufacturer or version at level 8.
    if [ "$lang" = zh ]; then
        expected="$(printf '0\t0\t驱动文件夹:C:\\Drivers\\PX Series\\\n0\t1\t未知驱动程序包\n1\t1\t打印机驱动:VADedudoro PX630KT, (null), 版本:0.0.0.0, \n2\t0\t打印机:VADedudoro PX630KT 安装在端口: USB001. \ncount=4')"
    else
        expected="$(printf '0\t0\tThe driver folder: C:\\Drivers\\PX Series\\\n0\t1\tNo driver package\n1\t1\tPrinter Driver:VADedudoro PX630KT, (null), version:0.0.0.0, \n2\t0\tPrinter:VADedudoro PX630KT on the port: USB001. \ncount=4')"
    fi
    expect_eq "$tree" "$expected" "tree of the installed family"
    screenshot "uninstall-tree-$lang"

    # Wine refuses to delete a driver with its unused files (87): the queue goes, the driver stays.
    probe press "$dialog" 1 >/dev/null || fail_check "could not press Remove"
    box="$(probe msgbox "$(error_caption_for "$lang")" 60000)" || fail_check "no failure message"
    expect_eq "$(field "$box" text)" "$(uninstall_failed_text "$lang")" "failure message"
    screenshot "uninstall-failed-$lang"
    probe press "$(error_caption_for "$lang")" 1 >/dev/null || fail_check "could not press OK"
    probe wait-enabled "$dialog" 2 1 30000 >/dev/null || fail_check "Close is not enabled again"
    expect_eq "$(probe enabled "$dialog" 1 | tr -d '\r')" "enabled=1" "Remove enabled again"
    tree="$(probe tree "$dialog" 1001 | tr -d '\r')"
    if [ "$lang" = zh ]; then
        expect_match "$tree" '版本:0\.0\.0\.0, 删除失败，错误码:0x57' "driver line after the removal"
        expect_match "$tree" 'USB001\. 已删除' "printer line after the removal"
    else
        expect_match "$tree" 'version:0\.0\.0\.0, Failed\. Error:87' "driver line after the removal"
        expect_match "$tree" 'USB001\. Removed\.' "printer line after the removal"
    fi
    expect_eq "$(spooler_list | grep -c $'^queue\tVADedudoro PX630KT')" 0 "the queue is deleted"
    probe press "$dialog" 2 >/dev/null || fail_check "could not press Close"
    probe wait-gone "$dialog" 30000 >/dev/null || fail_check "the dialog did not close"
    [ -d "$drivers_unix" ] || fail_check "the folder went although the removal failed"
    report "with the family installed, PrinterSetup.exe hands over to the uninstaller, which lists it ($lang)"
}

# Leaves the prefix as the install found it, so the next language starts clean.
remove_installed_family() {
    wine_run 60 "$probe_dir/spooler_list.exe" remove "VADedudoro PX630KT" "VADedudoro PX630KT" >/dev/null
    find "$WINEPREFIX/drive_c/windows/system32/spool/drivers/x64" -iname 'qxvprt*' -delete
    unplug_px630kt
}

dialog_caption_for() { [ "$1" = zh ] && echo "卸载打印机驱动" || echo "Uninstall printer driver"; }
confirm_caption_for() { [ "$1" = zh ] && echo "确认删除文件夹" || echo "Confirm folder deletion"; }

scenario_uninstaller_relaunches_and_removes_the_folder() { # lang
    local lang="$1" caption dialog box copies line tree
    caption="$(caption_for "$lang")"
    dialog="$(dialog_caption_for "$lang")"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/unins000.exe"
    rm -rf "$windows_temp"/unins-*
    rm -rf "$XDG_DATA_HOME/Trash"

    # The first process copies itself into a folder of its own below the Windows folder's Temp,
    # starts the copy and ends at once.
    LANG="$(locale_for "$lang")" wine_run 60 "$drivers_win\\unins000.exe"
    expect_eq "$?" 0 "exit code of unins000.exe"
    probe wait-enabled "$dialog" 1 1 30000 >/dev/null || fail_check "the copy showed no dialog '$dialog'"
    line="$(ps -eo args | grep -a -E '\\uni[0-9a-fA-F]+\.tmp' | grep -v grep | head -n1)"
    expect_match "$line" '^"?C:\\windows\\Temp\\unins-[0-9a-f]{32}\\uni[0-9a-fA-F]+\.tmp"? -u C:\\Drivers\\PX Series\\$' \
        "command line of the copy"
    copies="$(find "$windows_temp" -path '*/unins-*' -iname 'uni*.tmp' | head -n1)"
    if [ -z "$copies" ]; then
        fail_check "no copy in a folder of its own below the Windows folder's Temp"
    else
        cmp -s "$copies" "$tool" || fail_check "the copy differs from the executable"
    fi
    [ -z "$(find "$WINEPREFIX/drive_c/users" -iname 'uni*.tmp')" ] || fail_check "a copy in the user's temporary folder"
    tree="$(probe tree "$dialog" 1001 | tr -d '\r')"
    expect_eq "$tree" "$(printf '0\t0\t%s\ncount=1' "$(nothing_text "$lang")")" "tree with nothing installed"
    screenshot "uninstall-nothing-$lang"

    # Remove: the shell asks before the folder goes to the Recycle Bin.
    probe press "$dialog" 1 >/dev/null || fail_check "could not press Remove"
    probe press "$(confirm_caption_for "$lang")" 6 30000 >/dev/null || fail_check "no shell confirmation"
    box="$(probe msgbox "$caption" 30000)" || fail_check "no final message"
    expect_eq "$(field "$box" text)" "$(uninstalled_text "$lang")" "final message"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    probe wait-gone "$dialog" 30000 >/dev/null || fail_check "the dialog did not close"
    [ -d "$drivers_unix" ] && fail_check "the driver folder is still there"
    [ -d "$XDG_DATA_HOME/Trash/files/PX Series" ] || fail_check "the driver folder is not in the Recycle Bin"
    # The copy cannot delete itself: the next restart deletes it and its folder.
    [ -n "$(find "$windows_temp" -maxdepth 1 -name 'unins-*')" ] || fail_check "the copy's folder went before a restart"
    wine_run 60 wineboot -r >/dev/null 2>&1
    [ -z "$(find "$windows_temp" -maxdepth 1 -name 'unins-*')" ] || fail_check "the copy's folder outlived a restart"
    report "unins000.exe relaunches from a folder only administrators can change, which a restart deletes ($lang)"
}

restart_text() { [ "$1" = zh ] && echo "请重新启动计算机以完成安装。" || echo "Restart the computer to complete the installation."; }

# An older build's rendering DLL is in use (held as a loaded DLL is) while the tool installs:
# the new one is staged beside it, the box says a restart completes the installation, and the
# restart puts the installation's own file in place even though the driver folder changed meanwhile.
scenario_driver_file_in_use_is_replaced_at_restart() { # lang
    local lang="$1" caption box spool target release holder
    caption="$(caption_for "$lang")"
    spool="$WINEPREFIX/drive_c/windows/system32/spool/drivers/x64"
    target="$spool/qxvprtdrv6.dll"
    release="$WINEPREFIX/drive_c/release-$lang"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/PrinterSetup.exe"
    cp "$drivers_unix/amd64/qxvprtdrv6.dll" "$workdir/shipped.dll"
    printf 'MZ an older build' >"$target"
    rm -f "$release"
    wine_start "$probe_dir/hold_file.exe" 'C:\windows\system32\spool\drivers\x64\qxvprtdrv6.dll' \
        "C:\\release-$lang" 120000 >"$workdir/hold.out"
    holder=$WINE_LAST_PID
    for _ in $(seq 200); do grep -q held "$workdir/hold.out" 2>/dev/null && break; sleep 0.05; done
    grep -q held "$workdir/hold.out" || fail_check "the older build could not be held open"
    plug_px630kt
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    box="$(probe msgbox "$caption" 60000)" || fail_check "no message box captioned '$caption'"
    expect_eq "$(field "$box" text)" "$(installed_text "$lang")" "first line of the box"
    grep -q -F "$(restart_text "$lang")" <<<"$box" || fail_check "the box does not say a restart completes it: $box"
    screenshot "restart-required-$lang"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    wait_exit "$pid" 60
    expect_eq "$exit_code" 0 "exit code"
    touch "$release"
    wait "$holder" 2>/dev/null
    # Someone changes the driver folder before the restart; the restart takes the staged copy.
    printf 'MZ someone else' >"$drivers_unix/amd64/qxvprtdrv6.dll"
    wine_run 60 wineboot -r >/dev/null 2>&1
    cmp -s "$target" "$workdir/shipped.dll" || fail_check "after the restart the driver directory has another file"
    cmp -s "$spool/3/qxvprtdrv6.dll" "$workdir/shipped.dll" || fail_check "after the restart the registered driver has another file"
    [ -z "$(find "$spool/3" -maxdepth 1 -iname 'qxv*.tmp')" ] || fail_check "a staged file is left beside the registered driver"
    [ -z "$(find "$spool" -maxdepth 1 -iname 'qxv*.tmp')" ] || fail_check "a staged file is left in the driver directory"
    report "a driver file in use is replaced at the restart by the installation's own copy ($lang)"
}

relaunch_failed_text() { # lang code
    if [ "$1" = zh ]; then
        echo "卸载程序无法启动，错误码:$2，请重试或联系技术支持。"
    else
        echo "The uninstaller could not be started, error code:$2. Please try again, or contact our technical support."
    fi
}

scenario_uninstaller_that_cannot_make_its_copy_says_so() { # lang
    local lang="$1" caption box
    caption="$(caption_for "$lang")"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/unins000.exe"
    # Without the Windows folder's Temp the copy has nowhere to go.
    mv "$windows_temp" "$windows_temp.away"
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\unins000.exe"
    local pid=$WINE_LAST_PID
    box="$(probe msgbox "$caption" 30000)" || fail_check "no message box captioned '$caption'"
    expect_eq "$(field "$box" text)" "$(relaunch_failed_text "$lang" 3)" "box text"
    expect_eq "$(field "$box" icon)" "error" "box icon"
    screenshot "relaunch-failed-$lang"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    wait_exit "$pid" 30
    mv "$windows_temp.away" "$windows_temp"
    expect_eq "$exit_code" 0 "exit code"
    [ -f "$drivers_unix/qxvprtv6.inf" ] || fail_check "the driver folder changed"
    report "unins000.exe that cannot make its copy says so, with the error ($lang)"
}

uninstaller_not_started_text() { # lang
    if [ "$1" = zh ]; then
        echo '打印机驱动已安装，但无法启动卸载程序C:\Drivers\PX Series\unins000.exe，错误码:2。'
    else
        echo 'The printer driver is installed already, but its uninstaller C:\Drivers\PX Series\unins000.exe could not be started, error code:2.'
    fi
}

# Runs right after the typical install, with the family installed and no unins000.exe in the folder.
scenario_installed_family_without_uninstaller_says_so() { # lang
    local lang="$1" caption box
    caption="$(caption_for "$lang")"
    rm -f "$drivers_unix/unins000.exe"
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    box="$(probe msgbox "$caption" 30000)" || fail_check "no message box captioned '$caption'"
    expect_eq "$(field "$box" text)" "$(uninstaller_not_started_text "$lang")" "box text"
    expect_eq "$(field "$box" icon)" "error" "box icon"
    screenshot "uninstaller-not-started-$lang"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    wait_exit "$pid" 30
    expect_eq "$exit_code" 0 "exit code"
    report "PrinterSetup.exe says so when the installed family's uninstaller cannot start ($lang)"
}

# The DLLs the tool loads at run time, and one that system code may load for
# a window, planted under their names where the tool runs: the driver folder
# and the temporary folder of the uninstaller's copy. (version.dll and
# uxtheme.dll are left out: Wine's own user32 imports the first and its
# comctl32 loads the second through the program's folder even after
# SetDefaultDllDirectories; Windows takes both from the system directory.)
planted_names=(winspool.drv setupapi.dll cfgmgr32.dll newdev.dll comctl32.dll dwmapi.dll)
# Wine prefers its builtin DLLs to a program's folder; Windows takes any DLL
# that is no KnownDLL from there. Preferring native DLLs makes Wine do the same.
planted_overrides="winspool.drv,setupapi,cfgmgr32,newdev,comctl32,dwmapi=n,b"

scenario_planted_dlls_are_never_loaded() {
    local caption dialog temp_unix loads control box
    caption="$(caption_for en)"
    dialog="$(dialog_caption_for en)"
    fresh_driver_folder
    cp "$tool" "$drivers_unix/PrinterSetup.exe"
    cp "$tool" "$drivers_unix/unins000.exe"
    rm -rf "$XDG_DATA_HOME/Trash"
    temp_unix="$(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 4 -type d -iname Temp | head -n1)"
    loads="$WINEPREFIX/drive_c/planted-dll-loads.txt"
    rm -f "$loads"
    [ -d "$temp_unix" ] || fail_check "no temporary folder in the prefix"
    for name in "${planted_names[@]}"; do
        cp "$probe_dir/planted.dll" "$drivers_unix/$name"
        [ -d "$temp_unix" ] && cp "$probe_dir/planted.dll" "$temp_unix/$name"
    done

    # The control: loaded the plain way, every planted DLL is taken and reported.
    cp "$probe_dir/load_library.exe" "$drivers_unix/"
    control="$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$planted_overrides" \
        wine_run 60 "$drivers_win\\load_library.exe" "${planted_names[@]}" | tr -d '\r')"
    rm -f "$drivers_unix/load_library.exe"
    expect_eq "$(grep -c 'PX Series' <<<"$control")" "${#planted_names[@]}" "planted DLLs the control loads"
    expect_eq "$(grep -c 'PX Series' "$loads" 2>/dev/null)" "${#planted_names[@]}" "control loads reported"

    rm -f "$loads"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$planted_overrides" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    probe msgbox "$caption" 30000 >/dev/null || fail_check "install mode showed no question"
    probe press "$caption" 2 >/dev/null || fail_check "could not press Cancel"
    wait_exit "$pid" 30
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$planted_overrides" wine_run 60 "$drivers_win\\unins000.exe"
    probe wait-enabled "$dialog" 1 1 30000 >/dev/null || fail_check "the uninstaller's copy showed no dialog"
    probe press "$dialog" 2 >/dev/null || fail_check "could not press Close"
    probe wait-gone "$dialog" 30000 >/dev/null || fail_check "the dialog did not close"
    expect_eq "$(cat "$loads" 2>/dev/null)" "" "planted DLLs the tool loaded"
    [ -d "$temp_unix" ] && for name in "${planted_names[@]}"; do rm -f "$temp_unix/$name"; done
    report "DLLs planted in the driver folder and the temporary folder are never loaded"
}

# Runs a Windows program in the background with the shell's trace on; its
# processes (and any copy it starts) write their trace lines to the file $1.
start_traced() { # trace program args...
    local trace="$1"
    shift
    WINEDEBUG=-all,trace+shell wine "$@" 2>"$trace" &
    WINE_LAST_PID=$!
    WINE_ENV_PIDS+=("$WINE_LAST_PID")
}
# A permanent deletion shows in the shell's trace; a move to the trash does not.
expect_no_permanent_deletion() { # trace
    local deleted
    grep -a -q 'trace:shell:' "$1" || fail_check "no shell trace of the tool in $1"
    deleted="$(grep -a -E 'trace:shell:SHNotify(DeleteFileW|RemoveDirectoryW)' "$1" | head -n3 | tr -d '\r')"
    [ -z "$deleted" ] || fail_check "deleted for good: $deleted"
}
expect_logged() { # since line what
    log_since "$1" | tr -d '\r' | grep -q -F -x -- "$2" || fail_check "not in the diagnostic lines: $2"
}
expect_logged_start() { # since line start
    log_since "$1" | tr -d '\r' | want="$2" awk 'index($0, ENVIRON["want"]) == 1 { found = 1 } END { exit !found }' ||
        fail_check "no diagnostic line starts with: $2"
}

# The driver's files in the order the tool would recycle them; the demo folder has amd64 only.
layout_files=(qxvprtv6.inf unins000.exe PrinterSetup.exe dat/qxvprtdrv6.dat
    amd64/qxvprtdrv6.dll amd64/qxvprtdrv6ui.dll amd64/qxvprtmon.dll)

scenario_driver_files_leave_downloads_and_user_files_stay() {
    local name caption dialog box profile user downloads_unix downloads_win trace before trashed rel left processes
    name="the driver unpacked into Downloads: only its files go to the Recycle Bin, the user's stay"
    caption="$(caption_for en)"
    dialog="$(dialog_caption_for en)"
    profile="$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -iname Public)"
    if [ -z "$profile" ] || [ "$(wc -l <<<"$profile")" -ne 1 ]; then
        fail_check "no single user profile in the prefix: '$profile'"
        report "$name"
        return
    fi
    user="$(basename "$profile")"
    downloads_unix="$profile/Downloads"
    downloads_win="C:\\users\\$user\\Downloads"
    # Wine links Downloads to $HOME; the user's files here live in a real folder of the prefix.
    [ -L "$downloads_unix" ] && rm -f "$downloads_unix"
    mkdir -p "$downloads_unix"
    if [ -L "$downloads_unix" ] || [[ "$(realpath "$downloads_unix")" != "$(realpath "$WINEPREFIX")"/* ]]; then
        fail_check "Downloads ($downloads_unix) is not a real folder inside the suite's prefix"
        report "$name"
        return
    fi
    cp -r "$demo/." "$downloads_unix/"
    cp "$tool" "$downloads_unix/unins000.exe"
    cp "$tool" "$downloads_unix/PrinterSetup.exe"
    printf 'JFIF holiday' >"$downloads_unix/holiday.jpg"
    mkdir -p "$downloads_unix/Trip notes"
    printf 'day one' >"$downloads_unix/Trip notes/day1.txt"
    rm -rf "$XDG_DATA_HOME/Trash"
    trace="$artifacts/downloads-shell-trace.log"
    before="$(log_lines)"

    # unins000.exe ends at once; its copy from the temporary folder is the one traced here.
    start_traced "$trace" "$downloads_win\\unins000.exe"
    wait_exit "$WINE_LAST_PID" 60
    expect_eq "$exit_code" 0 "exit code of unins000.exe"
    probe wait-enabled "$dialog" 1 1 30000 >/dev/null || fail_check "the copy showed no dialog"
    expect_eq "$(probe tree "$dialog" 1001 | tr -d '\r')" "$(printf '0\t0\t%s\ncount=1' "$(nothing_text en)")" \
        "tree with nothing installed"
    probe press "$dialog" 1 >/dev/null || fail_check "could not press Remove"
    probe wait "Confirm file deletion" 30000 >/dev/null || fail_check "no shell confirmation for the driver's files"
    screenshot "downloads-confirm"
    probe press "Confirm file deletion" 6 >/dev/null || fail_check "could not answer the shell's confirmation"
    box="$(probe msgbox "$caption" 30000)" || fail_check "no final message"
    expect_eq "$(field "$box" text)" "$(uninstalled_text en)" "final message"

    [ -d "$downloads_unix" ] || fail_check "Downloads itself is gone"
    expect_eq "$(cat "$downloads_unix/holiday.jpg" 2>/dev/null)" "JFIF holiday" "the user's photo"
    expect_eq "$(cat "$downloads_unix/Trip notes/day1.txt" 2>/dev/null)" "day one" "the user's folder"
    trashed="$(sed -n 's/^Path=//p' "$XDG_DATA_HOME"/Trash/info/*.trashinfo 2>/dev/null)"
    for rel in "${layout_files[@]}"; do
        [ -e "$downloads_unix/$rel" ] && fail_check "$rel is still in Downloads"
        grep -q -F "/users/$user/Downloads/$rel" <<<"$trashed" || fail_check "$rel is not in the trash"
    done
    expect_eq "$(find "$XDG_DATA_HOME/Trash/files" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)" \
        "${#layout_files[@]}" "items in the trash"
    expect_logged_start "$before" "The folder $downloads_win is not sent to the Recycle Bin whole, only the driver's files: "
    expect_logged "$before" "RecycleDriverFolder, $downloads_win\\qxvprtv6.inf, ${#layout_files[@]} paths, code:0, aborted:0."
    screenshot "downloads-uninstalled"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    probe wait-gone "$dialog" 30000 >/dev/null || fail_check "the dialog did not close"
    # The copy is no child of ours: wait for its command line to leave the process list.
    left=600
    while processes="$(ps -eo args=)" && grep -a -q -F -- "-u $downloads_win\\" <<<"$processes" &&
        [ "$left" -gt 0 ]; do
        sleep 0.05
        left=$((left - 1))
    done
    [ "$left" -gt 0 ] || fail_check "the copy did not end"
    grep -a -q 'trace:shell:SHGetKnownFolderPath' "$trace" || fail_check "the copy's shell calls are not in $trace"
    expect_no_permanent_deletion "$trace"
    report "$name"
}

scenario_windows_folder_is_refused() {
    local caption dialog box windows_unix trace before listing pid missing
    caption="$(caption_for en)"
    dialog="$(dialog_caption_for en)"
    windows_unix="$WINEPREFIX/drive_c/windows"
    cp "$demo/qxvprtv6.inf" "$windows_unix/qxvprtv6.inf"
    rm -rf "$XDG_DATA_HOME/Trash"
    listing="$workdir/windows-before.txt"
    find "$windows_unix" | sort >"$listing"
    trace="$artifacts/windows-shell-trace.log"
    before="$(log_lines)"

    # The doubled backslash is a path Wine's trash cannot take: it would offer to delete for good.
    start_traced "$trace" "$tool" -u 'C:\\windows'
    pid=$WINE_LAST_PID
    probe wait-enabled "$dialog" 1 1 30000 >/dev/null || fail_check "no uninstall dialog"
    probe press "$dialog" 1 >/dev/null || fail_check "could not press Remove"
    if box="$(probe msgbox "$caption" 30000)"; then
        expect_eq "$(field "$box" text)" "$(uninstalled_text en)" "final message"
    else
        fail_check "no final message"
        screenshot "windows-folder-stuck"
        # Never let the shell go on: No to any confirmation it shows.
        probe press "Confirm folder deletion" 7 0 >/dev/null 2>&1 && fail_check "the shell asked to delete C:\\windows"
        probe press "Confirm file deletion" 7 0 >/dev/null 2>&1 && fail_check "the shell asked to delete its files"
    fi
    probe wait "Confirm folder deletion" 0 >/dev/null 2>&1 && fail_check "a shell confirmation is open"
    missing="$(comm -23 "$listing" <(find "$windows_unix" | sort) | head -n3)"
    expect_eq "$missing" "" "paths of C:\\windows gone"
    [ -f "$windows_unix/qxvprtv6.inf" ] || fail_check "the planted INF is gone"
    [ -f "$windows_unix/explorer.exe" ] || fail_check "explorer.exe is gone"
    [ -d "$windows_unix/Fonts" ] || fail_check "the Fonts folder is gone"
    expect_eq "$(find "$XDG_DATA_HOME/Trash" -type f 2>/dev/null | wc -l)" 0 "files in the trash"
    expect_logged "$before" 'The folder C:\\windows is not sent to the Recycle Bin: it is in the Windows folder.'
    screenshot "windows-folder-refused"
    probe press "$caption" 1 >/dev/null || fail_check "could not press OK"
    probe wait-gone "$dialog" 30000 >/dev/null || fail_check "the dialog did not close"
    wait_exit "$pid" 30
    expect_eq "$exit_code" 0 "exit code"
    expect_no_permanent_deletion "$trace"
    rm -f "$windows_unix/qxvprtv6.inf"
    report "-u C:\\\\windows: the Windows folder is refused, nothing deleted and no shell confirmation"
}

run_contract_tests() { # lang
    local lang="$1" out status
    mkdir -p "$WINEPREFIX/drive_c/DemoDriver"
    cp -r "$demo/." "$WINEPREFIX/drive_c/DemoDriver/"
    out="$artifacts/contract-$lang.log"
    LANG="$(locale_for "$lang")" PRINTER_SETUP_DEMO_DRIVER='C:\DemoDriver' \
        wine_run 300 "$contract" --gtest_color=no >"$out" 2>&1
    status=$?
    expect_eq "$status" 0 "contract tests (see $out)"
    grep -a -E '^\[  (FAILED|SKIPPED) \] [A-Za-z]+\.[A-Za-z]+ \(' "$out" | sed 's/^/    /'
    grep -a -o 'Wine differs from Windows here: .*' "$out" | sort -u | sed 's/^/    skip: /'
    report "platform contract tests under Wine ($lang): $(grep -a -E '^\[  PASSED  \]' "$out" | tr -d '[]' | xargs)"
}

# The whole exit code of a program run to its end (a Unix status keeps 8 bits of it).
run_wait() { # lang seconds program args...
    local lang="$1" seconds="$2"
    shift 2
    LANG="$(locale_for "$lang")" wine_run $((seconds + 10)) "$probe_dir/run_wait.exe" $((seconds * 1000)) "$@" |
        tr -d '\r' | sed -n 's/^exit=//p'
}

# A management system's run: no window is ever shown (a box would hold the run
# until its timeout), and the exit code says what happened.
scenario_unattended_install() { # lang
    local lang="$1" before log temp_log
    fresh_driver_folder
    cp "$tool" "$drivers_unix/PrinterSetup.exe"
    cp "$tool" "$drivers_unix/unins000.exe"
    log="$WINEPREFIX/drive_c/logs/px.log"
    rm -rf "$WINEPREFIX/drive_c/logs"
    # Wine's temporary folder is C:\users\<user>\Temp.
    temp_log="$(find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type d -name Temp | head -n1)/PrinterSetup.log"
    rm -f "$temp_log"
    # Wine's driver store is a stub: without a printer the package cannot be staged, which is a failure.
    expect_eq "$(run_wait "$lang" 60 "$drivers_win\\PrinterSetup.exe" /verysilent /SuppressMsgBoxes /NORESTART)" \
        1603 "exit code without a printer"
    expect_match "$(cat "$temp_log" 2>/dev/null)" 'Exit code: 1603\.' "the default log in the temporary folder"
    # A copy at work (here: asking for a printer) keeps a second one from starting: 1618.
    LANG="$(locale_for "$lang")" wine_start "$drivers_win\\PrinterSetup.exe"
    local pid=$WINE_LAST_PID
    probe msgbox "$(caption_for "$lang")" 30000 >/dev/null || fail_check "the first copy shows no question"
    expect_eq "$(run_wait "$lang" 60 "$drivers_win\\PrinterSetup.exe" /VERYSILENT)" 1618 "exit code of a second copy"
    probe press "$(caption_for "$lang")" 2 >/dev/null || fail_check "could not press Cancel"
    wait_exit "$pid" 30
    expect_match "$(tr -d '\r' <"$temp_log" 2>/dev/null)" $'Another copy of the tool is at work: this one ends\.\n[^\n]* Exit code: 1618\.' \
        "the second copy's log"
    expect_eq "$(run_wait "$lang" 60 "$drivers_win\\PrinterSetup.exe" /VERYSILENT /quiet)" 87 \
        "exit code of an unknown switch"
    plug_px630kt
    before="$(log_lines)"
    expect_eq "$(run_wait "$lang" 120 "$drivers_win\\PrinterSetup.exe" /VERYSILENT /SUPPRESSMSGBOXES \
        '/LOG="C:\logs\px.log"')" 0 "exit code of the installation"
    expect_match "$(spooler_list)" $'queue\tVADedudoro PX630KT\tUSB001\tVADedudoro PX630KT' "queue on USB001 with its driver"
    expect_match "$(log_since "$before" | tr -d '\r')" 'DoUploadDriverPackage, , code:-2147467263\.' "diagnostic lines"
    # The chosen log: UTF-8 with its mark, the header, the diagnostic lines with their times, the exit code.
    expect_eq "$(head -c3 "$log" 2>/dev/null | od -An -tx1 | tr -d ' ')" "efbbbf" "the log's UTF-8 mark"
    expect_match "$(tr -d '\r' <"$log" 2>/dev/null)" \
        $'[0-9-]{10} [0-9:.]{12} Command line: /VERYSILENT /SUPPRESSMSGBOXES /LOG="C:\\\\logs\\\\px.log"' "the log's header"
    expect_match "$(tr -d '\r' <"$log" 2>/dev/null)" 'Mode: install' "the log's mode"
    expect_match "$(tr -d '\r' <"$log" 2>/dev/null)" ' DoUploadDriverPackage, , code:-2147467263\.' "the log's diagnostic lines"
    expect_match "$(tail -n1 "$log" 2>/dev/null | tr -d '\r')" ' Exit code: 0\.$' "the log's last line"
    cp "$log" "$artifacts/unattended-$lang.log" 2>/dev/null
    # unins000.exe waits for its copy and ends with its outcome. Wine refuses to delete a driver
    # with its unused files (87), so the removal fails, honestly: 1603, and the folder stays.
    expect_eq "$(run_wait "$lang" 180 "$drivers_win\\unins000.exe" /VERYSILENT /SUPPRESSMSGBOXES)" 1603 \
        "exit code of the unattended removal"
    expect_match "$(tr -d '\r' <"$temp_log" 2>/dev/null)" "The uninstaller's copy ended with 1603\\." "the uninstaller's log"
    expect_match "$(tr -d '\r' <"$temp_log" 2>/dev/null)" "Removed the print queue VADedudoro PX630KT\\." "the removal's log"
    [ -f "$drivers_unix/unins000.exe" ] || fail_check "the folder went although the removal failed"
    report "unattended: installed with no window and exit code 0 and its log, 1603 without a printer, 87 for a bad switch, 1618 for a second copy, the uninstaller waits for its outcome ($lang)"
}

run_probe_selftest() {
    if bash "$here/../e2e/probe/selftest.sh" "$probe_dir" >"$artifacts/probe-selftest.log" 2>&1; then
        :
    else
        fail_check "probe self-test failed (see $artifacts/probe-selftest.log)"
    fi
    report "UI probe self-test"
}

start_listener() {
    # Diagnostic lines of every process, exactly, for the scenarios (started after the
    # contract tests, whose test framework writes to the debugger output too).
    debug_log="$artifacts/debug-output.log"
    listener_out="$workdir/listener.out"
    wine_start "$probe_dir/dbwin_listener.exe" "$(winepath -w "$debug_log")" >"$listener_out"
    listener_pid=$WINE_LAST_PID
    for _ in $(seq 600); do
        grep -q ready "$listener_out" 2>/dev/null && break
        sleep 0.05
    done
    grep -q ready "$listener_out" || { echo "wine-suite: the debug output listener did not start" >&2; exit 2; }
}

run_probe_selftest
for lang in en zh; do
    run_contract_tests "$lang"
done
start_listener
scenario_planted_dlls_are_never_loaded
scenario_driver_files_leave_downloads_and_user_files_stay
scenario_windows_folder_is_refused
for lang in en zh; do
    scenario_uninstaller_relaunches_and_removes_the_folder "$lang"
    scenario_no_printer_then_cancel "$lang"
    scenario_uninstaller_that_cannot_make_its_copy_says_so "$lang"
    scenario_typical_install "$lang"
    scenario_installed_family_without_uninstaller_says_so "$lang"
    scenario_installed_family_hands_over_to_uninstaller "$lang"
    remove_installed_family
    scenario_driver_file_in_use_is_replaced_at_restart "$lang"
    remove_installed_family
    scenario_unattended_install "$lang"
    remove_installed_family
done

wine_run 30 "$probe_dir/dbwin_listener.exe" --stop >/dev/null
wait_exit "$listener_pid" 30

echo "wine-suite: $(($(date +%s) - started)) s; screenshots and logs in $artifacts"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
