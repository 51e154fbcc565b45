#!/usr/bin/env bash
# Installs the decoders mpeg_bench compares ours with, when missing: Debian's mpeg2dec (libmpeg2's
# command-line decoder) and ffmpeg. Optional: mpeg_bench runs without them and says so.
set -euo pipefail
exec "$(dirname "$0")/../../scripts/install-deps.sh" mpeg2dec ffmpeg
