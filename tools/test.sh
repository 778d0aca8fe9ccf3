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
fuzz=""
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  CC=clang CXX=clang++ cmake --preset fuzz
  cmake --build --preset fuzz -j"$(nproc)"
  fuzz="subdirs(\"$PWD/build/fuzz\")"
fi

# One ctest run over every build tree, so there is one summary.
mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<EOT
subdirs("$PWD/build/native")
subdirs("$PWD/build/win32")
$fuzz
EOT
ctest --test-dir build/all --output-on-failure -j2 "$@"
