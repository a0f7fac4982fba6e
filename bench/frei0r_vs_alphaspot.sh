#!/usr/bin/env bash
# What the frei0r filter vellora.so adds to an ffmpeg pipeline per 4K frame,
# against what Debian's frei0r alphaspot (a tilted soft spot half the frame
# wide) adds, both over the same pipeline with no filter, measured side by side
# in one run. Target: Vellora adds at most 0.7 of what alphaspot adds.
# Usage: bench/frei0r_vs_alphaspot.sh [BUILD_DIR] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-5}"
filter_dir="$build/frei0r-1"
[ -f "$filter_dir/vellora.so" ] || { echo "frei0r_vs_alphaspot: no vellora.so in '$filter_dir' (build first)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "frei0r_vs_alphaspot: ffmpeg is not installed" >&2; exit 1; }
[ -f /usr/lib/frei0r-1/alphaspot.so ] || { echo "frei0r_vs_alphaspot: alphaspot is not installed (apt-get install frei0r-plugins)" >&2; exit 1; }
export FREI0R_PATH="$filter_dir"

frames=60
source="testsrc2=s=3840x2160:r=30:d=2"
declare -A filters=(
    [none]="format=rgba"
    [alphaspot]="format=rgba,frei0r=alphaspot:0.3|0.5|0.5|0.5|0.5|0.6|0.2|0|1|0"
    [vellora]="format=rgba,frei0r=vellora:0|0.9|0.5|0.5|0.5|0.5|0.1|0.1|1|n|0"
)
order=(none alphaspot vellora)

# Wall time of one pipeline in seconds, as ffmpeg's -benchmark reports it.
run() {
    local out
    out=$(ffmpeg -hide_banner -nostdin -nostats -benchmark -f lavfi -i "$source" -vf "${filters[$1]}" \
        -f null - 2>&1) || { echo "frei0r_vs_alphaspot: the '$1' pipeline failed:" >&2; echo "$out" >&2; exit 1; }
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' <<<"$out"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A times
for _ in $(seq "$runs"); do
    # Interleaved, so drift in the machine's load reaches every pipeline alike.
    for name in "${order[@]}"; do
        times[$name]+="$(run "$name") "
        printf '.' >&2
    done
done
echo >&2

declare -A ms
for name in "${order[@]}"; do
    ms[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | grep . | median | awk -v f="$frames" '{printf "%.2f", 1000 * $1 / f}')
done
added_spot=$(awk -v a="${ms[alphaspot]}" -v n="${ms[none]}" 'BEGIN {printf "%.2f", a - n}')
added_vellora=$(awk -v a="${ms[vellora]}" -v n="${ms[none]}" 'BEGIN {printf "%.2f", a - n}')
ratio=$(awk -v v="$added_vellora" -v s="$added_spot" 'BEGIN {if (s <= 0) print "n/a"; else printf "%.2f", v / s}')

echo "3840x2160 RGBA, $frames frames, median of $runs runs, $(nproc) cores"
printf '%-10s %12s %14s\n' pipeline "ms/frame" "added ms/frame"
printf '%-10s %12s %14s\n' none "${ms[none]}" "-"
printf '%-10s %12s %14s\n' alphaspot "${ms[alphaspot]}" "$added_spot"
printf '%-10s %12s %14s\n' vellora "${ms[vellora]}" "$added_vellora"
echo "vellora adds $ratio of what alphaspot adds (target: at most 0.70)"
