#!/usr/bin/env bash
# Sets up the machine, builds the Windows executable (with the UI probe, the
# demo driver folder and the contract tests for Windows) and the Linux test
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and runs every
# test: unit, scenario and contract tests on the simulated machine, the checks
# of the executable, and the end-to-end suite under Wine; then the threaded
# stories under ThreadSanitizer.
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
