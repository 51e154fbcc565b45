#!/usr/bin/env bash
# Builds the Windows preset (cross-compiled with mingw-w64) and runs it under Wine on a
# virtual X server: the Windows test binaries (scripts/run-windows-tests.sh), then a smoke play:
# frame dumps of a few scenes, a windowed play that must quit on Escape, and the bad-input
# checks (missing d3d8.dll, --headless, a damaged picture).
# Wine runs in a private prefix in build-windows/wineprefix with its debug output off.
#   scripts/test-windows.sh            everything
#   scripts/test-windows.sh --no-build skip deps and building (use what is in build-windows/)
#   scripts/test-windows.sh --filter F GoogleTest filter for the unit tests (e.g. 'Win32*:Gdi*')
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows

do_build=1
gtest_filter='*'
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) do_build=0 ;;
    --filter) gtest_filter=$2; shift ;;
    *) echo "test-windows: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

start=$(date +%s)
if [ $do_build -eq 1 ]; then
  scripts/windows-deps.sh
  cmake --preset windows
  cmake --build --preset windows -j"$(nproc)"
fi

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No audio in CI (Wine's ALSA and PulseAudio drivers would only complain on stderr), and a
# crashing test ends instead of waiting in the debugger.
export WINEDLLOVERRIDES="winealsa.drv,winepulse.drv,mscoree,mshtml=;winedbg.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: creating the Wine prefix (about half a minute the first time)"
  xvfb-run -a wine wineboot -i >/dev/null 2>&1 || true
fi

failures=0
fail() {
  echo "test-windows: FAIL: $*" >&2
  failures=$((failures + 1))
}

# Everything that touches Direct3D needs an X server for Wine's OpenGL; one for the whole run.
run_x() {
  xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}

# One Wine server for the whole run instead of one per program.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

echo "test-windows: unit tests under Wine"
mapfile -t binaries < <(find "$build/tests" -name '*.exe' | sort)
if ! run_x scripts/run-windows-tests.sh "$gtest_filter" "${binaries[@]}"; then
  fail "the Windows test suite"
fi

out=$build/smoke
rm -rf "$out" && mkdir -p "$out"
demo=$build/demo.exe

echo "test-windows: frame dumps"
# One time inside the opening, the credits and the end.
for t in 10 103 230; do
  if ! run_x wine "$demo" --dump-frame "$t" "$out/frame-$t.png" >"$out/dump-$t.log" 2>&1; then
    cat "$out/dump-$t.log" >&2
    fail "--dump-frame $t"
  elif [ ! -s "$out/frame-$t.png" ]; then
    fail "--dump-frame $t wrote nothing"
  fi
done

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
  if ! run_x sh "$out/escape.sh" "$demo" "$out/windowed.log"; then
    cat "$out/windowed.log" >&2
    fail "windowed play and Escape"
  fi
else
  echo "test-windows: xdotool missing; windowed play skipped"
fi

echo "test-windows: bad input"
if wine "$demo" --headless >"$out/headless.log" 2>&1; then
  fail "--headless should be refused"
elif ! grep -q "Linux-only" "$out/headless.log"; then
  fail "--headless should say it is Linux-only"
fi
# A prefix whose d3d8.dll is switched off: a clear line and exit status 1, no crash.
set +e
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3d8=" run_x wine "$demo" --dump-frame 10 "$out/none.png" \
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
if ! run_x wine "$demo" --data "$damaged" --dump-frame 10 "$out/damaged.png" \
  >"$out/damaged.log" 2>&1; then
  cat "$out/damaged.log" >&2
  fail "a damaged picture must not stop the demo"
fi

elapsed=$(($(date +%s) - start))
if [ $failures -ne 0 ]; then
  echo "test-windows: $failures check(s) failed after ${elapsed} s" >&2
  exit 1
fi
echo "test-windows: all passed in ${elapsed} s"
