#!/usr/bin/env bash
# Builds a release of Nimbrel and starts it in the demo folder demo/ (its
# settings file Nimbrel.ini and configuration files live there).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-run -j "$(nproc)"

mkdir -p demo
cd demo

# --- Simulated transmitter ---------------------------------------------------
# Start the simulated transmitter here and point the program's port at it
# (section [COM], key device<n>) before the program starts.
# -----------------------------------------------------------------------------

exec ../build-run/app/nimbrel "$@"
