#!/usr/bin/env bash
# Runs the progress-window and console-capture checks under Wine on a virtual
# screen, and takes a screenshot while the progress window is shown.
#
#   run-sysui-checks.sh wine-run.sh checks.exe output-folder
set -euo pipefail

wine_run=$1
program=$2
out=$3

if [ -z "${ORFA_SYSUI_UNDER_XVFB:-}" ]; then
  export ORFA_SYSUI_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

mkdir -p "$out"
ready=$out/window-shown
go=$out/screenshot-taken
shot=$out/progress-window.png
rm -f "$ready" "$go" "$shot"

# Wine sees the Unix root as drive Z:.
winpath() { echo "Z:${1//\//\\}"; }

bash "$wine_run" "$program" "$(winpath "$ready")" "$(winpath "$go")" &
checks=$!

# The first run may create the Wine prefix, which takes a while.
for _ in $(seq 1 1200); do
  [ -e "$ready" ] && break
  kill -0 "$checks" 2>/dev/null || break
  sleep 0.1
done
if [ -e "$ready" ]; then
  sleep 0.5  # let the window paint
  import -window root "$shot" && echo "screenshot: $shot"
else
  echo "the progress window was not shown: no screenshot" >&2
fi
touch "$go"

status=0
wait "$checks" || status=$?
exit "$status"
