#!/usr/bin/env bash
# Builds VELMORA and runs the whole test suite (no screen needed): once in build/, then
# once more in build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer, where
# any report ends the test that caused it. VELMORA_NO_SANITIZERS=1 skips the second run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j2

if [ "${VELMORA_NO_SANITIZERS:-}" != 1 ]; then
    echo "== La stessa suite con AddressSanitizer e UndefinedBehaviorSanitizer (build-asan/)"
    # -O1 keeps the instrumented build and its run quick enough for CI.
    [ -f build-asan/CMakeCache.txt ] || cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DVELMORA_SANITIZE=ON
    cmake --build build-asan -j"$(nproc)"
    # Leaks are not checked: Qt's and fontconfig's caches live until the process ends.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j2
fi
