#!/usr/bin/env bash
# Builds VELMORA and runs the whole test suite (no screen needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j2
