#!/usr/bin/env bash
# Runs every fuzz target under libFuzzer (clang, AddressSanitizer, UBSan) for some
# minutes each: bash scripts/fuzz.sh [minutes, default 5] [target...]
# Targets: formula builder like settings numbers report. The build lives in build-fuzz/;
# the corpus grows in build-fuzz/corpus/<target> (seeded from fuzz/corpus/<target>),
# failing inputs land in build-fuzz/findings/<target>/ and are summed up at the end.
# An input worth keeping goes into fuzz/corpus/<target>/, where ctest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-5}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(formula builder like settings numbers report)

if ! command -v clang++ >/dev/null; then
    echo "Installo clang per i fuzz target"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq clang
fi
bash scripts/setup.sh --pacchetti
[ -f build-fuzz/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz-}"

# Inputs of faults not yet mended would stop the fuzzer at once: they stay out of its seeds.
mapfile -t pending < <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' fuzz/expected-failures.txt | grep -v '^$' || true)
status=0
for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    findings=build-fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    for seed in fuzz/corpus/"$target"/*; do
        printf '%s\n' "${pending[@]}" | grep -qxF "$target/$(basename "$seed")" || cp -n "$seed" "$corpus/"
    done
    echo "== fuzz-$target: $minutes min"
    # Fork mode goes on after a finding, so one run shows every kind of fault it meets.
    ( cd build-fuzz && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ./fuzz/fuzz-"$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -artifact_prefix=findings/"$target"/ "corpus/$target" ) >"build-fuzz/$target.log" 2>&1 || true
    echo "   $(grep -E '^#[0-9]+' "build-fuzz/$target.log" | tail -1 | cut -c1-150)"  # runs, coverage, findings
    found=$(find "$findings" -type f | wc -l)
    if ((found)); then
        status=1
        echo "   $found input che falliscono in $findings:"
        for input in "$findings"/*; do
            reason=$( (ASAN_OPTIONS=detect_leaks=0 timeout 120 build-fuzz/fuzz/fuzz-"$target" "$input" 2>&1 || true) |
                grep -m1 -A1 -E 'FUZZ FAILURE|ERROR: AddressSanitizer|runtime error|ALARM|timeout' | tr '\n' ' ' | cut -c1-220)
            echo "   $(basename "$input"): $reason"
        done
    else
        echo "   nessun guasto"
    fi
done
exit $status
