#!/usr/bin/env bash
# Makes the seed corpora of the params, keys, image, frei0r and mlt fuzz targets
# from the test suite's own inputs: the JSON its tests hand --params and
# --keys, the --frames lists and frame patterns they use, and image files of
# the kinds they read, made with oiiotool. Seeds are named by their SHA-1, as
# libFuzzer names what it adds, and made anew each run; findings kept as
# regression inputs have names of their own, and stay.
#   fuzz/make_seeds.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
corpus="$root/fuzz/corpus"
command -v oiiotool >/dev/null || { echo "make_seeds: needs oiiotool (Debian: openimageio-tools)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# seed TARGET < bytes
seed() {
  mkdir -p "$corpus/$1"
  cat >"$work/seed"
  mv "$work/seed" "$corpus/$1/$(sha1sum "$work/seed" | cut -c1-40)"
}

for target in params keys image frei0r mlt; do
  find "$corpus/$target" -maxdepth 1 -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete 2>/dev/null || true
done

# The tests' JSON literals, one a line with its newlines made spaces.
perl -0777 -ne 'while (/R"\((.*?)\)"/sg) { my $j = $1; $j =~ s/\s*\n\s*/ /g; print "$j\n" }' \
  "$root"/tests/*.cpp | grep '^[[{]' | sort -u >"$work/json"

# --params: the literals without keys, alone and after option texts (host,
# depth, downsample, par, threads, then one per parameter in the table's order).
grep -v '"frame"' "$work/json" | while IFS= read -r j; do printf '%s' "$j" | seed params; done
printf '{"width": 300}\0ae\0008\0001\0001/1\0000\0ellipse\0add\00020,30\0' | seed params
printf '{}\0premiere\0float\0002\00010/11\0002\0rectangle\0\0-5,100\000120\00050\00045\00010\00050\0on\0gaussian\0' | seed params
printf '{"opacity": 50}\0ae\00016\0001\0001\0000\0\0\0\0\0\0\0\0\0off\0' | seed params

# --keys: each literal with keys, after a --frames list and a pattern from the tests.
frames=(1-3 1-9 6-8,9-12 8-9,11 9-14 10-9 8-10,10 7)
patterns=(in.####.png in.%04d.png a.%d.png in.%02d.png in.%4d.png b.##. back.%04d.png)
i=0
grep '"frame"' "$work/json" | while IFS= read -r j; do
  printf '%s\n%s\n%s' "${frames[i % ${#frames[@]}]}" "${patterns[i % ${#patterns[@]}]}" "$j" | seed keys
  i=$((i + 1))
done

# Images: the kinds of file the imaging tests read, each as a raw input
# (mode 0x80, an output choice, a reader hint the library falls back from).
img() {
  local name="$1" out="$2"
  shift 2
  # No software name or time in the file, so the same seed is made each run.
  oiiotool --nosoftwareattrib "$@" --attrib DateTime "2026:01:01 00:00:00" -o "$work/$name" 2>/dev/null || { echo "make_seeds: oiiotool could not make $name" >&2; return 0; }
  { printf "\\x80\\x$out\\x00"; cat "$work/$name"; } | seed image
}
img rgba8.png 00 --pattern checker 8x6 4 -d uint8
img rgba16.png 11 --pattern fill:top=0.1,0.2,0.3,0.4:bottom=0.9,0.5,0.1,1 7x5 4 -d uint16
img grey-alpha.png 22 --pattern checker 6x4 2 -d uint8
img rgb.tga 35 --pattern checker 5x5 3 -d uint8
img unassoc16.tif 41 --pattern fill:left=0,0,1,0.25:right=1,0,0,1 9x3 4 -d uint16 --attrib oiio:UnassociatedAlpha 1
img float.tif 32 --pattern fill:top=-0.5,2,0.5,1:bottom=0,0,0,0 4x4 4 -d float
img tiled.tif 13 --pattern checker 20x18 4 -d uint8 --tile 16 16
img two-images.tif 00 --pattern checker 4x4 4 -d uint8 --pattern checker 4x4 4 -d uint8 --siappend
img half-window.exr 32 --pattern fill:top=0,0.5,1,1:bottom=1,0.5,0,0.5 8x8 4 -d half --origin +3-2 --fullsize 12x10+0+0
img extra.exr 34 --pattern checker 6x6 5 --chnames R,G,B,A,Z -d float
img layers.exr 21 --pattern checker 4x4 4 --chnames diffuse.R,diffuse.G,diffuse.B,diffuse.A -d half
img alpha-only.exr 12 --pattern checker 4x4 1 --chnames A -d float
img luma.exr 03 --pattern checker 4x4 1 --chnames Y -d half
img rgb.jpg 20 --pattern checker 8x8 3 -d uint8
img rgb.bmp 10 --pattern checker 5x3 3 -d uint8
img rgb.hdr 32 --pattern fill:top=0,4,1:bottom=1,0,2 4x4 3
img rgb.dpx 11 --pattern checker 6x6 3 -d uint16
img rgba.sgi 00 --pattern checker 6x6 4 -d uint8
img rgba.rla 00 --pattern checker 6x6 4 -d uint8
img rgb.ppm 00 --pattern checker 6x6 3 -d uint8
# Files the driver makes itself, one per format it makes: seven channels
# of mixed types, named, an alpha, a data window, tiles.
for mode in 0 1 2 3; do
  printf "\\x0${mode}\\x00\\x05\\x04\\x06\\x81\\x01\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x83\\x45\\x05\\x03\\xfe" | seed image
done

# frei0r: steps of three bytes (operation, instance, parameter index + 2) and
# their operands: a 16x12 filter made, parameter N set to 0, 1, NaN and 64/255,
# a frame updated at time 0, N described, the filter destroyed.
for n in 0 1 2 3 4 5 6 7 8 9 10 11; do
  p="\\x$(printf %02x $((n + 2)))"
  printf "\\x00\\x00\\x00\\x0f\\x0b\\x02\\x00${p}\\x00\\x02\\x00${p}\\x02\\x02\\x00${p}\\x09\\x02\\x00${p}\\x90\\x40\\x05\\x00\\x00\\x00\\x01\\x02\\x03\\x04\\x04\\x00${p}\\x01\\x00\\x00" |
    seed frei0r
done
# Sizes no filter can render, and updates of nothing.
printf '\x00\x00\x00\xf0\xf5\x00\x00\x00\xf9\xfa\x05\x00\x00\x00\x01\x00\x00' | seed frei0r

# mlt: the frame (12) and length (50), then named properties as an editor's
# project carries them (0xff: a name of its own follows), one set a seed.
mlt_seed() {
  { printf '\x0c\x31'; for pair in "$@"; do printf '\xff%s\0%s\0' "${pair%%=*}" "${pair#*=}"; done; } | seed mlt
}
mlt_seed "rect=220 130 200 100"
mlt_seed "rect=0=100 100 200 200;49=300 300 200 200" "angle=0=0;49=90"
mlt_seed "rect=10% 10% 50% 50%" "mask_type=rectangle" "composite_mode=intersect"
mlt_seed "rect=0=100 100 200 200;xx=300 300 200 200"
mlt_seed "falloff=gaussian" "invert=1" "feather=0=0;24|=40;49~=10" "opacity=00:00:01.000=50"
mlt_seed "falloff=sinc"
mlt_seed "rect=abc"
mlt_seed "feather=99999" "angle=1e308"
mlt_seed "composite_mode=3" "falloff=0=gaussian" "opacity=-5"
mlt_seed "rect=-32767 -32767 15000 15000" "width=300"
mlt_seed "mask_type=ellipse" "rect=320 180 0 0" "feather=nan"

for target in params keys image frei0r mlt; do
  echo "make_seeds: $target: $(ls "$corpus/$target" | wc -l) seeds"
done
