#!/usr/bin/env bash
# Runs one command in a Wine session for the tests: a virtual 640 x 480 X display (the size that the
# end-to-end tests' expected picture edges are worked out for) and the prepared test prefix
# build/wine/test-prefix (KWOBL_WINE_PREFIX names another). Both end with the command, whose exit
# status this script returns. CTest runs the Windows programs of the windows preset through it.
#
#   scripts/wine_session.sh wine PROGRAM.exe [ARG]...
#   scripts/wine_session.sh python3 tests/e2e/run_e2e.py ...
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

(($#)) || kwobl_die "usage: scripts/wine_session.sh COMMAND [ARG]..."

cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
}
trap cleanup EXIT
kwobl_start_xvfb 640 480
kwobl_prepare_wine_prefix "${KWOBL_WINE_PREFIX:-$KWOBL_ROOT/build/wine/test-prefix}"
status=0
"$@" || status=$?
exit $status
