#!/usr/bin/env bash
# Fails when a file includes a room above its own. The rooms, top down:
#   app > install, uninstall > family > common > res   (platform/win32 sits on common)
#   sim: machine and the platform calls > spooler > devices > registry > kernel,
#        and ui > kernel; the simulated machine stands on common and res.
# A simulated part's platform calls (*_calls.cpp, and the *_api.h they share)
# answer the platform for the whole machine, so they may include any of it.
# Tests, fuzz targets, benchmarks and the Wine programs may include anything.
#
#   scripts/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
here="$(pwd -P)"

# The rooms a file of that path may include (prefixes), or "*" for any.
allowed() {
    case "$1" in
    app/*) echo "app/ install/ uninstall/ family/ common/ res/ platform/win32/" ;;
    install/*) echo "install/ family/ common/ res/" ;;
    uninstall/*) echo "uninstall/ family/ common/ res/" ;;
    family/*) echo "family/ common/ res/" ;;
    common/*) echo "common/ res/" ;;
    res/*) echo "res/" ;;
    platform/win32/*) echo "platform/win32/ common/ res/" ;;
    sim/*_calls.cpp | sim/*_api.h | sim/machine.* | sim/sim_platform.*) echo "sim/ common/ res/" ;;
    sim/spooler/*) echo "sim/spooler/ sim/devices/ sim/registry/ sim/kernel/ common/ res/" ;;
    sim/devices/*) echo "sim/devices/ sim/registry/ sim/kernel/ common/ res/" ;;
    sim/registry/*) echo "sim/registry/ sim/kernel/ common/ res/" ;;
    sim/kernel/*) echo "sim/kernel/ common/ res/" ;;
    sim/ui/*) echo "sim/ui/ sim/kernel/ common/ res/" ;;
    sim/*) echo "" ;; # a file of the machine outside its rooms: every include is reported
    *) echo "*" ;;
    esac
}

findings=0
checked=0
while IFS= read -r file; do
    checked=$((checked + 1))
    rooms="$(allowed "$file")"
    [ "$rooms" = "*" ] && continue
    while IFS= read -r included; do
        # A bare name is beside the file; a way up and back down hides where it leads.
        [[ "$included" == */* ]] || included="$(dirname "$file")/$included"
        [[ "$included" == *..* ]] && included="(a path with ..) $included"
        ok=""
        for room in $rooms; do
            if [[ "$included" == "$room"* ]]; then
                ok=1
                break
            fi
        done
        if [ -z "$ok" ]; then
            echo "check-layers: $file includes $included, a room above its own"
            findings=$((findings + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$here" ]; then
    git ls-files --cached --others --exclude-standard -- '*.cpp' '*.cc' '*.c' '*.h' '*.hpp' '*.inc' '*.rc'
else
    find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' \
        -o -name '*.hpp' -o -name '*.inc' -o -name '*.rc' \) -print | sed 's|^\./||'
fi)

# Fewer files than the product alone has means the wrong folder was read.
if [ "$checked" -lt 100 ]; then
    echo "check-layers: only $checked source files found in $here"
    exit 1
fi

if [ "$findings" -ne 0 ]; then
    echo "check-layers: $findings upward includes"
    exit 1
fi
echo "check-layers: every include points down or sideways"
