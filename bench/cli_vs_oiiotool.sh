#!/usr/bin/env bash
# Whole-process speed of `vellora render` on a 4K PNG against
# `oiiotool IN.png -o OUT.png` on the same file (target: within 1.10x).
# Usage: bench/cli_vs_oiiotool.sh [BUILD_DIR] [RUNS]
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/bench-lib.sh"
bench_init cli_vs_oiiotool "${1:-}"
bench_need oiiotool openimageio-tools
runs="${2:-7}"

# Two 4K inputs: the test card (smooth, compresses well) and uniform noise
# (compresses badly, so decoding and encoding weigh more).
"$vellora" render testcard:3840x2160 "$work/card.png" --mode add --width 0 -q
oiiotool --pattern noise:type=uniform:min=0:max=1 3840x2160 4 -d uint8 -o "$work/noise.png"

# Median wall time of a command over $runs runs, in seconds.
median() {
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc)")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

printf '%-8s %-58s %10s %10s %8s\n' input "vellora render options" oiiotool vellora ratio
for input in card noise; do
    in="$work/$input.png"
    for opts in "" "--width 2400 --height 1600 --feather 400 --falloff gaussian"; do
        if command -v hyperfine >/dev/null; then
            hyperfine -N -w 1 -r "$runs" --export-json "$work/h.json" \
                "oiiotool $in -o $work/o.png" "$vellora render $in $work/v.png -q $opts" >/dev/null
            read -r t_oiio t_vellora < <(python3 -c "import json;r=json.load(open('$work/h.json'))['results'];print(r[0]['median'],r[1]['median'])")
        else
            t_oiio=$(median oiiotool "$in" -o "$work/o.png")
            # shellcheck disable=SC2086
            t_vellora=$(median "$vellora" render "$in" "$work/v.png" -q $opts)
        fi
        printf '%-8s %-58s %9.3fs %9.3fs %7.2fx\n' "$input" "${opts:-(defaults)}" "$t_oiio" "$t_vellora" \
            "$(echo "$t_vellora / $t_oiio" | bc -l)"
    done
done
