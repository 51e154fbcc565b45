#!/usr/bin/env bash
# Builds the Windows preset (cross-compiled with mingw-w64) and runs it under Wine on one
# virtual X server with one Wine server: the Windows test binaries (each a single process,
# scripts/run-windows-tests.sh), then a smoke play: frame dumps of a few scenes, a windowed play
# that must quit on Escape, --help, capture to .mp4 through a stand-in ffmpeg.exe and without
# one, the bad-input checks (missing d3d8.dll, --headless, a damaged picture) and the
# damaged-data script (scripts/damaged-data.sh) on the Windows build.
# Wine runs in a private prefix in build-windows/wineprefix with its debug output off.
#
# What runs (CI runs the default; --full is the manual run):
#   default  builds only what it runs: demo.exe and every test binary but the regression
#            frames: device, platform, sound, glyph, MPEG, video-texture, scene-library
#            (textures, images, meshes, particles), app, render, sequencer and data-pack
#            tests and each scene's unit tests, without the sequencer's whole-scene replays
#            (SceneRun.*); the damaged-data script for one picture, one MPEG stream, the music
#            and one face
#   --full   builds everything and adds the regression frames (every scene rendered against
#            its reference frames), the whole-scene replays and the damaged-data script for
#            every file of data/
#
#   scripts/test-windows.sh            the CI run (deps and build first)
#   scripts/test-windows.sh --full     everything
#   scripts/test-windows.sh --no-build skip deps and building (use what is in build-windows/)
#   scripts/test-windows.sh --filter F GoogleTest filter for the unit tests (e.g. 'Win32*:Gdi*')
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows

do_build=1
full=0
gtest_filter='*'
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) do_build=0 ;;
    --full) full=1 ;;
    --filter) gtest_filter=$2; shift ;;
    *) echo "test-windows: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

# The test binaries of the CI run; --full runs every binary under build-windows/tests.
ci_tests=(gfx_device_test platform_tests sound_tests glyph_tests media_mpeg_tests
          video_texture_tests scene_tests app_tests render_tests layering_tests data_pack_tests
          opening_tests second_part_tests cables_tests credits_tests domino_tests koch_tests
          tree_tests end_tests demo_tests)
# Left to the full run: whole scenes played through (a minute each under Wine).
ci_exclude=SceneRun.*
# The damaged-data files of the CI run: a picture, an MPEG stream, the music, a face.
ci_damaged=(wood.jpg ruen-draw.mpg music.mp3 fonts/DejaVuSansMono.ttf)

start=$(date +%s)
step_start=$start
step() { # prints how long the previous step took
  local now
  now=$(date +%s)
  echo "test-windows: ($1: $((now - step_start)) s)"
  step_start=$now
}

if [ $do_build -eq 1 ] && [ -z "${TEST_WINDOWS_BUILT:-}" ]; then
  scripts/windows-deps.sh
  step "dependencies"
  cmake --preset windows >/dev/null
  if [ $full -eq 1 ]; then
    cmake --build --preset windows -j"$(nproc)"
  else
    cmake --build --preset windows -j"$(nproc)" --target demo pipe_recorder "${ci_tests[@]}"
  fi
  step "build"
fi

# Everything that touches Direct3D needs an X server for Wine's OpenGL: one virtual one for
# the whole run (also on a desktop, whose windows and focus it must not touch).
if [ -z "${TEST_WINDOWS_XVFB:-}" ]; then
  export TEST_WINDOWS_XVFB=1 TEST_WINDOWS_BUILT=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "${args[@]}"
fi

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No audio in CI (Wine's ALSA and PulseAudio drivers would only complain on stderr), and a
# crashing test ends instead of waiting in the debugger.
export WINEDLLOVERRIDES="winealsa.drv,winepulse.drv,mscoree,mshtml=;winedbg.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: creating the Wine prefix (about half a minute the first time)"
  wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w # until the server that set it up has gone
  step "Wine prefix"
fi

failures=0
fail() {
  echo "test-windows: FAIL: $*" >&2
  failures=$((failures + 1))
}

# One Wine server for the whole run instead of one per program (none may run yet: a running
# one makes this fail).
wineserver -w
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

echo "test-windows: unit tests under Wine"
binaries=()
if [ $full -eq 1 ]; then
  mapfile -t binaries < <(find "$build/tests" -name '*.exe' ! -name pipe_recorder.exe | sort)
else
  for t in "${ci_tests[@]}"; do
    exe=$(find "$build/tests" -name "$t.exe" | head -n1)
    if [ -z "$exe" ]; then
      fail "no $t.exe in $build/tests (build it first)"
    else
      binaries+=("$exe")
    fi
  done
fi
filter=$gtest_filter
if [ $full -eq 0 ]; then
  case $filter in
    *-*) filter=$filter:$ci_exclude ;;
    *) filter=$filter-$ci_exclude ;;
  esac
fi
if ! scripts/run-windows-tests.sh "$filter" "${binaries[@]}"; then
  fail "the Windows test suite"
fi
step "unit tests"

out=$build/smoke
rm -rf "$out" && mkdir -p "$out"
demo=$build/demo.exe

echo "test-windows: frame dumps"
# One time inside the opening, the credits and the end; each scene played from its start at
# 10 frames/s (60 would take minutes under Wine on llvmpipe).
for t in 10 103 230; do
  if ! wine "$demo" --fps 10 --dump-frame "$t" "$out/frame-$t.png" >"$out/dump-$t.log" 2>&1; then
    cat "$out/dump-$t.log" >&2
    fail "--dump-frame $t"
  elif [ ! -s "$out/frame-$t.png" ]; then
    fail "--dump-frame $t wrote nothing"
  fi
