#!/usr/bin/env bash
# Peak resident memory of `vellora render` (8-bit and float), `overlay` and
# `drag --out` on 7680x4320 frames, as copies of one frame at the working
# depth above a floor: the same command on a 16x16 file, in the same run, so
# the libraries' own memory is not counted. Targets: render at most 2.2
# copies, overlay and drag at most 3 (of the 8-bit frame). A clip of 3840x2160
# 16-bit TIFF frames: at most 2.25 copies a frame in flight (its two worlds,
# and the 16-bit file's lowest bits kept aside, one byte a pixel: 1/8 of a frame).
# Usage: bench/memory.sh [BUILD_DIR]   (about a minute and 2.5 GB of memory)
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/bench-lib.sh"
bench_init memory "${1:-}"
bench_need oiiotool openimageio-tools /usr/bin/time time

w=7680
h=4320
# Noise, so no codec shortcut hides a copy.
oiiotool --pattern noise:type=uniform:min=0:max=1 ${w}x${h} 4 -d uint8 -o "$work/big8.png"
oiiotool --pattern noise:type=uniform:min=0:max=1 ${w}x${h} 4 -d float -o "$work/bigf.exr"
oiiotool --pattern noise:type=uniform:min=0:max=1 16x16 4 -d uint8 -o "$work/small8.png"
oiiotool --pattern noise:type=uniform:min=0:max=1 16x16 4 -d float -o "$work/smallf.exr"
oiiotool --pattern noise:type=uniform:min=0:max=1 3840x2160 4 -d uint16 -o "$work/clip.tif"
oiiotool --pattern noise:type=uniform:min=0:max=1 16x16 4 -d uint16 -o "$work/tiny.tif"
for f in 1 2 3 4 5 6 7 8; do
    cp "$work/clip.tif" "$(printf '%s/big16.%04d.tif' "$work" $f)"
    cp "$work/tiny.tif" "$(printf '%s/small16.%04d.tif' "$work" $f)"
done

# Peak resident set of a command, in kB.
peak() {
    /usr/bin/time -o "$work/time" -f %M "$@" >/dev/null 2>&1 || { echo "memory: failed: $*" >&2; exit 1; }
    cat "$work/time"
}

printf '%-44s %10s %10s %8s %8s\n' command "peak MB" "floor MB" copies target
status=0
measure() {  # name, bytes of one frame, target copies, command with SIZE for big/small
    local name="$1" frame="$2" target="$3"
    shift 3
    local big=() small=()
    for arg in "$@"; do big+=("${arg//SIZE/big}"); small+=("${arg//SIZE/small}"); done
    local top floor
    top=$(peak "$vellora" "${big[@]}")
    floor=$(peak "$vellora" "${small[@]}")
    local copies
    copies=$(echo "($top - $floor) * 1024 / $frame" | bc -l)
    printf '%-44s %10.0f %10.0f %8.2f %8s\n' "$name" "$(echo "$top / 1024" | bc -l)" \
        "$(echo "$floor / 1024" | bc -l)" "$copies" "$target"
    if [ "$(echo "$copies > $target" | bc -l)" = 1 ]; then status=1; fi
}

frame8=$((w * h * 4))
framef=$((w * h * 16))
measure "render 8-bit PNG" $frame8 2.2 render "$work/SIZE8.png" "$work/out.png" -q
measure "render float EXR (premiere)" $framef 2.2 render "$work/SIZEf.exr" "$work/out.exr" --host premiere -q
measure "overlay 8-bit PNG" $frame8 3 overlay "$work/SIZE8.png" "$work/view.png" -q
measure "drag --out 8-bit PNG" $frame8 3 drag "$work/SIZE8.png" --from 10,10 --to 20,20 --out "$work/view.png" -q
# Working depth of a 16-bit clip: After Effects' 16-bit world, 8 bytes a pixel.
frame16=$((3840 * 2160 * 8))
for jobs in 1 2 4; do
    measure "render 4K 16-bit TIFF clip, --jobs $jobs" $((frame16 * jobs)) 2.25 render "$work/SIZE16.%04d.tif" \
        "$work/clip.%04d.tif" --jobs $jobs --threads 1 --feather 300 -q
done
[ $status = 0 ] || echo "memory: above target (see copies)"
exit 0
