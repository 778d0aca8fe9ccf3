#!/usr/bin/env bash
# Builds the installer a second time in a separate build tree and compares:
# two builds of the same tree must give byte-identical executables. Further
# arguments (-DORFA_PAYLOAD=... and the like) go to the second configure, so
# that it builds the same update.
set -euo pipefail
source_dir=$1 first=$2 second_dir=$3
shift 3
cmake -S "$source_dir" -B "$second_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$second_dir" --target orfa-update >/dev/null
if cmp "$first" "$second_dir/orfa-update.exe"; then
  echo "ok: two builds are byte-identical ($(stat -c %s "$first") bytes)"
else
  echo "FAIL: the two builds differ"
  exit 1
fi
