#!/usr/bin/env bash
# Checks that a release build is reproducible: clones the commit HEAD twice, into folders at
# different paths (of different lengths), builds kwobl.scr, the release zip and the installer package
# of the windows preset in each (the first with nothing but `cmake --preset windows && cmake --build
# --preset windows --target msi`), and compares them byte for byte. It also looks for the clones' paths
# in kwobl.scr. Changes that are not committed are not part of the check. Exit status 0 when both files are identical.
#
#   scripts/check_reproducible.sh [--keep]     --keep: leave the clones in the temporary folder
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"

keep=false
case ${1:-} in
--keep) keep=true ;;
"") ;;
*) kwobl_die "unknown option $1 (see the head of scripts/check_reproducible.sh)" ;;
esac

commit=$(git -C "$KWOBL_ROOT" rev-parse HEAD)
work=$(mktemp -d "${TMPDIR:-/tmp}/kwobl-reproducible.XXXXXX")
cleanup() {
    if $keep; then
        kwobl_say "the clones stay in $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

# Builds kwobl.scr, the release zip and the installer package in a fresh clone: kwobl_build_release
# FOLDER. The first clone runs the README's one command for the package, on the windows preset alone
# (its host build makes the native picture generator and check, and the generator the pictures); the
# second takes the first one's native tools and pictures, which are tested on their own, and builds
# only the program. cpack then makes the zip, as the package target does, without building the tests.
kwobl_build_release() {
    local clone=$1
    git clone --quiet --shared --no-checkout "$KWOBL_ROOT" "$clone"
    git -C "$clone" checkout --quiet --detach "$commit"
    (
        cd "$clone"
        if [[ ! -d $work/pictures ]]; then
            cmake --preset windows >/dev/null
            cmake --build --preset windows --target msi -j 2 >/dev/null
            cp -r build/windows/packaging/msi-demo-pictures "$work/pictures"
            cp build/windows/host/tools/make_demo_pictures build/windows/host/tools/check_pictures/check_pictures "$work/"
        else
            cmake --preset windows -DKWOBL_MSI_PICTURES="$work/pictures" \
                -DKWOBL_DEMO_PICTURES_GENERATOR="$work/make_demo_pictures" \
                -DKWOBL_PICTURE_CHECKER="$work/check_pictures" >/dev/null
            cmake --build --preset windows --target msi -j 2 >/dev/null
        fi
        cd build/windows
        cpack --config CPackConfig.cmake >/dev/null
    ) || kwobl_die "the build in $clone failed"
}

started=$SECONDS
first=$work/one
second=$work/a-second-and-longer-path/two
kwobl_say "building $commit in $first"
kwobl_build_release "$first"
kwobl_say "building $commit in $second"
kwobl_build_release "$second"

status=0
for file in kwobl.scr kwobl-*-win64.zip kwobl-*-win64.msi; do
    # The zip's name carries the version: take it from the first clone.
    name=$(cd "$first/build/windows" && ls $file)
    if cmp "$first/build/windows/$name" "$second/build/windows/$name"; then
        printf '%-24s identical (%s bytes, sha256 %s)\n' "$name" "$(stat -c %s "$first/build/windows/$name")" \
            "$(sha256sum <"$first/build/windows/$name" | cut -c1-16)"
    else
        printf '%-24s DIFFERS between the two clones\n' "$name"
        status=1
    fi
done
for clone in "$first" "$second"; do
    if { strings -a "$clone/build/windows/kwobl.scr"; strings -a -el "$clone/build/windows/kwobl.scr"; } |
        grep -qF "$work"; then
        printf 'kwobl.scr built in %s holds that path\n' "$clone"
        status=1
    fi
done
if ((status == 0)); then
    printf 'reproducible: the same bytes from %s and %s (%d s)\n' "$first" "$second" $((SECONDS - started))
else
    printf 'NOT reproducible (see above; scripts/check_reproducible.sh --keep keeps the clones)\n'
fi
exit $status
