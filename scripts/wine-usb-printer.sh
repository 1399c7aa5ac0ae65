#!/usr/bin/env bash
# Plugs a USB printer into the Wine prefix $WINEPREFIX, or unplugs it, by
# writing or deleting the registry keys that make Wine's device setup API list
# it as a present USB printer interface:
#
#   scripts/wine-usb-printer.sh plug --vid 7A3E --pid 0001 --serial SN0001 \
#       --port 1 --description "VADedudoro PX630KT"
#   scripts/wine-usb-printer.sh unplug --vid 7A3E --pid 0001 --serial SN0001
#
# The ids are written as given (either letter case), so tests can check that
# the tool does not depend on the case. For tests of damaged port data, plug
# takes --no-port-number, --port-number-type sz (the number as a string) and
# --no-description.
#
# One regedit call per run: starting a Wine process is the slow part.
set -euo pipefail

usage() {
    cat >&2 <<'EOF'
usage: wine-usb-printer.sh plug --vid HHHH --pid HHHH --serial SERIAL [--port N] [--description TEXT]
                                [--no-port-number] [--port-number-type dword|sz] [--no-description]
       wine-usb-printer.sh unplug --vid HHHH --pid HHHH --serial SERIAL
Needs WINEPREFIX (an existing Wine prefix). Texts must be printable ASCII.
EOF
    exit 2
}

fail() {
    echo "wine-usb-printer.sh: $*" >&2
    exit 2
}

[ $# -ge 1 ] || usage
action=$1
shift
case "$action" in
plug | unplug) ;;
-h | --help) usage ;;
*) fail "unknown action '$action' (plug or unplug)" ;;
esac

vid="" pid="" serial="" port="" description=""
have_port=0 have_description=0
port_number=1 port_number_type=dword description_value=1
while [ $# -gt 0 ]; do
    case "$1" in
    --vid | --pid | --serial | --port | --description | --port-number-type)
        [ $# -ge 2 ] || fail "$1 needs a value"
        case "$1" in
        --vid) vid=$2 ;;
        --pid) pid=$2 ;;
        --serial) serial=$2 ;;
        --port) port=$2 have_port=1 ;;
        --description) description=$2 have_description=1 ;;
        --port-number-type) port_number_type=$2 ;;
        esac
        shift 2
        ;;
    --no-port-number) port_number=0 && shift ;;
    --no-description) description_value=0 && shift ;;
    -h | --help) usage ;;
    *) fail "unknown option '$1'" ;;
    esac
done

