#!/usr/bin/env bash
# Plays the demo headless once per damaged data file: each file of the data pack in turn is
# removed, replaced by garbage of the same size, and cut to half its size, in a private copy
# of the pack. Every run must end normally (status 0, the closing frame-rate line), with no
# sanitizer report, and a picture that cannot be read must be reported ("Error ... image")
# once more than with the intact pack. The music is only read when sound plays or a capture
# writes it, so for music.mp3 a short capture runs as well. A face file the demo draws with
# (fonts/DejaVuSans.ttf, fonts/DejaVuSansMono.ttf) must be named by one diagnostic line.
#
# Usage: scripts/damaged-data.sh [--gl] [--fps N] [--from S] [--to S] [--demo PROGRAM]
#                                [--data DIR] [--keep] [FILE...]
#   default   every file of DIR (data/), the whole demo at 2 frames/s on the null device:
#             loading, decoding and the scenes' CPU side, under a minute in all
#   --gl      headless OpenGL instead of the null device: the full check, for a manual run
#             (about 40 s per case on two cores, so about an hour and a half for the pack)
#   --keep    keep the copy of the pack and the logs of failed cases
#   A Windows build (--demo build-windows/demo.exe) runs under Wine, in WINEPREFIX (default
#   build-windows/wineprefix) on DISPLAY or a virtual X server; it renders in a hidden window
#   (no --headless there), with the same checks and messages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$root/build/demo
data=$root/data
fps=2
from=""
to=""
device=--null-device
keep=0
files=()
original_args=("$@")
while [ $# -gt 0 ]; do
    case $1 in
    --gl) device="" ;;
    --fps) fps=$2; shift ;;
    --from) from=$2; shift ;;
    --to) to=$2; shift ;;
    --demo) demo=$2; shift ;;
    --data) data=$2; shift ;;
    --keep) keep=1 ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "damaged-data: unknown option $1" >&2; exit 2 ;;
    *) files+=("$1") ;;
    esac
    shift
done
if [ ! -x "$demo" ]; then
    echo "damaged-data: no program at $demo (build it, or pass --demo)" >&2
    exit 2
fi
# The Windows build: through Wine, its debugger channel off, no audio drivers, a crash ends
# the run instead of waiting in the debugger; one virtual X server for the whole run.
runner=()
headless=(--headless)
case $demo in
*.exe)
    runner=(wine)
    headless=()
    export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winealsa.drv,winepulse.drv,mscoree,mshtml=;winedbg.exe=d"}
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "${original_args[@]}"
    fi
    ;;
