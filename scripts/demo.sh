#!/usr/bin/env bash
# Shows the slideshow on the demo pictures: builds the program and the picture generator, makes the
# fifty numbered pictures (one number left out) beside a copy of kwobl.scr in build/demo/, and runs
# `kwobl.scr /s` under Wine. Installs missing Debian packages first (as root).
#
# On a display (DISPLAY set), the slideshow runs until a key press, a click or a mouse movement.
# Without one, it runs on a virtual 1920 x 1080 display for about 25 seconds, saves screenshots to
# build/demo/screenshots/ and then ends the slideshow with a key press.
#
#   scripts/demo.sh [--screenshots]    --screenshots: use the virtual display even when DISPLAY is set
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

virtual=false
case ${1:-} in
--screenshots) virtual=true ;;
"") ;;
*) kwobl_die "unknown option $1 (see the head of scripts/demo.sh)" ;;
esac
if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
    virtual=true
fi

cd "$KWOBL_ROOT"
kwobl_install_packages
kwobl_build_preset windows
kwobl_build_preset linux

demo=$KWOBL_ROOT/build/demo
generator=build/linux/tools/make_demo_pictures
mkdir -p "$demo"
cp build/windows/kwobl.scr "$demo/kwobl.scr"
# The pictures depend only on the generator: they are made again when it has changed.
if [[ ! -f "$demo/.pictures" || "$generator" -nt "$demo/.pictures" ]]; then
    kwobl_say "making the demo pictures in $demo"
    "$generator" "$demo" --jobs 2 >/dev/null
    touch "$demo/.pictures"
fi

if ! $virtual; then
    kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/demo-prefix"
    kwobl_say "the slideshow starts: a key press, a click or a mouse movement ends it"
    (cd "$demo" && wine ./kwobl.scr /s)
    exit 0
fi

shots=$demo/screenshots
cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
}
trap cleanup EXIT
kwobl_start_xvfb 1920 1080
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/demo-prefix"
rm -rf "$shots"
mkdir -p "$shots"

kwobl_say "running the slideshow on the virtual display $DISPLAY for about 25 s"
(cd "$demo" && exec wine ./kwobl.scr /s) >/dev/null 2>&1 &
slideshow=$!
kwobl_wait_until 30 bash -c '[[ -n "$(xdotool search --name "^Form1$" 2>/dev/null)" ]]' ||
    kwobl_die "the slideshow window did not appear"
shown=$SECONDS

# Screenshots at the start and after the first and the second picture change (every 10 s).
snap() {
    local at=$1 name=$2
    while ((SECONDS - shown < at)); do sleep 0.2; done
    import -window root "$shots/$name.png"
    printf '    %s\n' "$shots/$name.png"
}
kwobl_say "screenshots:"
snap 2 0s-picture-001
snap 13 10s-picture-002
snap 23 20s-picture-003

# A key press ends the slideshow.
window=$(xdotool search --name '^Form1$' | head -n 1)
xdotool windowfocus "$window" key space
if kwobl_wait_gone 15 "$slideshow"; then
    kwobl_say "the slideshow ended on a key press, as it should"
else
    kwobl_die "the slideshow did not end on a key press"
fi
