#!/usr/bin/env bash
# Sets up the machine, builds the Windows executable and the Linux test
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# every test (including the checks of the executable's imports and resources).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build-exe.sh

exe="$PWD/build/windows/PrinterSetup.exe"
cmake --preset linux-asan -DPRINTER_SETUP_EXE="$exe" >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan --output-on-failure -j 2
