#!/usr/bin/env bash
# Every box of the installer as a picture: runs the built installer under Wine
# and Xvfb through each situation that shows a box, for an English and a
# Russian user, and writes build/gallery/ (PNG files and index.html).
# Where this machine runs no 32-bit programs, the 64-bit build of the same
# sources is run, as the tests do. Arguments go to tests/e2e/gallery.py
# (--out FOLDER).
set -euo pipefail
cd "$(dirname "$0")/.."

if wine --version >/dev/null 2>&1; then
  preset=win32
else
  echo "gallery: this machine runs no 32-bit programs: showing the 64-bit build" >&2
  preset=wine64
  export ORFA_WINE64_ONLY=1
fi
cmake --preset "$preset" >/dev/null
nice cmake --build --preset "$preset" -j2 --target orfa-update e2e_helpers
ORFA_E2E_BUILD="$PWD/build/$preset" PYTHONDONTWRITEBYTECODE=1 \
  exec python3 tests/e2e/gallery.py "$@"
