#!/usr/bin/env bash
# Installs what the build needs, builds from scratch and runs every test;
# then rebuilds the engine layers under AddressSanitizer and runs their tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
export QT_QPA_PLATFORM=offscreen

rm -rf build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j2 --timeout 600

# Lifetimes and reference counts of the COM, platform and media layers.
rm -rf build-asan
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORIN_BUILD_GUI=OFF -DVELORIN_SANITIZE=address
cmake --build build-asan -j"$(nproc)" --target test_com test_platform test_media test_media_ffmpeg rmsp qtalt
for t in test_com test_platform test_media test_media_ffmpeg; do
  VELORIN_BIN="$PWD/build-asan/bin" ASAN_OPTIONS=detect_leaks=1 build-asan/bin/$t --gtest_brief=1
done