[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set; it must name the Wine prefix to plug the printer into"
# Without this check wine would quietly create a fresh prefix at a mistyped path.
[ -f "$WINEPREFIX/system.reg" ] || fail "WINEPREFIX=$WINEPREFIX is not an initialised Wine prefix (no system.reg)"
# Absolute, because wine runs from inside the prefix below.
WINEPREFIX=$(cd "$WINEPREFIX" && pwd)
export WINEPREFIX

# Printable ASCII only: REGEDIT4 files are read as ASCII, and a line break
# would end the value early.
printable_ascii() {
    local LC_ALL=C
    [[ $1 =~ ^[\ -~]*$ ]]
}

[[ $vid =~ ^[0-9A-Fa-f]{4}$ ]] || fail "--vid must be four hex digits, got '$vid'"
[[ $pid =~ ^[0-9A-Fa-f]{4}$ ]] || fail "--pid must be four hex digits, got '$pid'"
[ -n "$serial" ] || fail "--serial is required"
printable_ascii "$serial" || fail "--serial must be printable ASCII"
# The serial is part of key names and of the interface path, where these
# characters are separators.
case "$serial" in
*[\\\#\[\]]*) fail "--serial must not contain \\, #, [ or ]" ;;
esac

if [ "$action" = plug ]; then
    case "$port_number_type" in
    dword | sz) ;;
    *) fail "--port-number-type must be dword or sz, got '$port_number_type'" ;;
    esac
    if [ "$port_number" = 1 ]; then
        [ "$have_port" = 1 ] || fail "--port is required (or --no-port-number)"
        if ! [[ $port =~ ^[0-9]{1,10}$ ]] || [ "$port" -gt 4294967295 ]; then
            fail "--port must be a decimal number below 2^32, got '$port'"
        fi
        port=$((10#$port)) # so printf does not read a leading 0 as octal
    fi
    if [ "$description_value" = 1 ]; then
        [ "$have_description" = 1 ] || fail "--description is required (or --no-description)"
        printable_ascii "$description" || fail "--description must be printable ASCII, got '$description'"
    fi
fi

# A string value in REGEDIT4 syntax.
reg_string() {
    local s=${1//\\/\\\\}
    printf '"%s"' "${s//\"/\\\"}"
}

interface_class='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
instance="USB\\VID_${vid}&PID_${pid}\\${serial}"
instance_key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\${instance}"
interface_key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\${interface_class}\\##?#USB#VID_${vid}&PID_${pid}#${serial}#${interface_class}"

reg_file=$(mktemp "${TMPDIR:-/tmp}/wine-usb-printer.XXXXXX.reg")
trap 'rm -f "$reg_file"' EXIT

{
    printf 'REGEDIT4\n\n'
    # Plugging starts from nothing as well, so a replug with other options
    # leaves no value of the previous one behind.
    printf '[-%s]\n\n[-%s]\n\n' "$instance_key" "$interface_key"
    if [ "$action" = plug ]; then
        # The device node of a USB printing device belongs to the USB class.
        printf '[%s]\n"ClassGUID"="{36FC9E60-C465-11CF-8056-444553540000}"\n\n' "$instance_key"
        printf '[%s]\n"DeviceInstance"=%s\n\n' "$interface_key" "$(reg_string "$instance")"
        printf '[%s\\#\\Control]\n"Linked"=dword:00000001\n\n' "$interface_key"
        printf '[%s\\#\\Device Parameters]\n' "$interface_key"
        if [ "$description_value" = 1 ]; then
            printf '"Port Description"=%s\n' "$(reg_string "$description")"
        fi
        if [ "$port_number" = 1 ]; then
            if [ "$port_number_type" = dword ]; then
                printf '"Port Number"=dword:%08x\n' "$port"
            else
                printf '"Port Number"=%s\n' "$(reg_string "$port")"
            fi
        fi
        printf '"Serial Number"=%s\n"Base Name"="USB"\n\n' "$(reg_string "$serial")"
    fi
} >"$reg_file"

# Wine sees the host's file system as drive Z: in a default prefix; otherwise
# the file goes to the prefix's own temporary folder for the call.
if [ "$(readlink "$WINEPREFIX/dosdevices/z:" 2>/dev/null)" = / ]; then
    case "$reg_file" in
    /*) ;;
    *) reg_file=$PWD/$reg_file ;;
    esac
    windows_path="Z:${reg_file//\//\\}"
else
    inside=$(mktemp "$WINEPREFIX/drive_c/windows/temp/wine-usb-printer.XXXXXX.reg")
    mv "$reg_file" "$inside"
    reg_file=$inside
    windows_path="C:\\windows\\temp\\${inside##*/}"
fi

# Output goes to a file, not a pipe: the Wine services regedit starts inherit
# it and outlive regedit while the wineserver stays up, so reading a pipe to
# its end would wait for them.
errors_file=$(mktemp "${TMPDIR:-/tmp}/wine-usb-printer.XXXXXX.err")
trap 'rm -f "$reg_file" "$errors_file"' EXIT
status=0
# Started from inside the prefix so Wine has a working directory to map.
# Wine's regedit exits with 0 even when it cannot read the file and reports
# that on stdout, so with Wine's own debug output off, anything printed
# counts as a failure.
(cd "$WINEPREFIX/drive_c" && WINEDEBUG=-all exec "${WINE:-wine}" regedit /S "$windows_path") \
    >"$errors_file" 2>&1 </dev/null || status=$?
# (WINEDEBUG=-all also keeps the wine launcher's hint about a missing
# 32-bit loader away.)
errors=$(tr -d '\r' <"$errors_file" | grep -v '^$' || true)
if [ "$status" -ne 0 ] || [ -n "$errors" ]; then
    [ -z "$errors" ] || printf '%s\n' "$errors" >&2
    echo "wine-usb-printer.sh: regedit failed (exit code $status) to $action the printer" >&2
    exit 1
fi
