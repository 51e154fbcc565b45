#!/usr/bin/env bash
# The lettered pictures (the loading card and the logos) come out of the generator as the
# committed bytes, whatever fonts the host has: the generator runs with a font configuration
# that offers none, and every file it writes must equal the one in the data pack.
# Usage: lettering_test.sh DATAGEN DATA_DIR
set -euo pipefail
datagen=$1
data=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/lettering.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/no-fonts" "$work/out"
cat >"$work/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><dir>$work/no-fonts</dir><cachedir>$work/cache</cachedir></fontconfig>
CONF
export FONTCONFIG_FILE=$work/fonts.conf
export FREETYPE_PROPERTIES="truetype:interpreter-version=35 autofitter:no-stem-darkening=0"
for group in loading opening; do
    "$datagen" "$work/out" --only "$group" --fonts "$data" >/dev/null
done
status=0
count=0
for f in "$work"/out/*; do
    count=$((count + 1))
    if ! cmp -s "$f" "$data/$(basename "$f")"; then
        echo "$(basename "$f") differs from the data pack" >&2
        status=1
    fi
done
[ "$count" -ge 4 ] || { echo "only $count pictures written" >&2; exit 1; }
echo "$count lettered pictures equal the data pack"
exit $status
