#!/bin/sh
# Builds the MPEG decoder fuzz target with clang's libFuzzer, AddressSanitizer and UBSan, outside
# the main CMake build. Usage: fuzz/mpeg/build.sh [BUILD_DIR]; then run for example
#   BUILD_DIR/mpeg_fuzz -max_total_time=1800 BUILD_DIR/corpus fuzz/mpeg/corpus
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build-fuzz-mpeg}
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" "$root"/media/mpeg/*.cpp "$root/fuzz/mpeg/fuzz_decoder.cpp" -o "$out/mpeg_fuzz"
echo "built $out/mpeg_fuzz"
