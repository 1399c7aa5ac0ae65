#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its
# checked-in seed corpus. A crash leaves its input in build/linux-fuzz/findings
# and fails the run, as does one input that runs over a minute; turn it into a regression test before adding it to the corpus.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz

findings="$PWD/build/linux-fuzz/findings"
mkdir -p "$findings"
results="$(mktemp -d /tmp/printer-setup-fuzz-results.XXXXXX)"

# One target from its corpus; its line goes to $results/<target>, a finding
# leaves a non-zero status there.
fuzz_target() { # target
    local target="$1" work log
    work="$(mktemp -d /tmp/printer-setup-fuzz.XXXXXX)"
    log="$work/log"
    # New inputs go to the scratch folder; the checked-in corpus is only read.
    if "build/linux-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=60 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        echo "fuzz: $target: $(grep -o 'number_of_executed_units: [0-9]*' "$log" | cut -d' ' -f2) executions" \
             "in ${seconds} s, no finding" >"$results/$target"
        echo 0 >"$results/$target.status"
    else
        {
            echo "fuzz: $target FAILED; input saved in $findings:"
            # sed reads the whole log: a long one must not end the loop before the other targets.
            sed -n -E '/finding:|violation:|ERROR|SUMMARY|runtime error/p' "$log" | sed -n '1,20p'
        } >"$results/$target"
        echo 1 >"$results/$target.status"
    fi
    rm -rf "$work"
}

# Each target runs on one core: two at a time on a two-core machine.
targets=(command_line_fuzz startup_fuzz format_fuzz find_model_fuzz machine_fuzz uninstall_fuzz)
for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do
        wait -n || true
    done
    fuzz_target "$target" &
done
wait

status=0
for target in "${targets[@]}"; do
    if [ "$(cat "$results/$target.status" 2>/dev/null)" = 0 ]; then
        cat "$results/$target"
    else
        cat "$results/$target" >&2 2>/dev/null || echo "fuzz: $target left no result" >&2
        status=1
    fi
done
rm -rf "$results"
exit "$status"
