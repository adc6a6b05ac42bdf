#!/usr/bin/env bash
# Runs every test of the project: builds the presets, runs the unit tests (also under the sanitizers),
# each fuzz target briefly, then the end-to-end tests of kwobl.scr under Wine on a virtual display. Installs missing Debian packages first (as root).
#
#   scripts/test.sh              everything
#   scripts/test.sh --e2e-only   only the end-to-end tests, on what is already built
#   scripts/test.sh -k WORD      only the end-to-end tests whose name contains WORD (repeatable)
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"
source "$KWOBL_ROOT/scripts/lib/xvfb.sh"
source "$KWOBL_ROOT/scripts/lib/wine.sh"

e2e_only=false
e2e_args=()
while (($#)); do
    case $1 in
    --e2e-only) e2e_only=true ;;
    -k) e2e_args+=(-k "$2"); shift ;;
    *) kwobl_die "unknown option $1 (see the head of scripts/test.sh)" ;;
    esac
    shift
done

cd "$KWOBL_ROOT"
status=0

if ! $e2e_only; then
    kwobl_install_packages
    kwobl_build_preset windows
    kwobl_build_preset linux
    kwobl_say "unit tests"
    ctest --preset linux -j 2 || status=1
    kwobl_build_preset linux-asan
    kwobl_say "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    ctest --preset linux-asan -j 2 || status=1
    # Each fuzz target for 15 s: a check that nothing known breaks them, kept short for CI. Longer
    # runs: scripts/fuzz.sh SECONDS.
    kwobl_say "fuzz targets, 15 s each"
    "$KWOBL_ROOT/scripts/fuzz.sh" 15 || status=1
    # The backend's own tests under Wine (real windows, dialog keys, the version resource and the
    # crash guard) and the release zips' contents; the end-to-end suite runs below, on its own, so
    # that its summary line stays the last line.
    kwobl_say "Windows backend tests under Wine and the release zips"
    ctest --preset windows -E '^end_to_end$' || status=1
    kwobl_say "reproducible build: two clones at different paths"
    scripts/check_reproducible.sh || status=1
fi

kwobl_say "end-to-end tests under Wine"
cleanup() {
    kwobl_stop_wine
    kwobl_stop_xvfb
}
trap cleanup EXIT
# The expected picture edges of the end-to-end tests are worked out for a 640 x 480 screen.
kwobl_start_xvfb 640 480
kwobl_prepare_wine_prefix "$KWOBL_ROOT/build/wine/test-prefix"
python=/usr/bin/python3
[[ -x $python ]] || python=python3
rm -rf build/e2e-shots
"$python" tests/e2e/run_e2e.py \
    --scr build/windows/kwobl.scr \
    --helper build/windows/tests/e2e/helper/kwobl_e2e_helper.exe \
    --make-pictures build/linux/tools/make_demo_pictures \
    --shots build/e2e-shots \
    "${e2e_args[@]}" || status=1

# The end-to-end suite's "N passed, N failed" stays the last line of the output.
exit $status
