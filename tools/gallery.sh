#!/usr/bin/env bash
# Every box of the installer as a picture: runs the built installer under Wine
# and Xvfb through each situation that shows a box, for an English and a
# Russian user, and writes build/gallery/ (PNG files and index.html): the
# shipped 32-bit build, through qemu-user where the kernel runs no 32-bit
# programs (tools/setup.sh). Arguments go to tests/e2e/gallery.py
# (--out FOLDER).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset win32 >/dev/null
nice cmake --build --preset win32 -j2 --target orfa-update e2e_helpers
ORFA_E2E_BUILD="$PWD/build/win32" PYTHONDONTWRITEBYTECODE=1 \
  exec python3 tests/e2e/gallery.py "$@"
