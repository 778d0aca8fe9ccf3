#!/usr/bin/env bash
# Runs every test: the native unit tests, the contract tests of the Windows
# implementation under Wine and the end-to-end tests of the real installer
# under Wine. Installs what is missing first. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset native
cmake --build --preset native -j"$(nproc)"
cmake --preset win32
cmake --build --preset win32 -j"$(nproc)"
trees=(native win32)

# Wine runs 32-bit programs through a 32-bit loader of its own, which a
# machine without 32-bit emulation in its kernel cannot start. There the
# Wine layers (contract, Wine checks, end-to-end) run against the same
# sources built for 64-bit Windows, and the 32-bit tree's report themselves
# skipped.
if ! wine --version >/dev/null 2>&1; then
  echo "test: this machine runs no 32-bit programs: the Wine tests run the 64-bit build" >&2
  cmake --preset wine64
  cmake --build --preset wine64 -j"$(nproc)"
  trees+=(wine64)
fi

# One ctest run over all build trees, so there is one summary.
mkdir -p build/all
for tree in "${trees[@]}"; do echo "subdirs(\"$PWD/build/$tree\")"; done \
  > build/all/CTestTestfile.cmake
ctest --test-dir build/all --output-on-failure -j2 "$@"
