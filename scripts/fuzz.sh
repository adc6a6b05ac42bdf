#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each one for SECONDS (default 60), one after the other, from its seed corpus in
# fuzz/corpus/TARGET/. Fails when a target finds a crash, a leak, a sanitizer report or an input that
# takes longer than 10 s; the input that did it is saved in build/fuzz/crashes/.
#
#   scripts/fuzz.sh [SECONDS]
#
# The inputs a run adds to the corpus stay in build/fuzz/corpus/TARGET/ and seed the next run.
set -euo pipefail

KWOBL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KWOBL_ROOT/scripts/lib/common.sh"

seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || kwobl_die "SECONDS must be a whole number (see the head of scripts/fuzz.sh)"

cd "$KWOBL_ROOT"
kwobl_install_packages
kwobl_say "building the fuzz preset"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

crashes=build/fuzz/crashes
mkdir -p "$crashes"
status=0
for fuzzer in build/fuzz/fuzz/fuzz_*; do
    [[ -x $fuzzer ]] || continue
    target=${fuzzer##*/fuzz_}
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    log=build/fuzz/$target.log
    kwobl_say "fuzzing $target for $seconds s"
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$fuzzer" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$crashes/$target-" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
        echo "$target: ${runs:-?} runs in $seconds s, peak ${peak:-?} MB, corpus $(ls "$corpus" | wc -l) inputs"
    else
        status=1
        echo "$target: FAILED, see $log" >&2
        grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -20 >&2 || true
    fi
done
exit $status
