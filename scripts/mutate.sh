#!/usr/bin/env bash
# Puts plausible faults into the product code one at a time and checks that a
# test fails for each. The faults are listed in scripts/mutations.txt, one a
# line:
#   file :: text as it stands => replacement :: the fault it stands for
# where the text occurs exactly once in its file and \n stands for a line
# break. A line that starts with "~ " is a survivor explained in the comment
# above it: it does not fail the run, but is reported if a test kills it. Each is applied, the linux preset rebuilt incrementally and the fast
# labels run (unit, scenario, contract, sweep); the file is put back whatever
# happens.
#
#   scripts/mutate.sh [FILTER]   (only mutations whose line contains FILTER;
#                                 MUTATIONS=file names another list)
#
# Not part of the test command: it takes minutes. Run it before you stop.
set -uo pipefail
cd "$(dirname "$0")/.."
filter="${1:-}"
list="${MUTATIONS:-scripts/mutations.txt}"
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null || { echo "mutate: the unmutated tree does not build" >&2; exit 2; }

target=""
backup=""
ctest_log="$(mktemp)"
restore() {
    if [ -n "$backup" ]; then
        cp "$backup" "$target"
        rm -f "$backup"
        backup=""
    fi
}
trap 'restore; rm -f "$ctest_log"; cmake --build --preset linux >/dev/null 2>&1' EXIT

apply_mutation() { # line
    LINE="$1" python3 -c '
import os, sys
path, change, _ = os.environ["LINE"].split(" :: ")
old, new = (part.replace("\\n", "\n") for part in change.split(" => "))
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"{path}: the text occurs {text.count(old)} times: {old}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
'
}

killed=0
timeouts=0
survived=0
broken=0
explained=0
survivors=()
while IFS= read -r line; do
    [[ -z "$line" || "$line" == \#* ]] && continue
    [[ -n "$filter" && "$line" != *"$filter"* ]] && continue
    expected=""
    if [[ "$line" == "~ "* ]]; then
        expected=1
        line="${line#\~ }"
    fi
    target="${line%% :: *}"
    fault="${line##* :: }"
    backup="$(mktemp)"
    cp "$target" "$backup"
    if ! apply_mutation "$line"; then
        verdict="STALE"
    elif ! cmake --build --preset linux >/dev/null 2>&1; then
        # A fault the compiler refuses is no fault a test could catch: mend the line.
        verdict="NO BUILD"
    # Each test has its own timeout (the sweep's 900 s the longest): the bound
    # here only guards ctest itself, so a hang is reported as a test's timeout.
    elif (cd build/linux && timeout 1200 ctest -L "unit|scenario|contract|sweep" -j 2 --stop-on-failure \
        >"$ctest_log" 2>&1); then
        verdict="SURVIVED"
    elif grep -q '\*\*\*Timeout' "$ctest_log" && ! grep -q '\*\*\*Failed\|Exception' "$ctest_log"; then
        # A fault that only hangs a test is caught, but no test names it.
        verdict="killed by a timeout"
        timeouts=$((timeouts + 1))
    else
        verdict="killed"
    fi
    restore
    if [ "$verdict" = "STALE" ] || [ "$verdict" = "NO BUILD" ]; then
        # Neither killed nor survived: the line no longer fits the code.
        broken=$((broken + 1))
        survivors+=("$verdict: $target: $fault")
    elif [ -n "$expected" ] && [ "$verdict" = "SURVIVED" ]; then
        verdict="survived, explained"
        explained=$((explained + 1))
    elif [ "$verdict" = "SURVIVED" ]; then
        survived=$((survived + 1))
        survivors+=("$verdict: $target: $fault")
    else
        [ -n "$expected" ] && verdict="$verdict (drop the ~)"
        killed=$((killed + 1))
    fi
    printf '%-18s %s: %s\n' "$verdict" "$target" "$fault"
done <"$list"

total=$((killed + survived + explained + broken))
echo "mutate: $killed of $total killed ($((total ? 100 * killed / total : 0)) %), $timeouts of them only by a timeout," \
    "$explained explained survivors, $broken lines that no longer apply"
for survivor in "${survivors[@]}"; do
    echo "  $survivor"
done
[ "$survived" -eq 0 ] && [ "$broken" -eq 0 ]
