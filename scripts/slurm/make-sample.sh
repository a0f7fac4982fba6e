#!/bin/bash
# Sample inputs for docs/slurm.md: 60 frames of 1920x1080 16-bit TIFF (a test
# card under a moving mask, rendered by vellora itself) and keys.json, whose
# keys move the mask, change the falloff and switch invert across the clip.
# Usage: make-sample.sh FOLDER [FRAMES] [WIDTHxHEIGHT]
set -euo pipefail
folder=${1:?usage: make-sample.sh FOLDER [FRAMES] [WIDTHxHEIGHT]}
frames=${2:-60}
size=${3:-1920x1080}
if ! command -v vellora >/dev/null; then
    echo "make-sample.sh: vellora is not on PATH; see docs/slurm.md" >&2
    exit 2
fi
mkdir -p "$folder"
cd "$folder"
width=${size%x*}
height=${size#*x}

# The inputs: the test card, its alpha cut by an ellipse that crosses the frame.
cat > .sample-move.json <<JSON
{"origin": [{"frame": 1, "value": [$((width / 5)), $((height / 2))]},
            {"frame": $frames, "value": [$((width * 4 / 5)), $((height / 2))]}],
 "width": [{"frame": 1, "value": $((width / 3))}, {"frame": $frames, "value": $((width / 2))}]}
JSON
vellora render "testcard:$size" 'in.####.tif' --frames "1-$frames" --depth 16 \
    --mode intersect --height $((height * 2 / 3)) --feather 40 --keys .sample-move.json -q
rm .sample-move.json

# The job's keys: a rectangle that turns and widens, a falloff that changes
# half-way and an invert switched on for the last third.
cat > keys.json <<JSON
{"mask_type": [{"frame": 1, "value": "rectangle"}],
 "angle": [{"frame": 1, "value": 0}, {"frame": $frames, "value": 90}],
 "width": [{"frame": 1, "value": $((width / 4))}, {"frame": $frames, "value": $((width * 3 / 4))}],
 "feather": [{"frame": 1, "value": 60}],
 "falloff": [{"frame": 1, "value": "linear"}, {"frame": $((frames / 2 + 1)), "value": "gaussian"}],
 "invert": [{"frame": 1, "value": false}, {"frame": $((frames * 2 / 3 + 1)), "value": true}]}
JSON
echo "make-sample.sh: $frames frames in.0001.tif to in.$(printf %04d "$frames").tif ($size, 16-bit) and keys.json in $PWD"
