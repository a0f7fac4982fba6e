#!/usr/bin/env bash
# Runs one fuzz target for a while, as CI does but as long as you like:
#   fuzz/run.sh NAME SECONDS [libFuzzer flags...]
# NAME is entry, params, keys, image, frei0r or mlt (build them first with
# `cmake --preset fuzz && cmake --build --preset fuzz --target vellora_fuzz_all`).
# What the run learns is kept in build-fuzz/fuzz/NAME-corpus, so the next run
# goes on from there; fuzz/corpus/NAME, the committed seeds, is only read.
# A finding is written to build-fuzz/fuzz/NAME-findings/ and the run fails;
# copy it into fuzz/corpus/NAME under a name saying what it found, so the
# test suite replays it. Ends with executions, executions a second and
# coverage (the instrumented edges reached, "cov", and features, "ft").
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
name="${1:?usage: fuzz/run.sh NAME SECONDS [libFuzzer flags...]}"
seconds="${2:?usage: fuzz/run.sh NAME SECONDS [libFuzzer flags...]}"
shift 2
build="${VELLORA_FUZZ_BUILD:-$root/build-fuzz}"
program="$build/bin/vellora_fuzz_$name"
[ -x "$program" ] || { echo "fuzz/run.sh: no '$program'; build it with the fuzz preset" >&2; exit 2; }
[ -d "$root/fuzz/corpus/$name" ] || { echo "fuzz/run.sh: no seeds in fuzz/corpus/$name" >&2; exit 2; }

source "$root/scripts/sanitizer-env.sh"
# Freed blocks held back for use-after-free checks, kept small: OpenEXR
# allocates a header string of whatever length a file claims, and a few such
# blocks in quarantine would pass the memory limit below.
export ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=64"
# Full unwinding at every allocation, which suppressions by the image
# library's frames need, costs the other targets four fifths of their speed.
[ "$name" = image ] || export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=1"

corpus="$build/fuzz/$name-corpus"
findings="$build/fuzz/$name-findings"
log="$build/fuzz/$name.log"
mkdir -p "$corpus" "$findings"
set +e
# An input that takes a minute is a hang: a finding, not a wait of libFuzzer's default 20 minutes.
"$program" -max_total_time="$seconds" -print_final_stats=1 -timeout=60 -rss_limit_mb=4096 -malloc_limit_mb=4096 \
  -dict="$build/fuzz/$name.dict" -artifact_prefix="$findings/" "$@" "$corpus" "$root/fuzz/corpus/$name" >"$log" 2>&1
rc=$?
set -e
done_line="$(grep -a -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)"
executions="$(grep -a -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)"
rate="$(grep -a -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)"
coverage="$(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$done_line" || echo 'cov: ? ft: ?')"
echo "fuzz $name: ${seconds} s, $executions executions, $rate a second, $coverage, $(ls "$corpus" | wc -l) inputs learned"
if [ "$rc" -ne 0 ]; then
  grep -a -E '^vellora_fuzz_|ERROR|SUMMARY|Assertion' "$log" | head -20 >&2 || true
  echo "fuzz $name: a finding (exit $rc): $(ls "$findings" | tr '\n' ' ')(log: $log)" >&2
  exit 1
fi
