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

# Wall and CPU (user + system) seconds of one pipeline, as ffmpeg's -benchmark reports them.
run() {
    local out
    out=$(ffmpeg -hide_banner -nostdin -nostats -benchmark -f lavfi -i "$source" -vf "${filters[$1]}" \
        -f null - 2>&1) || { echo "frei0r_vs_alphaspot: the '$1' pipeline failed:" >&2; echo "$out" >&2; exit 1; }
    sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s.*/\3 \1 \2/p' <<<"$out" |
        awk '{print $1, $2 + $3}'
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A wall cpu
for _ in $(seq "$runs"); do
    # Interleaved, so drift in the machine's load reaches every pipeline alike.
    for name in "${order[@]}"; do
        read -r w c < <(run "$name")
        wall[$name]+="$w "
        cpu[$name]+="$c "
        printf '.' >&2
    done
done
echo >&2

# Median milliseconds per frame of a list of seconds.
per_frame() { tr ' ' '\n' <<<"$1" | grep . | median | awk -v f="$frames" '{printf "%.2f", 1000 * $1 / f}'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a - b}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b <= 0) print "n/a"; else printf "%.2f", a / b}'; }

echo "3840x2160 RGBA, $frames frames, median of $runs runs, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
printf '%-10s %10s %10s %10s %10s\n' pipeline "wall ms" "added" "CPU ms" "added"
declare -A added_wall added_cpu
for name in "${order[@]}"; do
    w=$(per_frame "${wall[$name]}")
    c=$(per_frame "${cpu[$name]}")
    added_wall[$name]=$(minus "$w" "$(per_frame "${wall[none]}")")
    added_cpu[$name]=$(minus "$c" "$(per_frame "${cpu[none]}")")
    printf '%-10s %10s %10s %10s %10s\n' "$name" "$w" "${added_wall[$name]}" "$c" "${added_cpu[$name]}"
done
echo "vellora adds $(ratio "${added_wall[vellora]}" "${added_wall[alphaspot]}") of the wall time alphaspot adds" \
    "(target: at most 0.70), $(ratio "${added_cpu[vellora]}" "${added_cpu[alphaspot]}") of its CPU time" \
    "(vellora renders on every core, alphaspot on one)"
