#!/usr/bin/env bash
# One step from a fresh Debian 12 checkout to a running Vellora: installs what is
# missing, builds the default preset (Ninja, two jobs) and runs the main job.
# VELLORA_BUILD_DIR builds elsewhere than build/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELLORA_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"
# The preset scripts/test.sh configures too, so running it next reuses this build.
(cd "$root" && cmake --preset default -B "$build")
cmake --build "$build" -j2

# The main job: the built-in test card through the effect, with a soft elliptic mask.
"$build/bin/vellora" render testcard: "$root/demo.png" --width 760 --height 460 --feather 150 --falloff gaussian && echo "vellora: wrote $root/demo.png"
