#!/usr/bin/env bash
# Lays out a private Shotcut installation in PREFIX that has Vellora's filter
# folder and MLT module from BUILD_DIR beside Debian's own, without touching
# /usr: Shotcut reads its QML from ../share/shotcut beside its program, and MLT
# its modules from $MLT_REPOSITORY. Prints the environment to run it with.
# Usage: scripts/shotcut-prefix.sh PREFIX [BUILD_DIR]
#   eval "$(scripts/shotcut-prefix.sh /tmp/sc build)"; "$SHOTCUT" --noupgrade project.mlt
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="${1:?usage: shotcut-prefix.sh PREFIX [BUILD_DIR]}"
build="$(cd "${2:-$root/build}" && pwd)"
folder="$build/shotcut/qml/filters/vellora"
mlt_lib="$(pkg-config --variable=moduledir mlt-framework-7 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/mlt-7)"
mlt_data="$(pkg-config --variable=mltdatadir mlt-framework-7 2>/dev/null || echo /usr/share/mlt-7)"
[ -x /usr/bin/shotcut ] || { echo "shotcut-prefix: Shotcut is not installed (/usr/bin/shotcut)" >&2; exit 1; }
[ -f "$folder/params.js" ] || { echo "shotcut-prefix: no filter folder in '$folder' (build vellora_shotcut)" >&2; exit 1; }

rm -rf "$prefix"
mkdir -p "$prefix/bin" "$prefix/share/shotcut/qml/filters" "$prefix/lib/mlt-7" "$prefix/share/mlt-7"
# A copy, not a link: Shotcut finds its data from where the program file is.
cp /usr/bin/shotcut "$prefix/bin/shotcut"
ln -s /usr/share/shotcut/translations "$prefix/share/shotcut/translations"
for entry in /usr/share/shotcut/qml/*; do
  [ "$(basename "$entry")" = filters ] || ln -s "$entry" "$prefix/share/shotcut/qml/"
done
for entry in /usr/share/shotcut/qml/filters/*; do ln -s "$entry" "$prefix/share/shotcut/qml/filters/"; done
ln -s "$folder" "$prefix/share/shotcut/qml/filters/vellora"

for entry in "$mlt_lib"/*; do ln -s "$entry" "$prefix/lib/mlt-7/"; done
for entry in "$mlt_data"/*; do ln -s "$entry" "$prefix/share/mlt-7/"; done
# The MLT module and its metadata, wherever the build put them.
module="$(find "$build" -name 'libmltvellora.so' -print -quit)"
if [ -n "$module" ]; then
  ln -s "$module" "$prefix/lib/mlt-7/"
  meta="$(find "$build" -path '*/vellora/filter_vellora.yml' -print -quit)"
  [ -z "$meta" ] || ln -s "$(dirname "$meta")" "$prefix/share/mlt-7/vellora"
else
  echo "shotcut-prefix: no libmltvellora.so under '$build': Shotcut will not list the filter" >&2
fi

printf 'export SHOTCUT=%q MLT_REPOSITORY=%q MLT_DATA=%q MLT_PROFILES_PATH=%q\n' \
  "$prefix/bin/shotcut" "$prefix/lib/mlt-7" "$prefix/share/mlt-7" "$prefix/share/mlt-7/profiles"
