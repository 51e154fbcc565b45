#!/usr/bin/env bash
# Runs Windows GoogleTest binaries under Wine, each once with all its tests in one process
# (one Wine start per test, as CTest would do it, costs about three seconds each).
# Usage: run-windows-tests.sh FILTER BINARY.exe...   Exit status: the number of failed binaries.
# Expects WINEPREFIX, WINEDEBUG and a display (xvfb-run) from the caller.
set -u
filter=$1
shift
failed=0
for exe in "$@"; do
  exe=$(realpath "$exe") # the test runs in its own folder
  name=$(basename "$exe" .exe)
  log=${exe%.exe}.log
  begin=$(date +%s)
  # The tests find their fixtures from the source folder and write beside the binary.
  if (cd "$(dirname "$exe")" && wine "$exe" --gtest_brief=1 --gtest_filter="$filter" >"$log" 2>&1); then
    echo "  $name: passed ($(grep -o 'PASSED.*' "$log" | tail -n1), $(($(date +%s) - begin)) s)"
  else
    echo "  $name: FAILED ($(($(date +%s) - begin)) s, log: $log)"
    grep -E '^\[  FAILED  \]' "$log" | sort -u | sed 's/^/    /'
    failed=$((failed + 1))
  fi
done
exit $failed
