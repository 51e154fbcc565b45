#!/usr/bin/env bash
# Installs the Windows cross toolchain (mingw-w64, posix threads), Wine and Xvfb, then builds
# the libraries Windows lacks from Debian's own source packages with that toolchain, static,
# into build-windows/deps: zlib and libpng (PNG writing), libjpeg-turbo, mpg123, and
# GoogleTest from /usr/src/googletest. Only the libraries themselves are built (no programs,
# documentation or tests of theirs), on all cores; each package says how long it took.
# Idempotent: what is built stays built.
# Source packages come through a private apt configuration (build-windows/deps/apt) that adds
# deb-src entries for the archive this machine already uses; the system's own apt setup is
# not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deps=$root/build-windows/deps
prefix=$deps/prefix
src=$deps/src
host=x86_64-w64-mingw32
jobs=$(nproc)

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then sudo_cmd="sudo"; else
    echo "windows-deps: needs root (or sudo) to install packages" >&2
  fi
fi

# --- Debian packages -------------------------------------------------------------------------
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth xdotool
  cmake make dpkg-dev autoconf automake libtool pkg-config zip unzip
  libgtest-dev
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "windows-deps: installing ${missing[*]}"
  $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo_cmd env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cc=$host-gcc-posix
cxx=$host-g++-posix
for tool in "$cc" "$cxx"; do
  command -v "$tool" >/dev/null || { echo "windows-deps: $tool not found" >&2; exit 1; }
done

mkdir -p "$prefix" "$src"
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cmake_cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix"
             -DBUILD_SHARED_LIBS=OFF)

