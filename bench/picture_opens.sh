#!/usr/bin/env bash
# Counts how often the running slideshow opens each picture file, by name, from Wine's trace of file
# calls (NtCreateFile), and prints the opens per picture change.
#
#   bench/picture_opens.sh [--program FILE.scr] [--seconds N]
#
# Runs FILE.scr (build/windows/kwobl.scr) /s for N seconds (32: three changes at ten-second intervals)
# over six small PNG pictures on a virtual 640 x 480 display with WINEDEBUG=trace+file. The pictures
# between the first and the last one opened were each prepared ahead and shown at their tick: their
# opens, divided by their number, are the opens per change. The decoder process is counted with the
# slideshow (it is given the open file and should open none by name).
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

program=$KWOBL_ROOT/build/windows/kwobl.scr
seconds=32
while (($#)); do
    case $1 in
    --program) program=$(realpath "$2"); shift ;;
    --seconds) seconds=$2; shift ;;
    *) kwobl_die "unknown option $1 (see the head of bench/picture_opens.sh)" ;;
    esac
    shift
done
[[ -f $program ]] || kwobl_die "no program file $program (cmake --build --preset windows)"

folder=$(mktemp -d /tmp/kwobl-opens.XXXXXX)
# The trace goes beside the pictures' folder, not into it: writing there would change the folder.
trace=$(mktemp /tmp/kwobl-opens-trace.XXXXXX)
cleanup() {
    [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null || true
    kwobl_stop_wine
    kwobl_stop_xvfb
    rm -rf "$folder" "$trace"
}
trap cleanup EXIT
cp "$program" "$folder/kwobl.scr"
colours=(red green blue yellow magenta cyan)
for number in 1 2 3 4 5 6; do
    convert -size $((60 + 40 * number))x$((40 + 30 * number)) "xc:${colours[number - 1]}" \
        "png:$folder/KWOBL00$number.DAT"
done

kwobl_start_xvfb 640 480
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/bench-prefix"

(cd "$folder" && WINEDEBUG=trace+file exec wine kwobl.scr /s 2>"$trace") &
pid=$!
sleep "$seconds"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=""

echo "opens by name of each picture file in $seconds s ($(basename "$program")):"
grep -a 'NtCreateFile' "$trace" | grep -aoi 'KWOBL00[0-9]\.DAT' | sort | uniq -c | awk '{ print "  " $2 ": " $1 }'
grep -a 'NtCreateFile' "$trace" | grep -aoi 'KWOBL00[0-9]\.DAT' | sort | uniq -c | awk '
    { count[NR] = $1; n = NR }
    END {
        if (n < 3) { print "too few pictures were opened to count a change"; exit 1 }
        for (i = 2; i < n; ++i) total += count[i]
        printf "opens per picture change: %.2f (pictures 2 to %d)\n", total / (n - 2), n - 1
    }'
