#!/usr/bin/env bash
# Measures how true the colours on the screen are (bench/colour_accuracy.py): test pictures with
# embedded profiles shown by kwobl.scr under Wine on a virtual 640 x 480 screen, compared with Little
# CMS's conversion of the same files, CIEDE2000 per picture.
#
#   bench/colour.sh
#
# Needs the windows preset built, and ImageMagick, tificc (liblcms2-utils), python3-numpy and the
# profiles of icc-profiles-free, colord-data, argyll-ref and libgs-common. Environment: BUILD_DIR
# (default build/windows), WINEPREFIX (default a folder in /tmp, made on first use).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/windows}
scr=$build/kwobl.scr
[ -f "$scr" ] || { echo "missing $scr: build the windows preset first" >&2; exit 1; }

KWOBL_ROOT=$root
source "$root/scripts/lib/common.sh"
source "$root/scripts/lib/xvfb.sh"
kwobl_start_xvfb 640 480
export WINEPREFIX=${WINEPREFIX:-/tmp/kwobl-bench-wineprefix}
export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
cleanup() {
  wineserver -k 2>/dev/null || true
  kwobl_stop_xvfb
}
trap cleanup EXIT
# A Wine server left running in the prefix (by another run, on another display) is ended first: it
# would refuse to start again, and the programs would show on that display.
wineserver -k 2>/dev/null || true
wineserver -p

# The Python that has NumPy (Debian's python3-numpy is for the system's own Python).
python=python3
"$python" -c 'import numpy' 2>/dev/null || python=/usr/bin/python3
"$python" "$root/bench/colour_accuracy.py" --scr "$scr"
