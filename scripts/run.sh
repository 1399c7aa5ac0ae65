#!/usr/bin/env bash
# The main job: set up the machine and build the Windows executable.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build-exe.sh
exe=build/windows/PrinterSetup.exe
echo "built $exe ($(stat -c %s "$exe") bytes)"
