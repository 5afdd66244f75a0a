#!/usr/bin/env bash
# Runs the demo under a private X server (Xvfb) and saves the main window,
# once the demo's check has filled the list and the log, as a PNG.
#   scripts/screenshot.sh [output.png]     (default docs/veltomail-demo.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/veltomail-demo.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
rm -f "$out"
VELTOMAIL_SCREENSHOT="$out" timeout 120 \
  xvfb-run -a -s "-screen 0 1280x900x24 -nolisten tcp" scripts/demo.sh
[ -s "$out" ] || { echo "screenshot: no picture was saved" >&2; exit 1; }
echo "screenshot: $out"
