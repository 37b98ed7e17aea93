#!/usr/bin/env bash
# Start-up, criteria search and report processor time, each against its floor. Expects
# build/ configured (scripts/bench.sh does it); start-up needs a screen and runs under
# xvfb-run when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target bench_startup -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1600x1000x24" build/bench_startup
else
    build/bench_startup
fi
echo
cmake --build build --target bench_report_cpu -j"$(nproc)"
build/bench_report_cpu
echo
cmake --build build --target bench_criteria -j"$(nproc)"
build/bench_criteria
