#!/usr/bin/env bash
# Remakes the README's pictures in docs/: the effect's result on the test card
# (docs/demo.png) and the `vellora view` window with its overlay and controls
# (docs/view.png), captured from an X server of its own (Xvfb) with ffmpeg.
# Usage: scripts/make-docs-images.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
vellora="$build/bin/vellora"
docs="$root/docs"
[ -x "$vellora" ] || { echo "make-docs-images: no vellora in '$build/bin' (build first)" >&2; exit 1; }
for tool in xvfb-run xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "make-docs-images: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

# The mask both pictures show: a tilted soft ellipse on the 960x540 card.
mask=(--width 570 --height 345 --angle -12 --feather 110 --falloff gaussian)

if [ "${1:-}" != "--in-x" ] && [ "${2:-}" != "--in-x" ]; then
  mkdir -p "$docs"
  "$vellora" render testcard:960x540 "$docs/demo.png" -q "${mask[@]}"
  echo "make-docs-images: wrote $docs/demo.png"
  # Run again inside an X server of our own.
  exec xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" "$0" "$build" --in-x
fi

work="$(mktemp -d)"
view_pid=""
cleanup() {
  if [ -n "$view_pid" ] && kill -0 "$view_pid" 2>/dev/null; then kill "$view_pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/report"
"$vellora" view testcard:960x540 --size 1400x800 --report "${mask[@]}" >"$work/report" 2>"$work/stderr" &
view_pid=$!
exec 3<"$work/report"
if ! read -r -t 30 ready <&3; then
  echo "make-docs-images: the window did not open: $(cat "$work/stderr")" >&2
  exit 1
fi
window="$(xdotool search --sync --name '^vellora view' | head -1)"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT

# The pointer on the bottom-right corner handle, as if about to drag it: the
# mask's corner turned by its angle about the centre, where the report says
# the picture is shown.
read -r hx hy < <(python3 -c '
import json, math, sys
r = json.loads(sys.argv[1])
a = math.radians(-12)
x = 480 + 285 * math.cos(a) - 172.5 * math.sin(a)
y = 270 + 285 * math.sin(a) + 172.5 * math.cos(a)
print(round(r["origin"][0] + r["zoom"] * x), round(r["origin"][1] + r["zoom"] * y))' "$ready")
xdotool mousemove --window "$window" "$hx" "$hy" sleep 0.5
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${WIDTH}x${HEIGHT}" -i "$DISPLAY+$X,$Y" \
  -frames:v 1 "$docs/view.png"
xdotool key --window "$window" ctrl+q
wait "$view_pid" || true
view_pid=""
echo "make-docs-images: wrote $docs/view.png"
