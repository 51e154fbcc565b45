#!/usr/bin/env bash
# Installs what is missing, builds with the default preset and plays the demo. Extra
# arguments go to the demo (for example --windowed). Without a display it renders headless.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo_cmd=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo_cmd="sudo"; fi
$sudo_cmd scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [[ " $* " != *" --headless "* ]]; then
  echo "play: no display found; playing headless (nothing will be shown)" >&2
  exec build/demo --headless "$@"
fi
exec build/demo "$@"
