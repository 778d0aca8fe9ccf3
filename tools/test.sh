#!/usr/bin/env bash
# Runs every test: the native unit tests, the contract tests of the Windows
# implementation under Wine and the end-to-end tests of the real installer
# under Wine; with clang, the unit tests once more under ASan/UBSan and each
# libFuzzer target for about 20 s (label "fuzz"). Installs what is missing
# first. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset native
cmake --build --preset native -j"$(nproc)"
cmake --preset win32
cmake --build --preset win32 -j"$(nproc)"
# The Wine layers (contract, Wine checks, end-to-end) run the shipped 32-bit
# build; where the kernel runs no 32-bit programs, tools/setup.sh has made
# Wine's 32-bit loader run through qemu-user.
trees=(native win32)

if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  CC=clang CXX=clang++ cmake --preset fuzz
  cmake --build --preset fuzz -j"$(nproc)"
  trees+=(fuzz)
fi

# One ctest run over all build trees, so there is one summary.
mkdir -p build/all
for tree in "${trees[@]}"; do echo "subdirs(\"$PWD/build/$tree\")"; done \
  > build/all/CTestTestfile.cmake
ctest --test-dir build/all --output-on-failure -j2 "$@"
