#!/usr/bin/env bash
# Prints the virtual-time ledger of the whole-mode stories (each story's
# virtual time, wait by wait; the tests hold each story to exactly these
# waits), then builds the growth benchmarks (optimised, their own preset) and
# prints, for each piece of work that grows with the machine, its cost per
# item at each size and how that cost grew from the smallest size to the
# largest; then the executable's figures under Wine (scripts/exe-figures.sh)
# and each fuzz target's executions a second. Not part of the tests: timings
# are measured, never asserted.
#
#   scripts/bench.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux --target fault_sweep >/dev/null
echo "virtual time of each story, and the fixed waits it is made of (ms)"
./build/linux/tests/fault_sweep --gtest_filter='WholeModes/WaitLedger.*' 2>/dev/null |
    tee >(grep -q '^\[  FAILED  \]' && echo "a story took other waits than its path requires: see the WaitLedger tests" >&2) |
    awk -F'\t' '$1 == "ledger" {
        waits = ""
        for (i = 4; i <= NF; ++i) waits = waits (i > 4 ? ", " : "") $i
        printf "%-42s%8s  %s\n", $2, $3, waits == "" ? "(no wait)" : waits
    }'
echo
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
./build/bench/bench/growth_bench --benchmark_min_time=0.3 --benchmark_format=json "$@" >"$out"
python3 - "$out" <<'PY'
import json, sys
families = {}
for run in json.load(open(sys.argv[1]))["benchmarks"]:
    name, _, size = run["name"].partition("/")
    families.setdefault(name, []).append((int(size or 1), 1e9 / run["items_per_second"]))
print(f"{'work':<20}{'items':>7}{'ns per item':>13}")
for name, points in families.items():
    for size, ns in points:
        print(f"{name:<20}{size:>7}{ns:>13.0f}")
    # Small sizes carry the fixed cost of a call; growth is read from 16 items on.
    base = next((p for p in points if p[0] >= 16), None)
    if base and points[-1][0] > base[0]:
        print(f"{name:<20}{'':>7}{points[-1][1] / base[1]:>12.2f}x per item from {base[0]} to {points[-1][0]} items")
PY
echo
# The real executable under Wine: size, start against a minimal program, peak working set
# (needs the packages of scripts/setup.sh).
if scripts/build-exe.sh >/dev/null 2>&1; then
    scripts/exe-figures.sh 2>&1 | tail -n 3
else
    echo "the executable's figures: the Windows build failed (run scripts/setup.sh first)"
fi
echo
# What the fuzz targets afford: executions a second over ten seconds each (ASan and UBSan builds).
scripts/fuzz.sh 10 2>&1 | sed -n 's/^fuzz: \([a-z_]*\): \([0-9]*\) executions in \([0-9]*\) s.*/\1 \2 \3/p' |
    awk '{ printf "%-22s%9.0f executions a second\n", $1, $2 / $3 }'
