#!/usr/bin/env bash
# The picture must not depend on the host's fonts or FreeType settings. Renders frames with
# text (the Koch listing at 170.5 s, the greetings at 86 s) twice: once as the host is, once
# with a font configuration that offers no fonts at all and FreeType properties that would
# change hinting. The PNG files must be identical byte for byte.
# Usage: host_fonts_test.sh DEMO DATA_DIR
set -euo pipefail
demo=$1
data=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/host-fonts.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/no-fonts"
cat >"$work/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><dir>$work/no-fonts</dir><cachedir>$work/cache</cachedir></fontconfig>
CONF
export SDL_AUDIODRIVER=dummy EGL_PLATFORM=surfaceless
status=0
for t in 170.5 86; do
    "$demo" --headless --data "$data" --fps 1 --dump-frame "$t" "$work/host-$t.png" >/dev/null
    FONTCONFIG_FILE="$work/fonts.conf" \
        FREETYPE_PROPERTIES="truetype:interpreter-version=35 autofitter:no-stem-darkening=0" \
        "$demo" --headless --data "$data" --fps 1 --dump-frame "$t" "$work/other-$t.png" >/dev/null
    if cmp -s "$work/host-$t.png" "$work/other-$t.png"; then
        echo "frame at $t s: identical"
    else
        echo "frame at $t s: differs with other host fonts" >&2
        status=1
    fi
done
exit $status
