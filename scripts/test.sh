#!/usr/bin/env bash
# Sets up the machine, builds the Windows executable (with the UI probe, the
# demo driver folder and the contract tests for Windows) and the Linux test
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and runs every
# test: unit, scenario and contract tests and the fault sweep on the simulated
# machine, the checks of the executable, and the end-to-end suite under Wine;
# then the threaded stories under ThreadSanitizer, the scenario tests under
# valgrind, and a bounded pass of every fuzz target (FUZZ_SECONDS each).
set -euo pipefail
cd "$(dirname "$0")/.."
# Runs one part and says how long it took, so a slow part shows in the CI log.
timings=()
part() { # name command...
    local name="$1" started=$SECONDS
    shift
    "$@"
    timings+=("$name: $((SECONDS - started)) s")
}

part "setup" scripts/setup.sh
part "Windows build" scripts/build-exe.sh

cmake --preset linux-asan -DPRINTER_SETUP_WINDOWS_BUILD="$PWD/build/windows" >/dev/null
part "ASan+UBSan build" cmake --build --preset linux-asan
part "ASan+UBSan suite (with the sweep and the Wine suite)" ctest --preset linux-asan --output-on-failure -j 2

# The threaded stories (uninstall dialog with its workers) once more under ThreadSanitizer.
cmake --preset linux-tsan >/dev/null
part "TSan build" cmake --build --preset linux-tsan
part "TSan stories" ctest --preset linux-tsan --output-on-failure -j 2

# The scenario tests once more under valgrind's memcheck.
part "valgrind" scripts/valgrind.sh

# Every fuzz target for a bounded time from its seed corpus.
part "fuzzing" scripts/fuzz.sh "${FUZZ_SECONDS:-16}"

printf 'test.sh: %s\n' "${timings[@]}"
