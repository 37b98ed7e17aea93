#!/usr/bin/env bash
# Builds and runs the benchmarks: the data benchmark (optional arguments: the numbers of
# properties to try, e.g. 10000 100000), the report benchmark, the diary benchmark, and
# the several-desks benchmark (the same office on a local PostgreSQL server, at 100k).
# Sample databases are made once in build/bench-data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --build build --target bench_data bench_report bench_diary bench_like bench_postgres -j"$(nproc)"
build/bench_data "$@"
echo
build/bench_report
echo
build/bench_diary
echo
build/bench_like
echo
build/bench_postgres
