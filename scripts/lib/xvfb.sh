# Shell functions that start and stop a virtual X display (Xvfb) on a free display number.

KWOBL_XVFB_PID=

# Starts Xvfb with the given screen size on the first free display from KWOBL_XVFB_FIRST (default 90)
# and exports DISPLAY: kwobl_start_xvfb WIDTH HEIGHT.
kwobl_start_xvfb() {
    local width=$1 height=$2 number=${KWOBL_XVFB_FIRST:-90} last
    last=$((number + 60))
    for (( ; number <= last; number++)); do
        if [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]]; then
            continue
        fi
        Xvfb ":$number" -screen 0 "${width}x${height}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
        KWOBL_XVFB_PID=$!
        if kwobl_wait_until 10 xdpyinfo -display ":$number" >/dev/null 2>&1; then
            export DISPLAY=":$number"
            return 0
        fi
        # Another program took this number at the same moment: try the next one.
        kill "$KWOBL_XVFB_PID" 2>/dev/null || true
        wait "$KWOBL_XVFB_PID" 2>/dev/null || true
        KWOBL_XVFB_PID=
    done
    kwobl_die "no free X display number between ${KWOBL_XVFB_FIRST:-90} and $last"
}

kwobl_stop_xvfb() {
    if [[ -n "$KWOBL_XVFB_PID" ]]; then
        kill "$KWOBL_XVFB_PID" 2>/dev/null || true
        wait "$KWOBL_XVFB_PID" 2>/dev/null || true
        KWOBL_XVFB_PID=
    fi
}
