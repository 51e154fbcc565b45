#!/bin/sh
# Builds the JPEG loader's fuzz target with clang's libFuzzer, AddressSanitizer and UBSan in its
# own CMake tree. Usage: fuzz/jpeg/build.sh [BUILD_DIR] (default fuzz/jpeg/build); then run for example
#   BUILD_DIR/jpeg_fuzz -jobs=1 -max_total_time=1800 -rss_limit_mb=2048 BUILD_DIR/corpus fuzz/jpeg/corpus
# New inputs go to BUILD_DIR/corpus; only a few chosen ones belong in fuzz/jpeg/corpus.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/fuzz/jpeg/build}
mkdir -p "$out/corpus"
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$root/fuzz/jpeg" -B "$out" -DCMAKE_BUILD_TYPE= \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$out" --target jpeg_fuzz -j"${JOBS:-2}"
echo "built $out/jpeg_fuzz"
