#!/usr/bin/env bash
# A capture in pieces (--jobs) across the Credits / Domino rally cut: every piece must equal
# the one-pass capture of that scene's part of the span (byte-identical PNG frames, numbered
# by their place in the whole span), with the music cut to the whole span; and a video
# capture in pieces must join into one file with every frame and the music.
# Usage: parallel_capture_test.sh DEMO DATA_DIR
set -euo pipefail
demo=$1
data=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/parallel-capture.XXXXXX")
trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy EGL_PLATFORM=surfaceless
run() { "$demo" --data "$data" --fps 2 "$@" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }; }

run --capture "$work/pieces" --from 114 --to 116 --jobs 2
run --capture "$work/credits" --from 114 --to 115 --jobs 1
run --capture "$work/domino" --from 115 --to 116 --jobs 1
status=0
check() { # same frame: $1 and $2
    cmp -s "$1" "$2" || { echo "$(basename "$(dirname "$1")")/$(basename "$1") differs from $2" >&2; status=1; }
}
check "$work/pieces/frame000000.png" "$work/credits/frame000000.png"
check "$work/pieces/frame000001.png" "$work/credits/frame000001.png"
check "$work/pieces/frame000002.png" "$work/domino/frame000000.png"
check "$work/pieces/frame000003.png" "$work/domino/frame000001.png"
[ ! -e "$work/pieces/frame000004.png" ] || { echo "a frame past the span" >&2; status=1; }
# Two seconds of 16-bit stereo at 44100 Hz after the 44-byte header.
size=$(stat -c %s "$work/pieces/music.wav")
[ "$size" -eq $((44 + 2 * 44100 * 4)) ] || { echo "music.wav holds $size bytes" >&2; status=1; }

if command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null; then
    # A relative output name: the pieces' list must not depend on the working folder.
    (cd "$work" && run --capture joined.mkv --from 114 --to 116 --jobs 2)
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of csv=p=0 "$work/joined.mkv")
    audio=$(ffprobe -v error -select_streams a -show_entries stream=codec_type -of csv=p=0 \
        "$work/joined.mkv")
    [ "$frames" = 4 ] || { echo "the joined video has $frames frames" >&2; status=1; }
    [ "$audio" = audio ] || { echo "the joined video has no music" >&2; status=1; }
    [ ! -e "$work/joined.mkv.pieces" ] || { echo "the pieces were left behind" >&2; status=1; }
fi
[ "$status" -eq 0 ] && echo "pieces equal the one-pass captures of their scenes"
exit $status
