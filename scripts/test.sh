#!/usr/bin/env bash
# Builds and runs every test.
#   scripts/test.sh          normal build in build/
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#                            (same as VELLORA_SANITIZE=1 scripts/test.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode="${1:-}"
if [ -z "$mode" ] && [ "${VELLORA_SANITIZE:-0}" = "1" ]; then
  mode=asan
fi

case "$mode" in
  "")
    build="${VELLORA_BUILD_DIR:-$root/build}"
    # The flags of scripts/setup.sh, which builds in the same folder.
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_WERROR=ON
    ;;
  asan)
    build="${VELLORA_ASAN_BUILD_DIR:-$root/build-asan}"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_WERROR=ON \
      -DVELLORA_SANITIZE=address,undefined -DVELLORA_BUILD_BENCH=OFF
    # Full unwinding on malloc: libstdc++ has no frame pointers, so a leak through
    # it would show two frames and no suppression could name its origin.
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0"
    export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    ;;
  *)
    echo "test.sh: unknown mode '$mode' (expected nothing or 'asan')" >&2
    exit 2
    ;;
esac

cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
