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
status=0
for target in command_line_fuzz format_fuzz find_model_fuzz machine_fuzz uninstall_fuzz; do
    work="$(mktemp -d /tmp/printer-setup-fuzz.XXXXXX)"
    log="$work/log"
    # New inputs go to the scratch folder; the checked-in corpus is only read.
    if "build/linux-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=60 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        echo "fuzz: $target: $(grep -o 'number_of_executed_units: [0-9]*' "$log" | cut -d' ' -f2) executions" \
             "in ${seconds} s, no finding"
    else
        echo "fuzz: $target FAILED; input saved in $findings:" >&2
        # sed reads the whole log: a long one must not end the loop before the other targets.
        sed -n -E '/finding:|violation:|ERROR|SUMMARY|runtime error/p' "$log" | sed -n '1,20p' >&2
        status=1
    fi
    rm -rf "$work"
done
exit "$status"
