#!/usr/bin/env bash
# Builds and runs the benchmarks: the data benchmark and the search fields of the leads and
# requests registers (optional arguments: the numbers of rows to try, e.g. 10000 100000),
# the report benchmark, the diary benchmark, the LIKE benchmark, the cost of several
# desks, and on 100k and 1M rows a table the opening of every window and the drag of a
# grid's scroll bar (bench_bigtables, the same sizes); then start-up, criteria search and report processor time against their floors
# (bench_speed.sh); the same office on a local PostgreSQL server, at 100k properties; last
# the move from an old Access archive (100k properties, 1M leads) against mdb-export.
# Sample databases are made once in build/bench-data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --build build --target bench_data bench_registers bench_report bench_diary bench_like bench_desks bench_postgres bench_legacy bench_matching bench_bigtables -j"$(nproc)"
build/bench_data "$@"
echo
build/bench_registers "$@"
echo
build/bench_report
echo
build/bench_diary
echo
build/bench_like
echo
build/bench_matching
echo
build/bench_desks
echo
build/bench_bigtables "$@"
echo
bash scripts/bench_speed.sh
echo
build/bench_postgres
echo
# mdb-reader checks the archive the benchmark makes once (installed by the tests' set-up).
ctest --test-dir build -R mdb_reader_install > /dev/null
build/bench_legacy