done
step "frame dumps"

echo "test-windows: windowed play quits on Escape"
cat >"$out/escape.sh" <<'EOF'
set -u
wine "$1" --windowed --mute --start 100 >"$2" 2>&1 &
pid=$!
id=""
for _ in $(seq 1 60); do
  id=$(xdotool search --name "Zentharis" 2>/dev/null | head -n1 || true)
  [ -n "$id" ] && break
  sleep 1
done
[ -n "$id" ] || { echo "no window titled ... Zentharis & Vrell"; kill $pid; exit 1; }
sleep 3
xdotool windowfocus --sync "$id" key Escape
for _ in $(seq 1 20); do
  kill -0 $pid 2>/dev/null || { wait $pid; exit $?; }
  sleep 1
done
echo "still running 20 s after Escape"
kill $pid
exit 1
EOF
if command -v xdotool >/dev/null; then
  if ! sh "$out/escape.sh" "$demo" "$out/windowed.log"; then
    cat "$out/windowed.log" >&2
    fail "windowed play and Escape"
  fi
else
  echo "test-windows: xdotool missing; windowed play skipped"
fi
step "windowed play"

echo "test-windows: options and capture to video"
if ! wine "$demo" --help >"$out/help.log" 2>&1 ||
  ! grep -q -- "--headless *Linux only" "$out/help.log" ||
  grep -q "render headless" "$out/help.log"; then
  cat "$out/help.log" >&2
  fail "--help should list the options as they work on Windows"
fi
# Without ffmpeg.exe on the PATH: one clear line, status 1.
set +e
wine "$demo" --null-device --capture "$out/none.mp4" --from 10 --to 11 --fps 2 \
  >"$out/no-ffmpeg.log" 2>&1
status=$?
set -e
if [ $status -ne 1 ] || ! grep -q "needs ffmpeg.exe on the PATH" "$out/no-ffmpeg.log"; then
  cat "$out/no-ffmpeg.log" >&2
  fail "--capture X.mp4 without ffmpeg.exe: expected exit 1 and a line naming it (got $status)"
fi
# With a stand-in ffmpeg.exe that records its arguments and input: the raw frames arrive
# through the pipe, whole, with the music and the output file as single arguments.
mkdir -p "$out/bin"
cp "$(find "$build/tests" -name pipe_recorder.exe | head -n1)" "$out/bin/ffmpeg.exe"
record=$out/ffmpeg-record.txt
if ! PIPE_RECORDER_OUT=$record WINEPATH="$out/bin" wine "$demo" --capture "$out/a b.mp4" \
  --from 10 --to 11 --fps 2 --jobs 1 >"$out/capture-mp4.log" 2>&1; then
  cat "$out/capture-mp4.log" >&2
  fail "--capture X.mp4 with ffmpeg.exe on the PATH"
elif ! grep -aqx rawvideo "$record" || ! grep -aqx 800x600 "$record" ||
  ! grep -aq "music.mp3$" "$record" || ! grep -aq "a b.mp4$" "$record" ||
  [ "$(($(stat -c %s "$record") - $(grep -a -m1 -bx -- -- "$record" | cut -d: -f1) - 3))" -ne \
    $((2 * 800 * 600 * 4)) ]; then
  sed -n '/^--$/q;p' "$record" | tr '\n' ' ' >&2
  fail "--capture X.mp4: ffmpeg.exe did not get the arguments and the two frames"
fi
step "options and capture"

echo "test-windows: bad input"
if wine "$demo" --headless >"$out/headless.log" 2>&1; then
  fail "--headless should be refused"
elif ! grep -q "Linux-only" "$out/headless.log"; then
  fail "--headless should say it is Linux-only"
fi
# A prefix whose d3d8.dll is switched off: a clear line and exit status 1, no crash.
set +e
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3d8=" wine "$demo" --dump-frame 10 "$out/none.png" \
  >"$out/nod3d8.log" 2>&1
status=$?
set -e
if [ $status -ne 1 ] || ! grep -q "d3d8.dll" "$out/nod3d8.log"; then
  cat "$out/nod3d8.log" >&2
  fail "without d3d8.dll: expected exit 1 and a line naming d3d8.dll (got $status)"
fi
# A damaged picture is reported and the frame is still written.
damaged=$out/damaged-data
cp -r data "$damaged"
head -c 500 data/wood.jpg >"$damaged/wood.jpg"
if ! wine "$demo" --data "$damaged" --fps 10 --dump-frame 10 "$out/damaged.png" \
  >"$out/damaged.log" 2>&1; then
  cat "$out/damaged.log" >&2
  fail "a damaged picture must not stop the demo"
fi
step "bad input"

echo "test-windows: damaged data"
damaged_files=("${ci_damaged[@]}")
[ $full -eq 1 ] && damaged_files=() # every file of data/
if ! scripts/damaged-data.sh --demo "$demo" "${damaged_files[@]}"; then
  fail "the damaged-data script on the Windows build"
fi
step "damaged data"

elapsed=$(($(date +%s) - start))
if [ $failures -ne 0 ]; then
  echo "test-windows: $failures check(s) failed after ${elapsed} s" >&2
  exit 1
fi
echo "test-windows: all passed in ${elapsed} s"
