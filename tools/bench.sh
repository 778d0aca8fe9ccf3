#!/usr/bin/env bash
# The quiet update's benchmark under Wine: builds the installer and what the
# benchmark needs, lays out a sample installation in one 64-bit Wine prefix
# with a warm wineserver, and prints, for the Windows 10 and then the Windows 7
# profile of the prefix, the medians of N runs (default 7) of orfa-update
# "modest", of a bare resource-to-file writer of the same payload that
# replaces the file durably (~orfm.cok, flush, one-step move: the durable
# floor) and plainly (the plain floor), of an uncompressed NSIS installer of
# it (built for the same Windows as the installer) and of cp; their ratios;
# and the peak private memory of the installer and of the durable floor. Not
# a test: nothing fails on a missed goal.
#
#   tools/bench.sh [N]
#
# It measures the shipped 32-bit build (win32 preset) where Wine runs 32-bit
# programs (under an emulator where the kernel runs none itself: then ratios
# only), and the same sources built for 64-bit Windows (wine64 preset), the
# figure at native speed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
runs=${1:-7}

tools/setup.sh
builds=()
skips=()
if wine --version >/dev/null 2>&1; then
  builds+=(--build win32)
  presets=(win32 wine64)
else
  skips+=(--skip "win32=this machine runs no 32-bit programs, so Wine cannot start the 32-bit build")
  export ORFA_WINE64_ONLY=1
  presets=(wine64)
fi
builds+=(--build wine64)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  nice cmake --build --preset "$preset" -j2 --target orfa-update e2e_orfa_standin
done

exec nice python3 tools/bench/bench.py "${builds[@]}" "${skips[@]}" --runs "$runs"
