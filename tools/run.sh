#!/usr/bin/env bash
# Installs what the build needs, builds and starts Velorin.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec build/bin/velorin "$@"