esac
if [ ${#files[@]} -eq 0 ]; then
    for f in "$data"/* "$data"/fonts/*.ttf; do
        [ -f "$f" ] && files+=("${f#"$data"/}")
    done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/damaged-data.XXXXXX")
cleanup() { if [ "$keep" -eq 0 ]; then rm -rf "$work"; fi; }
trap cleanup EXIT
pack=$work/data
cp -r "$data" "$pack"
mkdir -p "$work/fonts"
export SDL_AUDIODRIVER=dummy EGL_PLATFORM=surfaceless
limit=$([ -n "$device" ] && echo 120 || echo 1200) # seconds per run, far above a normal one

span=()
[ -n "$from" ] && span+=(--from "$from")
[ -n "$to" ] && span+=(--to "$to")

# The message the scene that reads a picture reports when it cannot read it.
message_for() {
    case $1 in
    loading.jpg | caustics.jpg | spikes.jpg) echo "Error Part2 image" ;;
    wood.jpg | leaf.jpg | leaf_alpha.jpg | tree-bg.jpg | tree-bg-alpha.jpg) echo "Error Part3 image" ;;
    ice-dragon.jpg | tunnel.jpg | entropy.jpg) echo "Error Domino image" ;;
    ruen-draw-3.jpg) echo "Error End image" ;;
    *.jpg) echo "Error opening image" ;;
    esac
}

# The face files the demo's own text uses (the bold face only letters the data pack).
is_demo_face() { [ "$1" = fonts/DejaVuSans.ttf ] || [ "$1" = fonts/DejaVuSansMono.ttf ]; }

# Counts lines that are exactly $2 in file $1.
count_lines() { grep -cxF -- "$2" "$1" || true; }

# Runs the demo on the pack copy; the log (stdout and stderr) goes to $1. Extra arguments
# replace --virtual-play.
play() {
    local log=$1
    shift
    local mode=(--virtual-play)
    [ $# -gt 0 ] && mode=("$@")
    local status=0
    # shellcheck disable=SC2086 # $device is one option or none
    timeout "$limit" "${runner[@]}" "$demo" "${headless[@]}" $device --data "$pack" \
        --fps "$fps" "${span[@]}" "${mode[@]}" >"$log" 2>&1 || status=$?
    tr '\r' '\n' <"$log" >"$log.lines"
    mv "$log.lines" "$log"
    return $status
}

# Checks a finished run; prints the reasons it failed, if any.
check_run() {
    local log=$1 status=$2
    [ "$status" -eq 0 ] || echo "exit status $status"
    grep -q ' FPS$' "$log" || echo "no closing frame-rate line"
    if grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$log"; then
        echo "sanitizer report"
    fi
}

baseline=$work/intact.log
status=0
play "$baseline" || status=$?
problems=$(check_run "$baseline" "$status")
if [ -n "$problems" ]; then
    echo "damaged-data: the intact pack already fails: $problems" >&2
    cat "$baseline" >&2
    exit 1
fi

garbage() { # deterministic noise of $2 bytes, seeded by the name $1
    local key
    key=$(printf %s "$1" | sha256sum | cut -c1-32)
    head -c "$2" /dev/zero | openssl enc -aes-128-ctr -nosalt -K "$key" -iv 0 2>/dev/null
}

passed=0
failed=0
for name in "${files[@]}"; do
    original=$data/$name
    if [ ! -f "$original" ]; then
        echo "damaged-data: no $name in $data" >&2
        failed=$((failed + 1))
        continue
    fi
    size=$(stat -c %s "$original")
    message=$(message_for "$name")
    for damage in removed garbage truncated; do
        case $damage in
        removed) rm -f "$pack/$name" ;;
        garbage) garbage "$name" "$((size < 4194304 ? size : 4194304))" >"$pack/$name" ;;
        truncated) head -c "$((size / 2))" "$original" >"$pack/$name" ;;
        esac
        log=$work/$name.$damage.log
        status=0
        play "$log" || status=$?
        problems=$(check_run "$log" "$status")
        # A picture that is missing or noise has no readable header: the loader must say so.
        if [ -n "$message" ] && [ "$damage" != truncated ] &&
            [ "$(count_lines "$log" "$message")" -le "$(count_lines "$baseline" "$message")" ]; then
            problems+=$'\n'"no \"$message\""
        fi
        # A damaged face: one line names the file (the log holds both the debugger output
        # and standard output, so it may stand there twice), the text is left out.
        if is_demo_face "$name" &&
            [ "$(grep -F -- "$name" "$log" | sort -u | wc -l)" -ne 1 ]; then
            problems+=$'\n'"not exactly one line naming $name"
        fi
        if [ "$name" = music.mp3 ]; then
            status=0
            play "$log.capture" --capture "$work/frames" --from 249 --to 250 || status=$?
            problems+=$'\n'$(check_run "$log.capture" "$status")
            rm -rf "$work/frames"
            if [ "$damage" != truncated ] && ! grep -q '^capture: no music written' "$log.capture"; then
                problems+=$'\n'"the capture did not say the music is missing"
            fi
        fi
        cp "$original" "$pack/$name"
        problems=$(echo "$problems" | sed '/^$/d' | paste -sd ';' -)
        if [ -z "$problems" ]; then
            passed=$((passed + 1))
            rm -f "$log" "$log.capture"
        else
            failed=$((failed + 1))
            echo "FAIL $name $damage: $problems"
            tail -n 20 "$log" | sed 's/^/    /'
        fi
    done
done
echo "damaged-data: $passed passed, $failed failed ($([ -n "$device" ] && echo null device || echo OpenGL), $fps frames/s)"
if [ "$failed" -ne 0 ] && [ "$keep" -eq 1 ]; then
    echo "damaged-data: logs and the pack copy kept in $work"
fi
[ "$failed" -eq 0 ]
