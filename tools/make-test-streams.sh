#!/bin/sh
# Regenerates the small MPEG-1/MPEG-2 video test streams under tests/data/mpeg/ with the system
# ffmpeg binary, together with ffmpeg's own decoded planes (raw, display order) that the tests
# compare against. CI uses the committed results and never needs an encoder.
set -eu

out=${1:-$(dirname "$0")/../tests/data/mpeg}
mkdir -p "$out"
ff="ffmpeg -hide_banner -loglevel error -y"

# make NAME FORMAT PIXFMT SOURCE FRAMES ENCODER-OPTIONS...
make() {
    name=$1 fmt=$2 pix=$3 src=$4 frames=$5
    shift 5
    $ff -f lavfi -i "$src" -frames:v "$frames" -pix_fmt "$pix" "$@" -f "$fmt" "$out/$name"
    $ff -i "$out/$name" -fps_mode passthrough -f rawvideo -pix_fmt "$pix" "$out/$name.yuv"
}

make mpeg1_es.m1v mpeg1video yuv420p "testsrc2=size=128x96:rate=25" 10 -c:v mpeg1video -bf 2 -g 6 -q:v 4
make mpeg1_sys.mpg mpeg yuv420p "mandelbrot=size=96x64:rate=25" 8 -c:v mpeg1video -bf 1 -g 5 -q:v 3
make mpeg1_90x70.m1v mpeg1video yuv420p "testsrc2=size=90x70:rate=25" 6 -c:v mpeg1video -bf 0 -q:v 5
make mpeg2_es.m2v mpeg2video yuv420p "testsrc2=size=160x128:rate=25" 12 -c:v mpeg2video -bf 2 -g 12 -q:v 3
make mpeg2_ps.mpg vob yuv420p "mandelbrot=size=128x96:rate=25" 10 -c:v mpeg2video -bf 2 -g 9 -q:v 3
make mpeg2_interlaced_tff.m2v mpeg2video yuv420p "testsrc2=size=176x144:rate=25" 10 \
    -c:v mpeg2video -flags +ildct+ilme -top 1 -bf 2 -g 8 -q:v 3
make mpeg2_interlaced_bff.m2v mpeg2video yuv420p "mandelbrot=size=176x144:rate=25" 8 \
    -c:v mpeg2video -flags +ildct+ilme -top 0 -bf 1 -g 6 -q:v 4
make mpeg2_altscan.m2v mpeg2video yuv420p "testsrc2=size=128x96:rate=25" 8 \
    -c:v mpeg2video -alternate_scan 1 -flags +ildct+ilme -bf 2 -q:v 3
make mpeg2_intravlc_nonlinear.m2v mpeg2video yuv420p "testsrc2=size=128x96:rate=25" 8 \
    -c:v mpeg2video -intra_vlc 1 -non_linear_quant 1 -qmax 28 -dc 10 -bf 2 -q:v 2
make mpeg2_422.m2v mpeg2video yuv422p "testsrc2=size=128x96:rate=25" 8 \
    -c:v mpeg2video -dc 9 -bf 2 -q:v 3 \
    -intra_matrix 8,16,16,18,18,18,20,20,20,20,22,22,22,22,22,24,24,24,24,24,24,26,26,26,26,26,26,26,28,28,28,28,28,28,28,28,30,30,30,30,30,30,30,32,32,32,32,32,32,34,34,34,34,34,36,36,36,36,38,38,38,40,40,42
make mpeg2_90x70.m2v mpeg2video yuv420p "testsrc2=size=90x70:rate=25" 8 -c:v mpeg2video -bf 2 -q:v 4
make mpeg2_tiny.m2v mpeg2video yuv420p "testsrc2=size=32x32:rate=25" 3 -c:v mpeg2video -bf 0 -q:v 12
