#!/usr/bin/env bash
# The quiet update's benchmark under Wine: builds the installer and what the
# benchmark needs, lays out a sample installation in one Wine prefix with a
# warm wineserver, and prints the medians of N runs (default 7) of
# orfa-update "modest", of a bare resource-to-file writer of the same payload
# (the floor), of an uncompressed NSIS installer of it (built for the same
# Windows as the installer) and of cp; their ratios; and the peak private
# memory of the installer and of the bare writer. Not a test: nothing fails on a missed goal.
#
#   tools/bench.sh [N]
#
# Where Wine runs 32-bit programs it measures the 32-bit build (win32 preset);
# where it cannot, the same sources built for 64-bit Windows (wine64 preset).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
runs=${1:-7}

tools/setup.sh
if wine --version >/dev/null 2>&1; then
  preset=win32
else
  preset=wine64
  export ORFA_WINE64_ONLY=1
fi
cmake --preset "$preset" >/dev/null
nice cmake --build --preset "$preset" -j2 --target orfa-update e2e_orfa_standin

export ORFA_E2E_BUILD="$here/build/$preset"
exec nice python3 tools/bench/bench.py --preset "$preset" --runs "$runs"
