#!/usr/bin/env bash
# Runs a Windows program under Wine and exits with the program's exit code.
#
#   tools/wine-run.sh program.exe [arguments...]
#
# The Wine prefix is ORFA_WINEPREFIX when set; otherwise "wine-prefix" in the
# build folder that holds the program (the nearest folder upwards with a
# CMakeCache.txt), else beside the program. A missing prefix is created once
# (64-bit, without the Mono and Gecko install prompts); several runs at once
# share it safely. Without a DISPLAY the program runs under xvfb-run -a.
# ORFA_WINE_LOADER names the Wine loader (default: wine; a 64-bit build of the
# program runs under /usr/lib/wine/wine64). Fails, saying why, where that
# loader cannot start: on a machine whose kernel runs no 32-bit programs,
# tools/setup.sh registers qemu-user for Wine's 32-bit loader.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi
program=$1
shift
if [ ! -f "$program" ]; then
  echo "$0: no such program: $program" >&2
  exit 2
fi
program_dir=$(cd "$(dirname "$program")" && pwd)

default_prefix() {
  local dir=$program_dir
  while [ "$dir" != / ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      echo "$dir/wine-prefix"
      return
    fi
    dir=$(dirname "$dir")
  done
  echo "$program_dir/wine-prefix"
}

# Wine's 32-bit loader is a 32-bit Linux program: where the kernel runs no
# 32-bit programs, only an emulator registered for them starts it.
loader=${ORFA_WINE_LOADER:-wine}
if ! probe=$("$loader" --version 2>&1); then
  echo "wine-run: cannot run: $loader does not start here (${probe##*$'\n'});" \
       "tools/setup.sh makes Wine's 32-bit loader run through qemu-user" >&2
  exit 1
fi
export ORFA_WINE_LOADER=$loader

export WINEPREFIX=${ORFA_WINEPREFIX:-$(default_prefix)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Create the prefix once; a lock keeps parallel runs from racing on it.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run: creating the prefix $WINEPREFIX" >&2
    if ! WINEARCH=${WINEARCH:-win64} "$loader" wineboot -i >/dev/null 2>&1 || ! wineserver -w; then
      echo "wine-run: could not create the prefix $WINEPREFIX" >&2
      exit 1
    fi
  fi
) 9>"$WINEPREFIX.lock"
# The share \\localhost\orfa is the prefix's drive C:, as Wine maps UNC
# paths (the contract cases reach their folders through it too).
mkdir -p "$WINEPREFIX/dosdevices/unc/localhost"
ln -sfn ../../../drive_c "$WINEPREFIX/dosdevices/unc/localhost/orfa"

# The program, then a wait until Wine's own processes have ended, so that the
# prefix is saved and no Wine process loses its display halfway.
run='"$ORFA_WINE_LOADER" "$@"; rc=$?; wineserver -w; exit $rc'
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a bash -c "$run" wine-run "$program" "$@"
else
  exec bash -c "$run" wine-run "$program" "$@"
fi
