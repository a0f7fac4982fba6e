# Sourced by the benchmark scripts: the build they time, the tools they need
# and a scratch folder removed on exit.
# bench_init NAME [BUILD_DIR] sets root, build, vellora and work.
bench_init() {
    bench_name="$1"
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    build="${2:-$root/build}"
    vellora="$build/bin/vellora"
    [ -x "$vellora" ] || bench_fail "no vellora in '$build/bin' (build first)"
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
}

bench_fail() { echo "$bench_name: $*" >&2; exit 1; }

# bench_need PROGRAM PACKAGE...: each program on the PATH, or which package has it.
bench_need() {
    while [ $# -ge 2 ]; do
        command -v "$1" >/dev/null || bench_fail "$1 is not installed (apt-get install $2)"
        shift 2
    done
}
