#!/usr/bin/env bash
# Prints the fifty change times of one cycle of kwobl.scr at its real interval (ten seconds), each with
# its distance from the one before, and the drift over the cycle (bench/ontime.py). Takes about nine
# minutes.
#
#   bench/ontime.sh [--screen WxH]      (default 640x480)
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

screen=640x480
while (($#)); do
    case $1 in
    --screen) screen=$2; shift ;;
    *) kwobl_die "unknown option $1 (see the head of bench/ontime.sh)" ;;
    esac
    shift
done

cd "$KWOBL_ROOT"
[[ -f build/windows/kwobl.scr ]] || kwobl_build_preset windows
folder=$(mktemp -d /tmp/kwobl-ontime.XXXXXX)
cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
    rm -rf "$folder"
}
trap cleanup EXIT

kwobl_start_xvfb "${screen%x*}" "${screen#*x}"
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/ontime-prefix"
python3 bench/ontime.py --scr build/windows/kwobl.scr --folder "$folder" --screen "$screen"
