#!/usr/bin/env bash
# Builds and runs the data benchmark (sample databases are made once in build/bench-data).
# Optional arguments: the numbers of properties to try, e.g. 10000 100000.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --build build --target bench_data -j"$(nproc)"
exec build/bench_data "$@"
