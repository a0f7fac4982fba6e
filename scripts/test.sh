#!/usr/bin/env bash
# Builds and runs every test, with a preset of CMakePresets.json.
#   scripts/test.sh          the default preset, in build/ (VELLORA_BUILD_DIR to move it)
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#                            (same as VELLORA_SANITIZE=1 scripts/test.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode="${1:-}"
if [ -z "$mode" ] && [ "${VELLORA_SANITIZE:-0}" = "1" ]; then
  mode=asan
fi

case "$mode" in
  "")
    preset=default
    build="${VELLORA_BUILD_DIR:-$root/build}"
    ;;
  asan)
    preset=asan
    build="${VELLORA_ASAN_BUILD_DIR:-$root/build-asan}"
    source "$root/scripts/sanitizer-env.sh"
    ;;
  *)
    echo "test.sh: unknown mode '$mode' (expected nothing or 'asan')" >&2
    exit 2
    ;;
esac

(cd "$root" && cmake --preset "$preset" -B "$build")
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
