#!/usr/bin/env bash
# A day of picture changes, measured: runs the test copy kwobl_quick.scr (its interval shortened; kwobl.scr
# keeps ten seconds) under Wine over fifty mixed files and prints what the slideshow and its decoder hold
# at the start, after 100 changes, every 500 and at the end. Its last line is
#
#   soak: N changes, private +X KB, working set +Y KB, handles +H, gdi +G, user +U, threads +T, decoder starts D, missed M
#
# with the growth from the sample after 100 changes to the last (the larger of the two processes' for each
# figure), the decoder processes started in all and the changes that showed neither their picture nor, for
# a bad file, black (see bench/soak.py).
#
#   bench/soak.sh [--changes N] [--tick-ms MS] [--screen WxH] [--kill-decoder-every K]
#
# Defaults 8640, 250, 640x480 and no kills. With --kill-decoder-every, the decoder process is also ended
# from outside every K changes, at a random moment of the interval, and the number of kills is printed.
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

changes=8640
tick_ms=250
screen=640x480
extra=()
while (($#)); do
    case $1 in
    --changes) changes=$2; shift ;;
    --tick-ms) tick_ms=$2; shift ;;
    --screen) screen=$2; shift ;;
    --kill-decoder-every) extra+=(--kill-decoder-every "$2"); shift ;;
    *) kwobl_die "unknown option $1 (see the head of bench/soak.sh)" ;;
    esac
    shift
done

cd "$KWOBL_ROOT"
[[ -f build/windows/kwobl_quick.scr && -f build/windows/tests/e2e/helper/kwobl_e2e_power.exe ]] ||
    kwobl_build_preset windows
folder=$(mktemp -d /tmp/kwobl-soak.XXXXXX)
cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
    [[ -n ${KWOBL_SOAK_KEEP:-} ]] || rm -rf "$folder"
}
trap cleanup EXIT

kwobl_start_xvfb "${screen%x*}" "${screen#*x}"
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/soak-prefix"
python3 bench/soak.py --changes "$changes" --tick-ms "$tick_ms" --screen "$screen" \
    --scr build/windows/kwobl_quick.scr --helper build/windows/tests/e2e/helper/kwobl_e2e_power.exe \
    --folder "$folder" "${extra[@]}"
