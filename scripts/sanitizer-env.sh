# Sourced by scripts/test.sh and .ci/run: how the sanitizer builds report.
# Full unwinding on malloc: libstdc++ has no frame pointers, so a leak through
# it would show two frames and no suppression could name its origin.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
