#!/usr/bin/env bash
# Soak: the whole demo played on headless OpenGL at 10 frames per second of virtual time,
# built with the asan preset (address and undefined-behaviour sanitizers) and leak checking
# on. Fails on any sanitizer report, any leak, or a run that does not end normally. The
# bad-input tests (the JPEG fuzzing corpus through the loaders, damaged music) and the MPEG
# decoder's tests (damaged streams, the SIMD kernels against the plain ones) run first in the
# same build.
#
# Usage: scripts/soak.sh [--no-build] [--fps N] [--from S] [--to S]
#   --no-build   use build-asan/demo as it is
# The log of a failed run is kept in build-asan/soak.log.
set -euo pipefail
cd "$(dirname "$0")/.."
build=1
args=(--fps 10)
while [ $# -gt 0 ]; do
    case $1 in
    --no-build) build=0 ;;
    --fps | --from | --to) args+=("$1" "$2"); shift ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "soak: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ "$build" -eq 1 ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan --target demo scene_tests sound_tests media_mpeg_tests -j"$(nproc)"
fi

log=build-asan/soak.log
# Leaks count as failures (LeakSanitizer runs at exit); any report stops the run at once.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export EGL_PLATFORM=surfaceless SDL_AUDIODRIVER=dummy

# The bad-input tests: pictures through the loaders, damaged music through the sound stand-in;
# then the MPEG tests, damaged streams and SIMD kernels included.
for run in "scene/scene_tests --gtest_filter=BadPictures.*" \
           "platform/sound_tests --gtest_filter=DamagedMusic.*" \
           "media/media_mpeg_tests"; do
    # shellcheck disable=SC2086
    build-asan/tests/$run --gtest_brief=1 2>&1 |
        grep -vE '^(\[src/libmpg123|Error .* image$|Warning: Xing)'
done

echo "soak: build-asan/demo --headless --virtual-play ${args[*]}"
start=$(date +%s)
status=0
build-asan/demo --headless --virtual-play "${args[@]}" >"$log" 2>&1 || status=$?
tr '\r' '\n' <"$log" | grep -v '^capture: frame ' >"$log.lines" || true
mv "$log.lines" "$log"
seconds=$(($(date +%s) - start))

problems=()
[ "$status" -eq 0 ] || problems+=("exit status $status")
grep -q ' FPS$' "$log" || problems+=("no closing frame-rate line")
if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer' "$log"; then
    problems+=("sanitizer report")
fi
if [ ${#problems[@]} -ne 0 ]; then
    echo "soak: FAILED after ${seconds} s: ${problems[*]} (log: $log)" >&2
    grep -E -A40 'ERROR: |runtime error:' "$log" | head -n 80 >&2 || tail -n 40 "$log" >&2
    exit 1
fi
echo "soak: passed in ${seconds} s: $(grep -E '^capture: [0-9]+ frames' "$log" || true)"
rm -f "$log"
