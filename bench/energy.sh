#!/usr/bin/env bash
# Processor time per hour of kwobl.scr's processes (the slideshow and its decoder), split into the picture
# changes and the time between, for 12-MP phone photos (Display P3) and 24-MP camera photos, at 1920 x 1080
# and 3840 x 2160, with the display on and off (told as Windows tells it, through the test helper), and of
# Debian's feh -F -D 10 on the same pictures in the same run (bench/energy.py). Each run measures a few
# intervals and extrapolates them to an hour. The photos are made once, in build/energy-photos.
#
#   bench/energy.sh [--intervals N] [--screens "1920x1080 3840x2160"]
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

intervals=3
screens="1920x1080 3840x2160"
while (($#)); do
    case $1 in
    --intervals) intervals=$2; shift ;;
    --screens) screens=$2; shift ;;
    *) kwobl_die "unknown option $1 (see the head of bench/energy.sh)" ;;
    esac
    shift
done

cd "$KWOBL_ROOT"
command -v feh >/dev/null || kwobl_die "feh is not installed (apt-get install feh)"
[[ -f build/windows/kwobl.scr && -f build/windows/tests/e2e/helper/kwobl_e2e_power.exe ]] ||
    kwobl_build_preset windows
trap 'kwobl_stop_wine; kwobl_stop_xvfb' EXIT
for screen in $screens; do
    kwobl_start_xvfb "${screen%x*}" "${screen#*x}"
    kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/energy-prefix"
    python3 bench/energy.py --scr build/windows/kwobl.scr --helper build/windows/tests/e2e/helper/kwobl_e2e_power.exe \
        --work build/energy-photos --screen "$screen" --xvfb-pid "$KWOBL_XVFB_PID" --intervals "$intervals"
    kwobl_stop_wine
    kwobl_stop_xvfb
done