# --- Source packages through a private apt configuration ------------------------------------
apt_dir=$deps/apt
setup_private_apt() {
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
  : > "$apt_dir/sources.list"
  # Every archive the machine uses for binaries, once more as deb-src (deb822 and one-line).
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() { if (uris != "" && deb) for (i in s) print "deb-src " opts uris " " s[i] " " comps; }
      /^[[:space:]]*$/ { flush(); uris=""; comps=""; deb=0; opts=""; delete s; next }
      /^Types:/ { deb = ($0 ~ /[[:space:]]deb([[:space:]]|$)/) }
      /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris=$1 }
      /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); n=split($0, a, /[[:space:]]+/); for (i=1;i<=n;i++) s[i]=a[i] }
      /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps=$0 }
      /^Signed-By:/ { sub(/^Signed-By:[[:space:]]*/, ""); opts="[signed-by=" $0 "] " }
      END { flush() }' "$f" >> "$apt_dir/sources.list"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$f" >> "$apt_dir/sources.list"
  done
  sort -u -o "$apt_dir/sources.list" "$apt_dir/sources.list"
  if [ ! -s "$apt_dir/sources.list" ]; then
    echo "windows-deps: found no Debian archive in /etc/apt to take sources from" >&2
    exit 1
  fi
}
# apt_private apt-get|apt-cache ARGS...
apt_private() {
  local program=$1
  shift
  "$program" -q \
    -o Dir::Etc::SourceList="$apt_dir/sources.list" \
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
    -o Dir::State::Lists="$apt_dir/lists" \
    -o Dir::Cache="$apt_dir/cache" \
    -o APT::Sandbox::User="$(id -un)" \
    "$@"
}
apt_updated=0
# Some mirrors do not carry the upstream tarball's detached signature (*.asc). When that is
# all that is missing, drop it from the .dsc (its signature is not checked either way) and
# unpack what came.
usable_without_signature() {
  local work=$1 dsc file
  dsc=$(ls "$work"/*.dsc 2>/dev/null | head -n1)
  [ -n "$dsc" ] || return 1
  for file in $(awk '/^Files:/{f=1;next} /^[^ ]/{f=0} f{print $3}' "$dsc"); do
    case $file in
      *.asc) ;;
      *) [ -f "$work/$file" ] || return 1 ;;
    esac
  done
  sed -i '/\.asc$/d' "$dsc"
  echo "windows-deps: $(basename "$dsc"): upstream signature not on the mirror; unpacking without it" >&2
}
# Unpacks Debian's source package $1 into $src/$1 (patches applied), once.
fetch_source() {
  local name=$1
  if [ -d "$src/$name" ]; then return; fi
  if [ $apt_updated -eq 0 ]; then
    setup_private_apt
    apt_private apt-get update
    apt_updated=1
  fi
  local work=$src/.fetch-$name
  rm -rf "$work" && mkdir -p "$work"
  # The newest version first; an archive that does not serve sources (some mirrors of the
  # security archive) makes apt fall back to the next version it knows.
  local version fetched=0
  for version in $(apt_private apt-cache showsrc "$name" 2>/dev/null |
                   sed -n "s/^Version: //p" | sort -u -r -V); do
    rm -f "$work"/*
    if (cd "$work" && apt_private apt-get source --download-only "$name=$version"); then
      fetched=1
      break
    fi
    if usable_without_signature "$work"; then
      fetched=1
      break
    fi
    echo "windows-deps: $name $version could not be fetched; trying an older one" >&2
  done
  if [ $fetched -eq 0 ]; then
    echo "windows-deps: no source of $name could be fetched" >&2
    exit 1
  fi
  (cd "$work" && dpkg-source --no-check -x ./*.dsc unpacked >/dev/null)
  mv "$work/unpacked" "$src/$name"
  rm -rf "$work"
}

stamp() {
  if [ -f "$deps/$1.done" ]; then return 0; fi
  package_start=$(date +%s)
  return 1
}
done_stamp() {
  touch "$deps/$1.done"
  echo "windows-deps: $1 in $(($(date +%s) - package_start)) s (source, configure, build)"
}

# --- zlib ------------------------------------------------------------------------------------
if ! stamp zlib; then
  fetch_source zlib
  # Debian's repacked source has no win32/ makefile; zlib's own configure cross-builds the
  # static library when told the host.
  (cd "$src/zlib" &&
   CHOST=$host CC="$cc" AR=$host-ar RANLIB=$host-ranlib ./configure --static --prefix="$prefix" &&
   make -j"$jobs" libz.a && make install-libs install-headers 2>/dev/null ||
   { mkdir -p "$prefix/lib" "$prefix/include" && cp libz.a "$prefix/lib/" &&
     cp zlib.h zconf.h "$prefix/include/"; })
  done_stamp zlib
fi

# --- libpng ----------------------------------------------------------------------------------
if ! stamp libpng; then
  fetch_source libpng1.6
  rm -rf "$deps/build-libpng"
  cmake -S "$src/libpng1.6" -B "$deps/build-libpng" "${cmake_cross[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
    >/dev/null
  cmake --build "$deps/build-libpng" -j"$jobs" >/dev/null
  cmake --install "$deps/build-libpng" >/dev/null
  done_stamp libpng
fi

# --- libjpeg-turbo ---------------------------------------------------------------------------
if ! stamp libjpeg-turbo; then
  fetch_source libjpeg-turbo
  rm -rf "$deps/build-libjpeg-turbo"
  # No SIMD: it needs nasm, and the demo decodes a few small pictures at load time. Only the
  # static library, none of the programs and tests, so no install step: copy what we need.
  cmake -S "$src/libjpeg-turbo" -B "$deps/build-libjpeg-turbo" "${cmake_cross[@]}" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_SYSTEM_PROCESSOR=AMD64 >/dev/null
  cmake --build "$deps/build-libjpeg-turbo" -j"$jobs" --target jpeg-static >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$deps/build-libjpeg-turbo/libjpeg.a" "$prefix/lib/"
  cp "$deps/build-libjpeg-turbo/jconfig.h" "$src/libjpeg-turbo/jpeglib.h" \
    "$src/libjpeg-turbo/jmorecfg.h" "$src/libjpeg-turbo/jerror.h" "$prefix/include/"
  done_stamp libjpeg-turbo
fi

# --- mpg123 (libmpg123 only) -----------------------------------------------------------------
if ! stamp mpg123; then
  fetch_source mpg123
  rm -rf "$deps/build-mpg123" && mkdir -p "$deps/build-mpg123"
  # Only the decoding library: not the player, libout123, libsyn123 or the documentation.
  (cd "$deps/build-mpg123" &&
   "$src/mpg123/configure" --host=$host --prefix="$prefix" CC="$cc" \
     --disable-shared --enable-static --disable-dependency-tracking \
     --with-cpu=x86-64 --disable-modules --disable-network >/dev/null &&
   make -j"$jobs" src/libmpg123/libmpg123.la >/dev/null)
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$deps/build-mpg123/src/libmpg123/.libs/libmpg123.a" "$prefix/lib/"
  cp "$deps/build-mpg123/src/libmpg123/mpg123.h" "$src/mpg123/src/libmpg123/fmt123.h" \
    "$prefix/include/"
  done_stamp mpg123
fi

# --- GoogleTest ------------------------------------------------------------------------------
if ! stamp googletest; then
  if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
    echo "windows-deps: /usr/src/googletest is missing (package libgtest-dev)" >&2
    exit 1
  fi
  rm -rf "$deps/build-googletest"
  cmake -S /usr/src/googletest -B "$deps/build-googletest" "${cmake_cross[@]}" \
    -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$deps/build-googletest" -j"$jobs" >/dev/null
  cmake --install "$deps/build-googletest" >/dev/null
  done_stamp googletest
fi

echo "windows-deps: cross-built libraries are in $prefix"
