#!/usr/bin/env bash
# Installs what is missing, builds with the default preset and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo_cmd=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo_cmd="sudo"; fi
$sudo_cmd scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
