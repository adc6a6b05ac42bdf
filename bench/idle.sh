#!/usr/bin/env bash
# Measures what the running slideshow costs between picture changes: the CPU time that the program
# and the Wine server use inside one ten-second interval, and the program's resident memory.
#
#   bench/idle.sh [--screen WxH] [--intervals N]
#
# Runs build/windows/kwobl.scr /s on the demo pictures (build/demo, made by scripts/demo.sh or here)
# on a virtual display. For each of N intervals it samples CPU times from 1 s after a picture change
# to 1 s before the next, so the figures show the idle cost alone.
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

screen=1920x1080
intervals=3
while (($#)); do
    case $1 in
    --screen) screen=$2; shift ;;
    --intervals) intervals=$2; shift ;;
    *) kwobl_die "unknown option $1 (see the head of bench/idle.sh)" ;;
    esac
    shift
done

cd "$KWOBL_ROOT"
[[ -f build/windows/kwobl.scr ]] || kwobl_build_preset windows
[[ -x build/linux/tools/make_demo_pictures ]] || kwobl_build_preset linux
folder=$(mktemp -d /tmp/kwobl-idle.XXXXXX)
cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
    rm -rf "$folder"
}
trap cleanup EXIT
cp build/windows/kwobl.scr "$folder/"
build/linux/tools/make_demo_pictures "$folder" --jobs 2 >/dev/null

kwobl_start_xvfb "${screen%x*}" "${screen#*x}"
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/bench-prefix"

# utime + stime of a process, in clock ticks.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

(cd "$folder" && exec wine kwobl.scr /s) &
pid=""
for _ in $(seq 100); do
    pid=$(pgrep -n -x 'kwobl.scr' || true)
    [[ -n $pid ]] && break
    sleep 0.1
done
[[ -n $pid ]] || kwobl_die "the slideshow did not start"
sleep 1
# Wine may start the program through a short-lived process of the same name: take the one that stays.
pid=$(pgrep -n -x 'kwobl.scr' || true)
[[ -n $pid && -d /proc/$pid ]] || kwobl_die "the slideshow ended at once"
hz=$(getconf CLK_TCK)
start=$(date +%s.%N)

printf '%-10s %14s %18s %12s\n' interval "program CPU ms" "wineserver CPU ms" "RSS MB"
for i in $(seq "$intervals"); do
    # Picture changes come every 10 s from the start; sample from +1 s to +9 s of interval i.
    sleep "$(awk -v s="$start" -v i="$i" -v now="$(date +%s.%N)" 'BEGIN { d = s + (i - 1) * 10 + 1 - now; print (d > 0 ? d : 0) }')"
    server=$(pgrep -n wineserver || echo 0)
    p0=$(cpu_ticks "$pid"); s0=$(cpu_ticks "$server")
    sleep 8
    p1=$(cpu_ticks "$pid"); s1=$(cpu_ticks "$server")
    rss=$(awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
    printf '%-10s %14d %18d %12s\n' "$i (8 s)" $(((p1 - p0) * 1000 / hz)) $(((s1 - s0) * 1000 / hz)) "$rss"
done
xdotool key space
