#!/usr/bin/env bash
# What the frei0r filter vellora.so adds per 4K frame in real hosts, against
# Debian's frei0r alphaspot (a tilted soft spot), both over the same pipeline
# with no filter, measured side by side in one run, interleaved:
#   static:   ffmpeg, values fixed. alphaspot draws its mask once and replays
#             it; Vellora renders every frame. Target: Vellora adds no more
#             time per frame than alphaspot adds (ratio <= 1.00).
#   animated: melt, the size keyframed over the clip, so every frame's mask
#             differs and alphaspot redraws it. Target: Vellora's frame costs
#             at most 0.25 of alphaspot's.
# Usage: bench/frei0r_vs_alphaspot.sh [BUILD_DIR] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-5}"
filter_dir="$build/frei0r-1"
system_dir=/usr/lib/frei0r-1
[ -f "$filter_dir/vellora.so" ] || { echo "frei0r_vs_alphaspot: no vellora.so in '$filter_dir' (build first)" >&2; exit 1; }
for program in ffmpeg melt; do
    command -v "$program" >/dev/null || { echo "frei0r_vs_alphaspot: $program is not installed" >&2; exit 1; }
done
[ -f "$system_dir/alphaspot.so" ] || { echo "frei0r_vs_alphaspot: alphaspot is not installed (apt-get install frei0r-plugins)" >&2; exit 1; }
# Both folders: a FREI0R_PATH without the system's makes melt drop alphaspot without a word.
export FREI0R_PATH="$filter_dir:$system_dir"

frames=60
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/uhd.profile" <<EOF
description=3840x2160 30 fps
width=3840
height=2160
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=16
display_aspect_den=9
frame_rate_num=30
frame_rate_den=1
colorspace=709
EOF

# Vellora: a 1920x1080 ellipse at 36 degrees with a 384-pixel feather (0.1 of
# the width); alphaspot: a tilted spot half the frame across.
ffmpeg_source="testsrc2=s=3840x2160:r=30:d=2"
declare -A ffmpeg_filters=(
    [none]="format=rgba"
    [alphaspot]="format=rgba,frei0r=alphaspot:0.3|0.5|0.5|0.5|0.5|0.6|0.2|0|1|0"
    [vellora]="format=rgba,frei0r=vellora:0|0.9|0.5|0.5|0.5|0.5|0.1|0.1|1|n|0"
)
declare -A melt_filters=(
    [none]=""
    [alphaspot]="-filter frei0r.alphaspot 0=0.3 3=0=0.2;59=0.6 4=0.5 5=0.6 6=0.2 7=0 8=1 9=0"
    [vellora]="-filter frei0r.vellora width=0=0.3;59=0.7 height=0.5 angle=0.1 feather=0.1"
)
order=(none alphaspot vellora)

# Wall and CPU (user + system) seconds of one ffmpeg pipeline, as its -benchmark reports them.
run_ffmpeg() {
    local out
    out=$(ffmpeg -hide_banner -nostdin -nostats -benchmark -f lavfi -i "$ffmpeg_source" -vf "${ffmpeg_filters[$1]}" \
        -f null - 2>&1) || { echo "frei0r_vs_alphaspot: the ffmpeg '$1' pipeline failed:" >&2; echo "$out" >&2; exit 1; }
    sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s.*/\3 \1 \2/p' <<<"$out" |
        awk '{print $1, $2 + $3}'
}

# The same for one melt pipeline, a colour clip through the filter into raw frames nobody keeps.
run_melt() {
    local filter out
    read -r -a filter <<<"${melt_filters[$1]}"
    out=$( { /usr/bin/time -f "TIMES %e %U %S" melt -quiet -profile "$work/uhd.profile" color:0x8040c0ff \
        out=$((frames - 1)) "${filter[@]}" -consumer avformat:/dev/null f=rawvideo vcodec=rawvideo pix_fmt=rgba \
        an=1 real_time=-1 terminate_on_pause=1 </dev/null; } 2>&1) ||
        { echo "frei0r_vs_alphaspot: the melt '$1' pipeline failed:" >&2; echo "$out" >&2; exit 1; }
    sed -n 's/^TIMES \([0-9.]*\) \([0-9.]*\) \([0-9.]*\)$/\1 \2 \3/p' <<<"$out" | awk '{print $1, $2 + $3}'
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Median milliseconds per frame of a list of seconds.
per_frame() { tr ' ' '\n' <<<"$1" | grep . | median | awk -v f="$frames" '{printf "%.2f", 1000 * $1 / f}'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a - b}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b <= 0) print "n/a"; else printf "%.2f", a / b}'; }

declare -A wall cpu
for _ in $(seq "$runs"); do
    # Interleaved, so drift in the machine's load reaches every pipeline alike.
    for host in ffmpeg melt; do
        for name in "${order[@]}"; do
            read -r w c < <("run_$host" "$name")
            wall[$host.$name]+="$w "
            cpu[$host.$name]+="$c "
            printf '.' >&2
        done
    done
done
echo >&2

echo "3840x2160 RGBA, $frames frames, median of $runs runs, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
declare -A added_wall added_cpu
for host in ffmpeg melt; do
    case $host in
        ffmpeg) echo "static (ffmpeg, values fixed):" ;;
        melt) echo "animated (melt, size keyframed):" ;;
    esac
    printf '  %-10s %10s %10s %10s %10s\n' pipeline "wall ms" "added" "CPU ms" "added"
    for name in "${order[@]}"; do
        w=$(per_frame "${wall[$host.$name]}")
        c=$(per_frame "${cpu[$host.$name]}")
        added_wall[$host.$name]=$(minus "$w" "$(per_frame "${wall[$host.none]}")")
        added_cpu[$host.$name]=$(minus "$c" "$(per_frame "${cpu[$host.none]}")")
        printf '  %-10s %10s %10s %10s %10s\n' "$name" "$w" "${added_wall[$host.$name]}" "$c" "${added_cpu[$host.$name]}"
    done
done
echo "static: vellora adds $(ratio "${added_wall[ffmpeg.vellora]}" "${added_wall[ffmpeg.alphaspot]}") of the wall time" \
    "alphaspot adds (target: at most 1.00), $(ratio "${added_cpu[ffmpeg.vellora]}" "${added_cpu[ffmpeg.alphaspot]}") of its CPU time"
echo "animated: vellora's frame costs $(ratio "${added_wall[melt.vellora]}" "${added_wall[melt.alphaspot]}") of" \
    "alphaspot's in wall time (target: at most 0.25), $(ratio "${added_cpu[melt.vellora]}" "${added_cpu[melt.alphaspot]}") in CPU time" \
    "(vellora renders on every core, alphaspot on one)"
