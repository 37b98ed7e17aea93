#!/usr/bin/env bash
# Installs the npm package mdb-reader (a second reader of Access files, for the tests only)
# into the given folder, unless it is there already.
set -euo pipefail
folder=$1
script=$2
mkdir -p "$folder"
cp "$script" "$folder/"
[ -f "$folder/node_modules/mdb-reader/package.json" ] && exit 0
npm install --prefix "$folder" --no-audit --no-fund --loglevel=error mdb-reader@3.2.0
