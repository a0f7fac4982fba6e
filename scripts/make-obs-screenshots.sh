#!/usr/bin/env bash
# Takes the OBS screenshots of docs/obs.md: OBS Studio under Xvfb with a masked
# image source (docs/obs-main.png) and the filter's properties in the source's
# filters dialog (docs/obs-filter-dialog.png). The test that opens them keeps
# them in BUILD/screenshots; this copies them into docs/.
#   scripts/make-obs-screenshots.sh [BUILD]   (default build/, built)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
"$build/bin/vellora_tests" --gtest_filter='ObsStudioXvfb.ShowsTheMaskedSourceAndItsProperties' >/dev/null ||
  { echo "make-obs-screenshots: the OBS test failed (run it alone to see why)" >&2; exit 1; }
for name in obs-main obs-filter-dialog; do
  cp "$build/screenshots/$name.png" "$root/docs/$name.png"
  echo "docs/$name.png"
done
