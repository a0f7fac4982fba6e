#!/usr/bin/env bash
# Lays out a private Shotcut installation in PREFIX that has Vellora's filter
# folders (vellora and vellora_mask) from BUILD_DIR beside Debian's own, without touching /usr: Shotcut
# reads its QML from ../share/shotcut beside its program, and MLT its modules
# from $MLT_REPOSITORY, the build's. Prints the environment to run it with;
# QSG_NO_DEPTH_BUFFER because under Mesa's llvmpipe (Xvfb) Shotcut's player
# otherwise hides every on-video control behind the picture.
# Usage: scripts/shotcut-prefix.sh PREFIX [BUILD_DIR]
#   eval "$(scripts/shotcut-prefix.sh /tmp/sc build)"; "$SHOTCUT" --noupgrade project.mlt
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="${1:?usage: shotcut-prefix.sh PREFIX [BUILD_DIR]}"
build="$(cd "${2:-$root/build}" && pwd)"
filters="$build/shotcut/qml/filters"
folders=(vellora vellora_mask)
# The build's MLT repository and data folder: Debian's modules with Vellora's beside them.
mlt_lib="$build/mlt-7"
mlt_data="$build/mlt-7-data"
[ -x /usr/bin/shotcut ] || { echo "shotcut-prefix: Shotcut is not installed (/usr/bin/shotcut)" >&2; exit 1; }
for name in "${folders[@]}"; do
  [ -f "$filters/$name/params.js" ] ||
    { echo "shotcut-prefix: no filter folder in '$filters/$name' (build vellora_shotcut)" >&2; exit 1; }
done

rm -rf "$prefix"
mkdir -p "$prefix/bin" "$prefix/share/shotcut/qml/filters"
# A copy, not a link: Shotcut finds its data from where the program file is.
cp /usr/bin/shotcut "$prefix/bin/shotcut"
ln -s /usr/share/shotcut/translations "$prefix/share/shotcut/translations"
for entry in /usr/share/shotcut/qml/*; do
  [ "$(basename "$entry")" = filters ] || ln -s "$entry" "$prefix/share/shotcut/qml/"
done
# Debian's filters, but not the vellora folders an installed package put there:
# the build's stand in their place (-T: never a link made inside such a folder).
for entry in /usr/share/shotcut/qml/filters/*; do
  case "$(basename "$entry")" in vellora | vellora_mask) ;; *) ln -s "$entry" "$prefix/share/shotcut/qml/filters/" ;; esac
done
for name in "${folders[@]}"; do
  ln -sT "$filters/$name" "$prefix/share/shotcut/qml/filters/$name"
done

[ -f "$mlt_lib/libmltvellora.so" ] ||
  { echo "shotcut-prefix: no MLT filter in '$mlt_lib' (build vellora_mlt): Shotcut would not list the filter" >&2; exit 1; }

printf 'export SHOTCUT=%q MLT_REPOSITORY=%q MLT_DATA=%q MLT_PROFILES_PATH=%q QSG_NO_DEPTH_BUFFER=1\n' \
  "$prefix/bin/shotcut" "$mlt_lib" "$mlt_data" "$mlt_data/profiles"
