#!/usr/bin/env bash
# Plants, one at a time, a fault where a front end's fact lives (a choice's
# name, a unit, a range's end, the rect's conversion, a size parser), builds,
# and runs the tests that must then fail. Every front end reads these facts
# from one place, so each plant must either be followed everywhere (and the
# tests that pin the old fact fail) or be caught by a check. A plant that no
# test notices fails the script.
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
rm -rf "$copy/src" && mkdir -p "$copy/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$copy/src"
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
cmake --build "$copy/build" -j2 >/dev/null 2>&1 || true

if [ ${#missed[@]} -gt 0 ]; then
  echo "plant-faults: not caught: ${missed[*]}" >&2
  exit 1
fi
echo "plant-faults: every plant was caught"
