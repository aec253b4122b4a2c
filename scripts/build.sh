#!/usr/bin/env bash
# Configures and builds the native tree (unit tests, sanitizers) and the Windows tree (the launcher and
# the Wine tests). Arguments name the presets to build; the default is both.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native win32)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
