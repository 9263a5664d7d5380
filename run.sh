#!/usr/bin/env bash
# Installs what the project needs, builds it with its stand-in data tree and runs the show.
# Arguments are handed to the show (for example -log sys).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja > build.configure.log 2>&1 || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)" --target sparkvane twdata
# the show reads its own files in the current folder and its data root "TWdata" there:
# build/ holds both
cd build
exec ./sparkvane "$@"
