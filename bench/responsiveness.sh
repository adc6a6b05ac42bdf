#!/usr/bin/env bash
# Times how the running slideshow answers under Wine on a virtual 1920 x 1080 screen:
#
#   - the longest wait for the slideshow window's answer over a run of three picture changes, with
#     48-megapixel progressive 4:2:0 JPEG photographs and with 640 x 480 ones (a helper inside the Wine
#     session sends the window an empty message every 10 ms and times each answer);
#   - the time from the start of the process to the first picture on the screen (the window visible and
#     answering) with a 24-megapixel baseline JPEG photograph, the Wine server kept running, and the
#     program's peak and final working set after two picture changes, and those of its decoder process.
#
#   bench/responsiveness.sh [--runs N] [--against OTHER.scr] [--first-size WxH]
#
# WxH: the size of the baseline JPEG photographs of the first-picture and working-set figures (default
# 6000x4000, 24 megapixels; 1920x1080 is a screen-sized one).
#
# N: start-ups to take the median of (default 5). With --against, the start-ups alternate between this
# build's kwobl.scr and OTHER.scr (another build of it), in the same folder of pictures, and the median
# of each is printed: the fair way to compare two builds on a machine whose speed wanders.
#
# Needs the windows preset built (kwobl.scr and the end-to-end helper). Environment: BUILD_DIR (default
# build/windows), WINEPREFIX (default a folder in /tmp, made on first use), KWOBL_BENCH_PICTURES (a
# folder to keep the sample pictures in between runs; default a temporary folder).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
against=
first_size=6000x4000
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --against) against=$2; shift 2 ;;
    --first-size) first_size=$2; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
build=${BUILD_DIR:-$root/build/windows}
scr=$build/kwobl.scr
helper=$build/tests/e2e/helper/kwobl_e2e_helper.exe
for f in "$scr" "$helper" ${against:+"$against"}; do
  [ -f "$f" ] || { echo "missing $f: build the windows preset first" >&2; exit 1; }
done

KWOBL_ROOT=$root
source "$root/scripts/lib/common.sh"
source "$root/scripts/lib/xvfb.sh"
kwobl_start_xvfb 1920 1080
export WINEPREFIX=${WINEPREFIX:-/tmp/kwobl-bench-wineprefix}
export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1

if [ -n "${KWOBL_BENCH_PICTURES:-}" ]; then
  pictures=$KWOBL_BENCH_PICTURES
  mkdir -p "$pictures"
else
  pictures=$(mktemp -d /tmp/kwobl-bench-pictures.XXXXXX)
fi
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kwobl_stop_xvfb
  [ -n "${KWOBL_BENCH_PICTURES:-}" ] || rm -rf "$pictures"
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Folders of pictures, each with its own copy of the program.
make_folder() { # NAME SIZE OPTIONS...
  local dir=$pictures/$1 size=$2 n
  shift 2
  mkdir -p "$dir"
  cp "$scr" "$dir/kwobl.scr"
  [ -f "$dir/done" ] && return 0
  for n in 1 2 3; do
    convert -seed "$n" -size 800x600 plasma:fractal -resize "$size!" "$@" "jpeg:$dir/KWOBL00$n.DAT"
  done
  touch "$dir/done"
}
make_folder heavy 8000x6000 -quality 90 -interlace plane -sampling-factor 2x2
make_folder small 640x480 -quality 90
photo=photo-$first_size
make_folder "$photo" "$first_size" -quality 90 -interlace none -sampling-factor 2x2

# A Wine server left running in the prefix (by another run, on another display) is ended first: it
# would refuse to start again, and the programs would show on that display.
wineserver -k 2>/dev/null || true
wineserver -p
wine "$helper" hold >/dev/null 2>&1 &
holder=$!
sleep 3

echo "kwobl responsiveness: a 1920x1080 screen, $(nproc) cores"

# The longest wait for an answer over three picture changes (about 32 s).
for name in heavy small; do
  dir=$pictures/$name
  (cd "$dir" && wine "$dir/kwobl.scr" /s >/dev/null 2>&1) &
  program=$!
  line=$(wine "$helper" probe Form1 32 | tr -d '\r')
  wine "$helper" close Form1 message >/dev/null 2>&1 || true
  wait "$program" || true
  longest=$(sed -n 's/.*longest_ms=\([0-9.]*\).*/\1/p' <<<"$line")
  median=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$line")
  printf '%-46s longest %7s ms   median %5s ms\n' "window's answer, $name pictures (3 changes):" "$longest" "$median"
done

# From the start of the process to the first picture, with the Wine server warm; then 25 s (two changes).
first_picture() { # PROGRAM: prints the milliseconds to its first picture
  wine "$helper" launch 1 "$(winpath "$1")" /s | tr -d '\r' | sed -n 's/.*first_ms=\([0-9.]*\).*/\1/p'
}
median_of() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
sorted_of() { printf '%s\n' "$@" | sort -n | tr '\n' ' ' | sed 's/ $//'; }
[ -z "$against" ] || cp "$against" "$pictures/$photo/other.scr"
firsts=()
others=()
for ((i = 0; i < runs; i++)); do
  firsts+=("$(first_picture "$pictures/$photo/kwobl.scr")")
  sleep 1
  if [ -n "$against" ]; then
    others+=("$(first_picture "$pictures/$photo/other.scr")")
    sleep 1
  fi
done
printf '%-46s median %7s ms   (%s)\n' "first picture, $first_size baseline JPEG:" "$(median_of "${firsts[@]}")" \
  "$(sorted_of "${firsts[@]}")"
if [ -n "$against" ]; then
  printf '%-46s median %7s ms   (%s)\n' "  the other program (--against), alternating:" "$(median_of "${others[@]}")" \
    "$(sorted_of "${others[@]}")"
  rm -f "$pictures/$photo/other.scr"
fi
for name in "$photo" heavy; do
  line=$(wine "$helper" launch 25 "$(winpath "$pictures/$name/kwobl.scr")" /s | tr -d '\r')
  peak=$(sed -n 's/.*\tpeak_mb=\([0-9.]*\).*/\1/p' <<<"$line")
  held=$(sed -n 's/.*\theld_mb=\([0-9.]*\).*/\1/p' <<<"$line")
  decoder_peak=$(sed -n 's/.*decoder_peak_mb=\([0-9.]*\).*/\1/p' <<<"$line")
  decoder_held=$(sed -n 's/.*decoder_held_mb=\([0-9.]*\).*/\1/p' <<<"$line")
  printf '%-46s peak %7s MB   after two changes %6s MB\n' "working set, $name pictures:" "$peak" "$held"
  printf '%-46s peak %7s MB   after two changes %6s MB\n' "  its decoder process:" "${decoder_peak:-0}" \
    "${decoder_held:-0}"
  printf '%-46s peak %7s MB\n' "  both (the peaks added):" \
    "$(awk -v a="$peak" -v b="${decoder_peak:-0}" 'BEGIN { printf "%.1f", a + b }')"
done
