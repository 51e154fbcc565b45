#!/usr/bin/env bash
# Regenerates the data pack in data/ from code: pictures from tools/datagen, the music
# encoded to MP3 with lame. Usage: tools/make-data.sh [GROUP]  (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target datagen -j"$(nproc)" >/dev/null
if [ $# -gt 0 ]; then
  build/tools/datagen/datagen data --only "$1"
  exit 0
fi
wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
build/tools/datagen/datagen data --music-wav "$wav"
if command -v lame >/dev/null; then
  lame --quiet -b 96 --resample 44.1 "$wav" data/music.mp3
  echo "music: data/music.mp3"
else
  echo "make-data: lame is not installed; data/music.mp3 left as it was" >&2
fi
