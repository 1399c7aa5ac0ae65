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
scripts/setup.sh
scripts/build-exe.sh

cmake --preset linux-asan -DPRINTER_SETUP_WINDOWS_BUILD="$PWD/build/windows" >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan --output-on-failure -j 2

# The threaded stories (uninstall dialog with its workers) once more under ThreadSanitizer.
cmake --preset linux-tsan >/dev/null
cmake --build --preset linux-tsan
ctest --preset linux-tsan --output-on-failure

# The scenario tests once more under valgrind's memcheck.
scripts/valgrind.sh

# Every fuzz target for a bounded time from its seed corpus.
scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
