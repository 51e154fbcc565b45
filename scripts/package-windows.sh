#!/usr/bin/env bash
# Builds the Windows preset and writes dist/demo-windows-x86_64.zip: demo.exe, the data pack,
# a short text on how to run it and the licences of what is linked into the program.
# Unzipped anywhere, demo.exe finds data\ beside itself.
#   scripts/package-windows.sh             deps, build, zip
#   scripts/package-windows.sh --no-build  zip what is in build-windows/
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows
deps=$build/deps

if [ "${1:-}" != "--no-build" ]; then
  scripts/windows-deps.sh
  cmake --preset windows
  cmake --build --preset windows -j"$(nproc)" --target demo
fi
[ -f "$build/demo.exe" ] || { echo "package-windows: $build/demo.exe is missing" >&2; exit 1; }
command -v zip >/dev/null || { echo "package-windows: zip is missing (apt-get install zip)" >&2; exit 1; }

# The program may need only DLLs that every Windows has.
allowed='^(KERNEL32|USER32|GDI32|WINMM|SHLWAPI|msvcrt|ADVAPI32)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$build/demo.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
for dll in $imports; do
  if ! [[ $dll =~ $allowed ]]; then
    echo "package-windows: demo.exe imports $dll, which is not part of every Windows" >&2
    exit 1
  fi
done

stage=$build/package/demo-windows-x86_64
rm -rf "$build/package" && mkdir -p "$stage/licences"
cp "$build/demo.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/demo.exe"
cp -r data "$stage/data"

# Licences of what is linked in, from the Debian source packages the libraries were built from.
copy_licence() { # name, source folder under deps/src, file
  if [ -f "$deps/src/$2/$3" ]; then cp "$deps/src/$2/$3" "$stage/licences/$1.txt"; fi
}
copy_licence libjpeg-turbo libjpeg-turbo LICENSE.md
copy_licence libpng libpng1.6 LICENSE
copy_licence zlib zlib LICENSE
copy_licence mpg123 mpg123 COPYING
for pkg in gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev; do
  if [ -f "/usr/share/doc/$pkg/copyright" ]; then
    cp "/usr/share/doc/$pkg/copyright" "$stage/licences/$pkg.txt"
  fi
done
if [ -f data/fonts/LICENSE ]; then cp data/fonts/LICENSE "$stage/licences/dejavu-fonts.txt"; fi

cat >"$stage/README.txt" <<'EOF'
??? / Zentharis & Vrell - a real-time 3D demo for 64-bit Windows

Double-click demo.exe. It plays full screen for 250 seconds with its music and ends by
itself; Escape quits earlier. It needs Direct3D 8 (d3d8.dll, part of every 64-bit Windows)
and keeps data\ beside demo.exe.

Options (from a command prompt):
  demo.exe --windowed              an 800 x 600 window instead of full screen
  demo.exe --start SECONDS         start at that demo time
  demo.exe --mute                  no sound
  demo.exe --data DIR              read the data pack from DIR
  demo.exe --dump-frame T F.png    write the frame at T seconds to F.png and exit
  demo.exe --capture DIR           every frame as PNG plus music.wav
  demo.exe --capture F.mp4         one video with the music (needs ffmpeg.exe on the PATH)
  demo.exe --help                  all options

On Linux it runs under Wine: wine demo.exe --windowed
The licences of the libraries built into demo.exe are in licences\.
EOF
# Windows line ends for the text files people open with Notepad.
sed -i 's/$/\r/' "$stage/README.txt"

mkdir -p dist
rm -f dist/demo-windows-x86_64.zip
(cd "$build/package" && zip -qr9 "$root/dist/demo-windows-x86_64.zip" demo-windows-x86_64)
echo "package-windows: wrote dist/demo-windows-x86_64.zip ($(du -h dist/demo-windows-x86_64.zip | cut -f1))"
