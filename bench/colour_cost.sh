#!/usr/bin/env bash
# Times colour management on the worker under Wine (bench/colour_cost_bench.cpp): one conversion of a
# 1920 x 1080 and a 3840 x 2160 picture with the program's engine (Little CMS) and with the system's
# (ICM), and whole decodes of photographs of those sizes without a profile, with a Display P3 profile,
# and as CMYK without and with a SWOP profile.
#
#   bench/colour_cost.sh [--runs N]
#
# Needs the windows preset built, ImageMagick, and the profiles of argyll-ref and libgs-common.
# Environment: BUILD_DIR (default build/windows), WINEPREFIX (default a folder in /tmp, made on first use).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=7
[ "${1:-}" = --runs ] && runs=$2
build=${BUILD_DIR:-$root/build/windows}
bench=$build/bench/kwobl_colour_bench.exe
[ -f "$bench" ] || { echo "missing $bench: build the windows preset first" >&2; exit 1; }
p3=/usr/share/color/argyll/ref/DisplayP3.icm
swop=/usr/share/color/icc/ghostscript/default_cmyk.icc
srgb=/usr/share/color/icc/colord/sRGB.icc

export WINEPREFIX=${WINEPREFIX:-/tmp/kwobl-bench-wineprefix}
export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
pictures=$(mktemp -d /tmp/kwobl-colour-cost.XXXXXX)
trap 'rm -rf "$pictures"' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
files=()
for size in 1920x1080 3840x2160; do
  convert -seed 1 -size 800x450 plasma:fractal -resize "$size!" -quality 90 -strip "jpeg:$pictures/$size.jpg"
  convert "$pictures/$size.jpg" -profile "$p3" "$pictures/$size-p3.jpg"
  convert "$pictures/$size.jpg" -profile "$srgb" -profile "$swop" -strip -quality 90 "$pictures/$size-cmyk.jpg"
  convert "$pictures/$size-cmyk.jpg" -profile "$swop" "$pictures/$size-cmyk-swop.jpg"
  files+=("$(winpath "$pictures/$size.jpg")" "$(winpath "$pictures/$size-p3.jpg")"
          "$(winpath "$pictures/$size-cmyk.jpg")" "$(winpath "$pictures/$size-cmyk-swop.jpg")")
done
wine "$bench" --runs "$runs" "$(winpath "$p3")" "$(winpath "$swop")" "${files[@]}" | tr -d '\r'
wineserver -k 2>/dev/null || true
