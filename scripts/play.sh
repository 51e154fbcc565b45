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
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  # Nobody can watch: render the whole demo to a video file (or PNG frames) instead.
  if command -v ffmpeg >/dev/null; then out=demo-capture.mp4; else out=demo-capture; fi
  echo "play: no display found; rendering the demo headless into $out (30 frames/s)" >&2
  build/demo --capture "$out" --fps 30
  echo "play: the demo is in $(pwd)/$out" >&2
  exit 0
fi
exec build/demo "$@"
