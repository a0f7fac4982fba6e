#!/usr/bin/env bash
# The window's speed at 1920x1080 under an X server of its own (Xvfb, Mesa's
# llvmpipe): build/bin/vellora_view_bench with any Google Benchmark options.
# Usage: bench/view_bench.sh [BUILD_DIR] [BENCHMARK OPTIONS...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true
bench="$build/bin/vellora_view_bench"
[ -x "$bench" ] || { echo "view_bench: no vellora_view_bench in '$build/bin' (build first)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "view_bench: xvfb-run is not installed (apt-get install xvfb xauth)" >&2; exit 1; }

exec xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp" "$bench" "$@"
