#!/usr/bin/env bash
# Cross-compiles PrinterSetup.exe (64-bit Windows, GUI, static runtime).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
