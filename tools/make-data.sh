#!/usr/bin/env bash
# Regenerates the data pack in data/ from code: pictures, the End's video and the listing
# from tools/datagen (the video encoded by ffmpeg), the music synthesised by the same tool
# and encoded to MP3 with lame. The output is the same on every run.
# Usage: tools/make-data.sh [GROUP]  (default: everything; datagen --list names the groups)
# DATAGEN_BUILD_DIR picks the build folder (default: build/, configured with the default preset);
# DATA_DIR the output folder (default: data/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DATAGEN_BUILD_DIR:-build}
if [ "$build" = build ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target datagen -j"$(nproc)" >/dev/null
datagen="$build/tools/datagen/datagen"
out=${DATA_DIR:-data}
if [ $# -gt 0 ]; then
  "$datagen" "$out" --only "$1"
  exit 0
fi
wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
"$datagen" "$out" --music-wav "$wav"
if command -v lame >/dev/null; then
  lame --quiet --noreplaygain -b 112 "$wav" "$out/music.mp3"
  echo "music: $out/music.mp3"
else
  echo "make-data: lame is not installed; $out/music.mp3 left as it was" >&2
fi
echo "data pack: $(du -sb "$out" | cut -f1) bytes"
