#!/usr/bin/env bash
# Remakes the pictures of docs/editors.md: Shotcut's player with the filter's
# on-video handles (docs/editor-shotcut.png) and Kdenlive's project monitor
# with the handles of the mask's box (docs/editor-kdenlive.png), each editor
# run on a project that applies Vellora to a test card, from the build's
# filter folder, MLT filter and Kdenlive descriptor, in an X server of its own.
# Usage: scripts/make-editor-screenshots.sh [BUILD_DIR]
#   VELLORA_KEEP_WORK=1 keeps the projects, logs and every screenshot taken.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
docs="$root/docs"
say() { echo "make-editor-screenshots: $*" >&2; }
for tool in Xvfb xdotool import ffmpeg shotcut kdenlive dbus-run-session; do
  command -v "$tool" >/dev/null || { say "$tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
[ -f "$build/kdenlive/effects/vellora.xml" ] || { say "no Kdenlive descriptor in '$build' (build first)"; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  if [ -n "${VELLORA_KEEP_WORK:-}" ]; then say "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 60); do [ -s "$work/display" ] && break; sleep 0.5; done
[ -s "$work/display" ] || { say "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 2))); do "$@" && return 0; sleep 0.5; done
  return 1
}
window_of() { xdotool search --name "$1" 2>/dev/null | tail -1; }
has_window() { [ -n "$(window_of "$1")" ]; }
# True once the yellow of Shotcut's handles shows in the player's part of the screen.
handles_shown() {
  [ "$(import -window root -crop 1100x600+500+80 txt:- | grep -c -E 'srgb\((2[0-9][0-9]),(2[0-9][0-9]),([0-9]|[0-9][0-9])\)')" -gt 20 ]
}

# One picture for both: a test card, the mask a turned, feathered ellipse.
ffmpeg -v error -y -f lavfi -i testsrc2=s=1280x720 -frames:v 1 "$work/card.png"
mask_properties() {
  local open="$1" close="$2"
  for pair in "mask_type=ellipse" "composite_mode=create" "falloff=gaussian" "rect=$3" "angle=345" \
              "feather=60" "opacity=100" "invert=0"; do
    echo "${open}${pair%%=*}\">${pair#*=}${close}"
  done
}

# Shotcut: the project the GUI test uses, the clip on V2 over a grey V1
# (Shotcut blends no track onto the one below it but V2 and up), its filter
# current, the player showing the handles.
{ echo '    <filter id="filter0" out="49">'
  echo '      <property name="mlt_service">vellora</property>'
  echo '      <property name="shotcut:filter">vellora</property>'
  mask_properties '      <property name="' '</property>' "340 160 600 400"
  echo '    </filter>'; } >"$work/filter.xml"
sed -e '/<!--\/\?under-->/d' -e 's/@WIDTH@/1280/g; s/@HEIGHT@/720/g; s/@SERVICE@/qimage/; s/@V1@/under/' \
    -e "s|@RESOURCE@|$work/card.png|; s|@UNDER@|#ff404040|" \
    -e "/@FILTERS@/{r $work/filter.xml
d}" "$root/tests/data/editors/shotcut-project.mlt" >"$work/shotcut.mlt"
eval "$("$root/scripts/shotcut-prefix.sh" "$work/shotcut" "$build")"
(export HOME="$work/home-shotcut" QT_QPA_PLATFORM=xcb; mkdir -p "$HOME"
 exec "$SHOTCUT" --noupgrade "$work/shotcut.mlt" >"$work/shotcut.log" 2>&1) &
pids+=($!)
wait_for 180 has_window ' - Shotcut$' || { say "Shotcut did not open: $(tail -5 "$work/shotcut.log")"; exit 1; }
sleep 5
xdotool windowsize "$(window_of ' - Shotcut$')" 1600 1000
sleep 3
xdotool windowsize "$(window_of ' - Shotcut$')" 1600 1000
sleep 2
# The clip on the timeline (its thumbnail, top left of the track), then the Filters panel.
xdotool mousemove 160 840 click 1 sleep 1 mousemove 795 45 click 1
wait_for 60 handles_shown || { say "Shotcut shows no handles: $(tail -5 "$work/shotcut.log")"; exit 1; }
sleep 1
import -window root "$docs/editor-shotcut.png"
say "wrote $docs/editor-shotcut.png"
kill -9 "${pids[-1]}"

# Kdenlive: the same clip and mask in a project as Kdenlive keeps one.
home="$work/home-kdenlive"
mkdir -p "$home/.local/share/kdenlive/effects" "$home/.config"
cp "$build/kdenlive/effects/vellora.xml" "$home/.local/share/kdenlive/effects/"
# No first-run dialogs, no welcome tips.
printf '[version]\nversion=22.12.3\n[unmanaged]\nshow_welcome_dialog=false\n[misc]\nshowtips=false\n' \
  >"$home/.config/kdenliverc"
cat >"$work/kdenlive.kdenlive" <<EOF
<?xml version='1.0' encoding='utf-8'?>
<mlt LC_NUMERIC="C" producer="main_bin" version="7.12.0" root="$work">
 <profile frame_rate_num="25" sample_aspect_num="1" display_aspect_den="9" colorspace="709" progressive="1" description="HD 720p 25 fps" display_aspect_num="16" frame_rate_den="1" width="1280" height="720" sample_aspect_den="1"/>
 <producer id="producer0" in="00:00:00.000" out="00:00:01.960">
  <property name="length">50</property>
  <property name="resource">card.png</property>
  <property name="ttl">25</property>
  <property name="mlt_service">qimage</property>
  <property name="kdenlive:id">2</property>
  <property name="kdenlive:clip_type">2</property>
  <property name="kdenlive:duration">00:00:02.000</property>
 </producer>
 <playlist id="main_bin">
  <property name="kdenlive:docproperties.version">1.04</property>
  <property name="kdenlive:docproperties.profile">atsc_720p_25</property>
  <property name="xml_retain">1</property>
  <entry producer="producer0" in="00:00:00.000" out="00:00:01.960"/>
 </playlist>
 <producer id="black_track" in="00:00:00.000" out="00:00:01.960">
  <property name="length">2147483647</property>
  <property name="resource">black</property>
  <property name="mlt_service">color</property>
  <property name="kdenlive:playlistid">black_track</property>
  <property name="mlt_image_format">rgba</property>
 </producer>
 <producer id="producer1" in="00:00:00.000" out="00:00:01.960">
  <property name="length">50</property>
  <property name="resource">card.png</property>
  <property name="mlt_service">qimage</property>
  <property name="kdenlive:id">2</property>
 </producer>
 <playlist id="playlist0">
  <entry producer="producer1" in="00:00:00.000" out="00:00:01.960">
   <property name="kdenlive:id">2</property>
   <filter id="filter0">
    <property name="mlt_service">vellora</property>
    <property name="kdenlive_id">vellora</property>
$(mask_properties '    <property name="' '</property>' "340 160 600 400 1")
   </filter>
  </entry>
 </playlist>
 <playlist id="playlist1"/>
 <tractor id="tractor0" in="00:00:00.000" out="00:00:01.960">
  <track hide="audio" producer="playlist0"/>
  <track hide="audio" producer="playlist1"/>
 </tractor>
 <tractor id="tractor1" global_feed="1" in="00:00:00.000" out="00:00:01.960">
  <track producer="black_track"/>
  <track producer="tractor0"/>
  <transition id="transition0">
   <property name="a_track">0</property>
   <property name="b_track">1</property>
   <property name="mlt_service">qtblend</property>
   <property name="kdenlive_id">qtblend</property>
   <property name="internal_added">237</property>
   <property name="always_active">1</property>
  </transition>
 </tractor>
</mlt>
EOF
(export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORM=xcb
 exec dbus-run-session kdenlive "$work/kdenlive.kdenlive" >"$work/kdenlive.log" 2>&1) &
pids+=($!)
wait_for 240 has_window 'HD 720p 25 fps' || { say "Kdenlive did not open: $(tail -5 "$work/kdenlive.log")"; exit 1; }
sleep 8
xdotool windowsize "$(window_of 'HD 720p 25 fps')" 1600 1000
sleep 4
# The clip on V1, then the project monitor: the box's handles (red) show
# while the clip's effect is current. Places as a fresh Kdenlive lays itself out.
xdotool mousemove 181 755 click 1 sleep 2 mousemove 996 577 click 1
kdenlive_handles() {
  [ "$(import -window root -crop 780x430+830+70 txt:- | grep -c -E 'srgb\((2[2-5][0-9]),([0-9]|[0-4][0-9]),([0-9]|[0-4][0-9])\)')" -gt 20 ]
}
wait_for 60 kdenlive_handles || { say "Kdenlive shows no handles: $(tail -5 "$work/kdenlive.log")"; exit 1; }
sleep 1
import -window root "$docs/editor-kdenlive.png"
say "wrote $docs/editor-kdenlive.png"
