#!/usr/bin/env bash
# One step from a fresh Debian 12 checkout to a running Vellora: installs what is
# missing, builds (Ninja, two jobs) and runs the main job.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELLORA_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"
# The flags of scripts/test.sh, so that running it next reuses this build instead of
# reconfiguring and rebuilding everything.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_WERROR=ON
cmake --build "$build" -j2

# The main job: the built-in test card through the effect, with a soft elliptic mask.
"$build/bin/vellora" render testcard: "$root/demo.png" --width 760 --height 460 --feather 150 --falloff gaussian && echo "vellora: wrote $root/demo.png"
