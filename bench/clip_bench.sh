#!/usr/bin/env bash
# A clip through `vellora render`: 60 frames of 1920x1080 16-bit TIFF under an
# animated Gaussian band (keyed width, height, feather, angle and origin), in
# frames a second, against the same 60 frames as 60 single-frame renders and
# against one `oiiotool` command copying the 60-frame sequence, in the same run.
# Targets: the clip at least 5x faster than the single renders, and within
# 1.5x of oiiotool's copy.
# Usage: bench/clip_bench.sh [BUILD_DIR] [RUNS]   (about 2 GB of disk in /tmp)
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/bench-lib.sh"
bench_init clip_bench "${1:-}"
bench_need oiiotool openimageio-tools
runs="${2:-3}"

frames=60

# The sequence: the test card at 16 bits, each frame its own file.
"$vellora" render testcard:1920x1080 "$work/card.tif" --depth 16 --mode add --width 0 -q
for f in $(seq 1 $frames); do cp "$work/card.tif" "$(printf '%s/in.%04d.tif' "$work" "$f")"; done

# The band: keys at the first and last frame, Gaussian falloff throughout.
cat >"$work/keys.json" <<'EOF'
{"width":   [{"frame": 1, "value": 400},        {"frame": 60, "value": 1600}],
 "height":  [{"frame": 1, "value": 300},        {"frame": 60, "value": 900}],
 "feather": [{"frame": 1, "value": 150},        {"frame": 60, "value": 400}],
 "angle":   [{"frame": 1, "value": 0},          {"frame": 60, "value": 90}],
 "origin":  [{"frame": 1, "value": [480, 540]}, {"frame": 60, "value": [1440, 540]}]}
EOF
# The same values frame by frame, as options of single renders.
singles="$work/singles.sh"
awk -v n=$frames -v dir="$work" -v vellora="$vellora" 'BEGIN {
    for (f = 1; f <= n; ++f) {
        t = (f - 1) / (n - 1)
        printf "\"%s\" render %s/in.%04d.tif %s/single.%04d.tif -q --falloff gaussian --width %.17g --height %.17g --feather %.17g --angle %.17g --origin %.17g,%.17g\n",
            vellora, dir, f, dir, f, 400 + 1200 * t, 300 + 600 * t, 150 + 250 * t, 90 * t, 480 + 960 * t, 540
    }
}' >"$singles"

clip=("$vellora" render "$work/in.%04d.tif" "$work/out.%04d.tif" --keys "$work/keys.json" --falloff gaussian -q)
copy=(oiiotool "$work/in.%04d.tif" -o "$work/copy.%04d.tif")

# Median wall time of a command over $runs runs, in seconds.
median() {
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || { echo "clip_bench: failed: $*" >&2; exit 1; }
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc)")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

# Taken in turn, so a machine that slows down during the run weighs on all three alike.
t_clip=$(median "${clip[@]}")
t_singles=$(median sh "$singles")
t_copy=$(median "${copy[@]}")

cmp -s "$work/out.0030.tif" "$work/single.0030.tif" || echo "clip_bench: warning: the clip's frame 30 differs from its single render" >&2

printf '%-44s %9s %9s %10s\n' "60 frames 1920x1080 16-bit TIFF" seconds fps "vs clip"
row() { printf '%-44s %8.2fs %9.1f %9.2fx\n' "$1" "$2" "$(echo "$frames / $2" | bc -l)" "$(echo "$2 / $t_clip" | bc -l)"; }
row "vellora render (clip, keyed band)" "$t_clip"
row "60 single vellora render runs" "$t_singles"
row "oiiotool copying the sequence" "$t_copy"
echo "targets: single runs / clip >= 5 ($(printf '%.2f' "$(echo "$t_singles / $t_clip" | bc -l)")); clip / oiiotool <= 1.5 ($(printf '%.2f' "$(echo "$t_clip / $t_copy" | bc -l)"))"
