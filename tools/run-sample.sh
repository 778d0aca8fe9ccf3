#!/usr/bin/env bash
# Builds the installer and runs it once, as a user would, on a sample Orfa
# installation in a fresh Wine prefix: the robot answers Yes to the install
# question and Yes to starting the product. Prints every message box and what
# was installed (file size, update stamp, "EstimatedSize").
#
#   tools/run-sample.sh [harness options] [-- installer arguments]
#
# Harness options (see tests/e2e/harness.py run --help), for example:
#   --locale ru            Russian user locale
#   --arch win64           64-bit Wine prefix
#   --stamp 14             the installed orfm.cok is newer than the payload
#   --answers yes,no       other answers
#   --running              a running product that quits when asked
#   -- modest runapp       quiet mode
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2

export ORFA_E2E_BUILD="$here/build/win32"
exec python3 tests/e2e/harness.py run --answers yes,yes "$@"
