#!/usr/bin/env bash
# Plants, one at a time, a fault, builds, and runs the tests that must then
# fail. Three groups: a wrong fact where a front end's fact lives (a choice's
# name, a unit, a range's end, the rect's conversion, a size parser), which
# every front end must follow or a check catch; faults that once got through
# the suite, put back where they were; and mistakes in the newest code (MLT
# properties, editors' descriptors, parameter facts, parsers, the Python
# module). A plant that no test notices fails the script.
#
#   scripts/plant-faults.sh            all plants
#   scripts/plant-faults.sh rect size  only those named
#
# Works on a copy of the tree under /work or $PLANT_ROOT (so ccache, when set
# up by /work/ccache.env, shares compiles with the normal build); a few minutes
# a plant on two cores.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
copy="${PLANT_ROOT:-$(dirname "$root")}/.plant-tree"

wanted=("$@")
chosen() {
  [ ${#wanted[@]} -eq 0 ] && return 0
  local w
  for w in "${wanted[@]}"; do [ "$w" = "$1" ] && return 0; done
  return 1
}

[ -f /work/ccache.env ] && source /work/ccache.env
mkdir -p "$copy"
# Only files whose content changed are replaced, and they get a new time, so
# an edit older than the copy's last build is still rebuilt.
rm -rf "$copy/next" && mkdir -p "$copy/next" "$copy/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -xmf - -C "$copy/next"
(cd "$copy/next" && find . -type f -print0) | while IFS= read -r -d '' f; do
  cmp -s "$copy/next/$f" "$copy/src/$f" || { mkdir -p "$(dirname "$copy/src/$f")" && cp "$copy/next/$f" "$copy/src/$f"; }
done
(cd "$copy/src" && find . -type f -print0) | while IFS= read -r -d '' f; do
  [ -e "$copy/next/$f" ] || rm -f "$copy/src/$f"
done
rm -rf "$copy/next"
cmake -S "$copy/src" -B "$copy/build" -DCMAKE_BUILD_TYPE=Release -DVELLORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$copy/build" -j2 >"$copy/build.log" 2>&1 || { tail -20 "$copy/build.log"; exit 2; }

missed=()
# plant NAME FILE SED-EXPRESSION TESTS: TESTS (a ctest regex) must fail, or the build.
plant() {
  local name="$1" file="$2" expr="$3" tests="$4"
  chosen "$name" || return 0
  echo "=== plant '$name' in $file"
  sed -E "$expr" "$root/$file" >"$copy/src/$file"
  if cmp -s "$root/$file" "$copy/src/$file"; then
    echo "plant-faults: '$name' changed nothing in $file: the plant no longer matches the code" >&2
    exit 2
  fi
  if ! cmake --build "$copy/build" -j2 >"$copy/build.log" 2>&1; then
    echo "caught by the build:"
    grep -m3 -iE 'error|refus|disagree' "$copy/build.log" || tail -3 "$copy/build.log"
  elif (cd "$copy/build" && ctest -j2 -R "$tests" -E Xvfb --timeout 300 >"$copy/ctest.log" 2>&1); then
    echo "NOT caught: every test matching '$tests' passed"
    missed+=("$name")
  else
    echo "caught: $(grep -cE '\(Failed\)' "$copy/ctest.log") tests failed, among them"
    grep -E '\(Failed\)' "$copy/ctest.log" | head -4
  fi
  cp "$root/$file" "$copy/src/$file"
}

# A choice renamed in the plug-in's popup: its command-line, MLT, OBS and
# descriptor names follow it, so what projects and scripts saved stops matching.
plant choice plugin/Vellora/Vellora.cpp 's/\|Gaussian\|/|Bell|/' \
  'GeneratedDescriptions|MltFilter|ObsFilter|RenderCli|Keyframes|Frei0r'
# Feather's unit in the parameter table: the table no longer agrees with the plug-in.
plant unit params/ParamTable.cpp '/PARAM_FEATHER, PF_Param_FLOAT_SLIDER/{n;s/Units::Pixels/Units::Percent/}' \
  'ParamTable|ParamFacts|RenderCli'
# The sizes' upper end: every front end's range follows; what pins 15000 fails.
plant range plugin/Vellora/Vellora.h 's/kMaxSize = 15000\.0f/kMaxSize = 14000.0f/' \
  'Frei0r|MltFilter|ObsFilter|Descriptions|RenderCli'
# MLT's rect to centre and size, a third instead of a half.
plant rect mlt/FilterProperties.cpp 's#\{r\[0\] \+ r\[2\] / 2, #{r[0] + r[2] / 3, #' \
  'MltFilter|MltProperties|Kdenlive'
# A size parser that takes a negative width.
plant size parse/Parse.cpp 's/ParseInteger\(text\.substr\(0, x\), option, lo, hi\)/ParseInteger(text.substr(0, x), option, -hi, hi)/' \
  'ClipSteps|RenderCli|ViewCli|Overlay|Parse'

# Faults that once got through the suite, each back where it was.
# An MLT property that cannot vary, given one key ("0=gaussian"), taken as its value.
plant one-key mlt/FilterProperties.cpp 's/\(keys\.size\(\) != 1 \|\| text\.find\(.=.\) != std::string::npos\)/(keys.size() != 1)/' \
  'MltFilter\.BadValues'
# A rect in percent checked as the number typed, not as the profile's pixels it stands for.
plant percent-rect mlt/FilterProperties.cpp 's#nullptr\) / \(fraction\[i\] \? 100\.0 : 1\.0\);#nullptr);#; s#StoreRect\(InPixels\(r, fraction, frame\.width, frame\.height\), frame\.facts, nullptr\)#StoreRect(r, frame.facts, nullptr)#' \
  'MltFilter\.BadValues'
# Kdenlive's default box: its vertical offset from the width.
plant box-offset mlt/describe/KdenliveEffect.cpp 's#origin\.default_y - h / 2#origin.default_y - w / 2#' \
  'GeneratedDescriptions\.Kdenlive'
# MLT's metadata without the last choice of each popup.
plant last-choice mlt/describe/MltMetadata.cpp 's#for \(const std::string& name : vparams::ChoiceNames\(f\)\) y << "      - " << name << "\\n";#{ const std::vector<std::string> names = vparams::ChoiceNames(f); for (size_t k = 0; k + 1 < names.size(); ++k) y << "      - " << names[k] << "\\n"; }#' \
  'GeneratedDescriptions\.MltMetadata'
# Shotcut's checkbox default inverted: a new filter is added inverted.
plant checkbox-default mlt/describe/ShotcutParams.cpp 's/j\["defaultValue"\] = f\.dephault != 0;/j["defaultValue"] = f.dephault == 0;/' \
  'GeneratedDescriptions\.Shotcut'
# OpenEXR half channels counted as 4 bytes: a file within the memory limit refused.
plant half-bytes imaging/HeaderClaims.cpp 's/pixel_bytes \+= r\.U32\(c\) == 1 \? 2 : 4;/pixel_bytes += 4;/' \
  'ReadBudget\.HalfSamples'
# A PNM header's one trailing white space not counted: a file cut by a byte reaches the library.
plant pnm-header imaging/HeaderClaims.cpp 's/return at \+ 1 <= head\.size\(\) \? at \+ 1 : 0;/return at <= head.size() ? at : 0;/' \
  'CutFiles'
# A frei0r band found while another still renders: the other keeps its slice of mask.
plant band-restore frei0r/Filter.cpp 's/if \(d\.rendering\) d\.restore = true;//' \
  'Frei0rBands'
# A frame range one past the host's 32-bit time: the clip starts, and fails part way.
plant time-limit clip/ClipPlan.cpp 's/if \(\(last \+ 1\) > std::numeric_limits/if (last > std::numeric_limits/' \
  'RenderClip\.FramesPastTheTime'
# The man page's hyphens left bare: groff may print option names with hyphens.
plant man-hyphens packaging/ManPage.cpp 's/out \+= "\\\\-";/out += c;/; s/std::string\("\\\\-"\)/std::string("-")/' \
  'ManPage\.'
# Completion takes flags for options with a value: nothing completes after --invert.
plant completion-flags packaging/BashCompletion.cpp 's/if \(!o\.takes_value\) continue;//' \
  'BashCompletion\.'

# Faults planted in the newest code: MLT properties, descriptors, parameter facts, parsers, the Python module.
# Text set after a read ignored: an edit in the editor never reaches the filter.
plant given-text mlt/MltPropertySource.cpp 's/if \(kept && written && std::strcmp\(now, written\) == 0\) return kept;/if (kept \&\& written) return kept;/' \
  'MltSource\.TextSet'
# Smooth keys' overshoot not held: frames between keys pass through unmasked, refused.
plant overshoot mlt/FilterProperties.cpp 's/return vparams::CheckValue\(f, vparams::HeldValue\(f, value\)\);/return vparams::CheckValue(f, value);/' \
  'MltSource\.SmoothKeys'
# The mask entry's prefix without its dot: mask_start passes none of the editors' values on.
plant mask-prefix mlt/FilterProperties.h 's/"mask_start", "filter\.", /"mask_start", "filter", /' \
  'GeneratedDescriptions\.MaskVariants'
# Kdenlive's mask variant names itself as the filter to run: mask_start inside mask_start, no mask.
plant mask-runs mlt/describe/KdenliveEffect.cpp 's/value=\\"" << vmlt::kPlainEntry\.service/value=\\"" << entry.service/' \
  'GeneratedDescriptions\.MaskVariants'
# Kdenlive's angle slider ends swapped: it cannot be dragged.
plant angle-slider mlt/describe/KdenliveEffect.cpp 's/return high \? "360" : "-360";/return high ? "-360" : "360";/' \
  'MltFilter\.MeltDescribes'
# Kdenlive's default box sized in a portrait frame: a new box is not the effect's default size.
plant box-size mlt/describe/KdenliveEffect.cpp 's/kReferenceWidth = 1920, kReferenceHeight = 1080/kReferenceWidth = 1080, kReferenceHeight = 1920/' \
  'GeneratedDescriptions\.Kdenlive'
# Kdenlive's checkbox default inverted.
plant kdenlive-bool mlt/describe/KdenliveEffect.cpp 's/type=\\"bool\\" default=\\"" << vparams::DefaultText\(f\)/type=\\"bool\\" default=\\"" << (f.dephault != 0 ? "0" : "1")/' \
  'GeneratedDescriptions\.Kdenlive'
# Shotcut's mask variant sets the plain names: mask_start passes none of them on.
plant shotcut-names mlt/describe/ShotcutParams.cpp 's/names\[p\.name\] = entry\.prefix \+ p\.name;/names[p.name] = p.name;/' \
  'GeneratedDescriptions\.MaskVariants'
# Shotcut offers keyframes where the filter refuses them, and none where it takes them.
plant shotcut-keys mlt/describe/ShotcutParams.cpp 's/j\["animatable"\] = f\.animated;/j["animatable"] = !f.animated;/' \
  'GeneratedDescriptions\.Shotcut'
# MLT's metadata says every property animates: editors offer keys the filter refuses.
plant metadata-animation mlt/describe/MltMetadata.cpp 's/if \(p\.animated\) y << "    animation: yes\\n";/y << "    animation: yes\\n";/' \
  'GeneratedDescriptions\.MltMetadata'
# A range's end refused: --width 15000 (and the same in every front end) is out of range.
plant range-end params/ParamFacts.cpp 's/v < f\.min \|\| v > f\.max\)/v < f.min || v >= f.max)/' \
  'ParamFacts\.'
# Choices counted from 0: "gaussian" renders Gamma 2.2, "linear" is refused.
plant choice-index params/ParamFacts.cpp 's/return \{static_cast<double>\(k \+ 1\), 0\.0\};/return {static_cast<double>(k), 0.0};/' \
  'ParamFacts\.'
# A held popup value truncated, not rounded: OBS's and MLT's in-between values land a choice low.
plant held-round params/ParamFacts.cpp 's/held\[i\] = std::round\(held\[i\]\);/held[i] = std::floor(held[i]);/' \
  'ParamFacts\.'
# A checkbox printed inverted: what is saved or shown says the opposite.
plant flag-text params/ParamFacts.cpp 's/return value\[0\] != 0\.0 \? "true" : "false";/return value[0] == 0.0 ? "true" : "false";/' \
  'ParamFacts\.'
# A refusal naming the label, not the key a user types.
plant refusal-key params/ParamFacts.cpp 's/throw ParamError\(f\.key, given, std::string\(coordinate\)/throw ParamError(f.label, given, std::string(coordinate)/' \
  'ParamFacts\.'
# "M" read as gibibytes: VELLORA_MAX_MEMORY=512M lets 512 GiB in.
plant megabytes parse/Parse.cpp "s/unit == 'M' \? 20/unit == 'M' ? 30/" \
  '^Parse\.'
# A decimal frame rate one digit short: --fps 29.97 is 2.997 frames a second.
plant fps-decimal parse/Parse.cpp 's/for \(size_t i = 0; i < fraction\.size\(\); \+\+i\) den \*= 10;/for (size_t i = 0; i <= fraction.size(); ++i) den *= 10;/' \
  '^Parse\.'
# A number's trailing text ignored: "0x10" reads as 0, "12px" as 12.
plant number-tail parse/Parse.cpp 's/if \(!ok \|\| i != t\.size\(\)\) \{/if (!ok) {/' \
  '^Parse\.'
# Option names run together in the man page: "-q--quiet" cannot be found.
plant man-names packaging/ManPage.cpp 's/head \+= \(head\.empty\(\) \? "" : ", "\) \+ std::string/head += std::string/' \
  'ManPage\.'
# Completion offers files after numbers and nothing after paths.
plant completion-paths packaging/BashCompletion.cpp 's/\} else if \(TakesPath\(o\)\) \{/} else if (!TakesPath(o)) {/' \
  'BashCompletion\.'
# An RGB array taken as RGBA: the rows are read past their pixels.
plant python-channels python/Frames.cpp 's/if \(a\.shape\(2\) != 4\) \{/if (a.shape(2) < 3) {/' \
  '^python$'
# An empty array handed to the effect.
plant python-empty python/Frames.cpp 's/a\.shape\(0\) < 1 \|\| a\.shape\(1\) < 1/a.shape(0) < 0 || a.shape(1) < 0/' \
  '^python$'
# True taken as one pixel.
plant python-bool python/Values.cpp 's/if \(IsBool\(o\) \|\| py::isinstance<py::str>\(o\)/if (py::isinstance<py::str>(o)/' \
  '^python$'
# Any number taken for a checkbox: invert=2 or 0.5 quietly inverts.
plant python-flag python/Values.cpp 's/if \(!IsBool\(o\)\) WrongType\(f, o, "True or False"\);/if (!IsBool(o) \&\& !IsNumber(o)) WrongType(f, o, "True or False");/' \
  '^python$'

# The pixel passes' fixed-offset zones and the 16-bit band's packed row loops.
# Pixels outside the mask read the core's 8-bit table.
plant zone8-table plugin/Vellora/Vellora_PixelFuncs.cpp 's/return StoreFromTable8<AlphaByte>\(f->outside32, in, out\);/return StoreFromTable8<AlphaByte>(f->core32, in, out);/' \
  'Adapters'
# Pixels outside the mask take the core's 16-bit constants.
plant zone16-constants plugin/Vellora/Vellora_PixelFuncs.cpp 's/return StoreZone16<ZONE_OUTSIDE>\(f, in, out\);/return StoreZone16<ZONE_CORE>(f, in, out);/' \
  'Adapters'
# A block's open pixels marked one pixel off: the open one keeps no result.
plant band16-open-mask plugin/Vellora/Vellora_PixelFuncs.cpp 's/_mm_castsi128_ps\(s\)\)\) << i;/_mm_castsi128_ps(s))) << (i + 1);/' \
  'Band16Rows'
# The block's last pixels forget the open ones before them.
plant band16-open-tail plugin/Vellora/Vellora_PixelFuncs.cpp 's/open \|= static_cast<uint64_t>\(settled\[i\] < 0\) << i;/open = static_cast<uint64_t>(settled[i] < 0) << i;/' \
  'Band16Rows'
# Gathered alphas scaled twice over.
plant band16-alpha-scale plugin/Vellora/Vellora_PixelFuncs.cpp 's/_mm_set1_ps\(Alpha16\(1\)\)/_mm_set1_ps(Alpha16(2))/' \
  'Band16Rows'

cmake --build "$copy/build" -j2 >/dev/null 2>&1 || true

echo "plant-faults: $SECONDS s"
if [ ${#missed[@]} -gt 0 ]; then
  echo "plant-faults: not caught: ${missed[*]}" >&2
  exit 1
fi
echo "plant-faults: every plant was caught"
