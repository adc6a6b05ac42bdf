#!/usr/bin/env bash
# Builds the picture-step benchmark, makes a fixed set of sample pictures and times the step under Wine.
#
#   bench/run.sh [--runs N] [--screen WxH] [--check] [--save DIR]
#
#   --runs N      timed runs per picture (default 7); the table shows the minimum and the median
#   --screen WxH  the screen the pictures are placed on (default 1920x1080)
#   --check       also run the picture loader's checks (broken files, sizes, transparency, ...)
#   --save DIR    also write each prepared image, and that of a fine zone plate, to DIR as PNG
#
# Environment: BUILD_DIR (default build/windows, the windows preset's folder), WINEPREFIX (default a
# folder in /tmp, made on first use), KWOBL_BENCH_PICTURES (a folder to keep the sample pictures in
# between runs; default a temporary folder removed at the end).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=7
screen=1920x1080
check=0
save=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    --check) check=1; shift ;;
    --save) save=$(realpath -m "$2"); shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

build=${BUILD_DIR:-$root/build/windows}
export WINEPREFIX=${WINEPREFIX:-/tmp/kwobl-bench-wineprefix}
export WINEDEBUG=-all
export LC_ALL=C.UTF-8

# ---- Build ----
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target kwobl_bench >/dev/null
bench=$(find "$build" -name kwobl_bench.exe -print -quit)
[ -n "$bench" ] || { echo "kwobl_bench.exe not built" >&2; exit 1; }

# ---- Sample pictures ----
# One deterministic synthetic photograph: smooth seeded plasma colours, enlarged, with a tiled seeded
# grain on top, so that the coders see gradients and fine detail as in a real photograph.
if [ -n "${KWOBL_BENCH_PICTURES:-}" ]; then
  pictures=$KWOBL_BENCH_PICTURES
  mkdir -p "$pictures"
else
  pictures=$(mktemp -d /tmp/kwobl-bench-pictures.XXXXXX)
  trap 'rm -rf "$pictures"' EXIT
fi
make_pictures() {
  local d=$1
  [ -f "$d/done" ] && return 0
  convert -seed 1 -size 1500x1000 plasma:fractal -blur 0x1 "$d/base.png"
  convert -seed 2 -size 750x500 xc:gray50 +noise Gaussian -blur 0x0.6 "$d/grain.png"
  convert "$d/base.png" -resize 6000x4000! \( -size 6000x4000 tile:"$d/grain.png" \) -compose overlay -composite \
    -depth 8 "$d/master.ppm"
  convert "$d/master.ppm" -quality 90 -interlace none "$d/6000x4000-baseline.jpg"
  convert "$d/master.ppm" -quality 90 -interlace plane "$d/6000x4000-progressive.jpg"
  convert "$d/master.ppm" -resize 4000x3000! -quality 90 "$d/4000x3000.jpg"
  convert "$d/master.ppm" -resize 1920x1080! -quality 90 "$d/1920x1080.jpg"
  convert "$d/master.ppm" -resize 2560x1440! "$d/2560x1440.png"
  convert "$d/master.ppm" -resize 800x600! -type truecolor "BMP3:$d/800x600.bmp"
  convert "$d/master.ppm" -resize 1024x768! -colors 256 "$d/1024x768.gif"
  # For the checks: a half-transparent picture and a two-frame animation whose first frame is red.
  convert -size 200x100 xc:none \( -size 100x100 xc:red \) -geometry +100+0 -composite "PNG32:$d/alpha.png"
  convert -size 320x240 xc:red -size 320x240 xc:blue -loop 0 -set delay 50 "$d/anim.gif"
  rm -f "$d/base.png" "$d/grain.png" "$d/master.ppm"
  touch "$d/done"
}
make_pictures "$pictures"
# For the JPEG decoder's checks: a greyscale picture and two CMYK ones (Adobe's inverted YCCK), one larger
# and one smaller than the screen. Made apart from the others, so that a kept folder gets them too.
[ -f "$pictures/gray.jpg" ] ||
  convert "$pictures/1920x1080.jpg" -resize 3000x2000! -colorspace Gray -quality 90 "$pictures/gray.jpg"
[ -f "$pictures/cmyk.jpg" ] ||
  convert "$pictures/1920x1080.jpg" -resize 2400x1600! -colorspace CMYK -quality 90 "$pictures/cmyk.jpg"
[ -f "$pictures/cmyk-small.jpg" ] ||
  convert "$pictures/1920x1080.jpg" -resize 640x480! -colorspace CMYK -quality 90 "$pictures/cmyk-small.jpg"
# The baseline photograph as a phone stores a portrait: tagged with EXIF orientation 6 (turn right).
[ -f "$pictures/6000x4000-tagged.jpg" ] || python3 - "$pictures/6000x4000-baseline.jpg" "$pictures/6000x4000-tagged.jpg" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
block = b"II" + struct.pack("<HIH", 42, 8, 1) + struct.pack("<HHIHH", 0x0112, 3, 1, 6, 0) + struct.pack("<I", 0)
payload = b"Exif\0\0" + block
open(sys.argv[2], "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + data[2:])
PY
# The same coefficients with arithmetic coding, where jpegtran (libjpeg-turbo-progs) is installed.
if [ ! -f "$pictures/arithmetic.jpg" ] && command -v jpegtran >/dev/null; then
  jpegtran -arithmetic -outfile "$pictures/arithmetic.jpg" "$pictures/1920x1080.jpg"
fi
# For the eye: a zone plate, rings that get finer outwards up to one cycle in two pixels at the left and
# right edges, as cos(k * r^2) built from squared gradients. Shrinking it must not show false rings.
if [ -n "$save" ] && [ ! -f "$pictures/zoneplate.png" ]; then
  convert \( -size 2000x3000 gradient:black-white -rotate 90 -function Polynomial 1,-1,0.25 \) \
    \( -size 3000x2000 gradient:black-white -function Polynomial 0.4444,-0.4444,0.1111 \) \
    -compose plus -composite -function Sinusoid 1500,90 -colorspace gray "$pictures/zoneplate.png"
fi

# ---- Wine ----
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
winpath() { printf 'Z:%s' "${1//\//\\}"; }
files=(6000x4000-baseline.jpg 6000x4000-tagged.jpg 6000x4000-progressive.jpg 4000x3000.jpg 1920x1080.jpg 2560x1440.png 800x600.bmp
       1024x768.gif)
save_args=()
if [ -n "$save" ]; then
  mkdir -p "$save"
  save_args=(--save "$(winpath "$save")")
  files+=(zoneplate.png)
fi

echo "kwobl_bench: the picture step for a $screen screen, $runs runs each, on $(nproc) cores"
first=1
for f in "${files[@]}"; do
  # One process per picture, so that each row's peak working set is that picture's own.
  args=(--screen "$screen" --runs "$runs")
  [ $first -eq 1 ] && args+=(--header)
  first=0
  wine "$bench" "${args[@]}" "${save_args[@]}" "$(winpath "$pictures/$f")" | tr -d '\r'
done

if [ -n "$save" ]; then
  for b in "$save"/*.bmp; do
    convert "$b" -alpha off "${b%.bmp}.png" && rm -f "$b"
  done
  echo "prepared images written to $save"
fi

if [ $check -eq 1 ]; then
  echo
  wine "$bench" --check "$(winpath "$pictures")" | tr -d '\r'
fi
