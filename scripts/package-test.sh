#!/usr/bin/env bash
# Installs the built Debian package on this machine as a user would, checks what
# it holds and that everything in it works, purges it and checks the purge left
# nothing behind. Run as root, alone: while it is installed, melt and ffmpeg find
# the installed filters. Removes what it installed even when a check fails.
#   scripts/package-test.sh [PACKAGE.deb]   (default: the newest build-package/vellora_*.deb)
# The OBS filter's and the Python module's packages of the same version are
# taken from beside it, checked, installed and purged with it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deb="${1:-$(ls -t "$root"/build-package/vellora_*.deb 2>/dev/null | head -1)}"
[ -n "$deb" ] && [ -f "$deb" ] || { echo "package-test: no package (run scripts/package.sh first)" >&2; exit 1; }
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root to install $deb" >&2; exit 1; }
for name in vellora vellora-obs python3-vellora; do
  if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q installed; then
    echo "package-test: $name is already installed; not touching an installation this test did not make" >&2
    exit 1
  fi
done

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
work="$(mktemp -d /tmp/vellora-package-test.XXXXXX)"
failures=0
fail() { echo "package-test: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "package-test: ok: $*"; }
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=600 "$@"; }

# --- What the packages hold: everything that must be there, nothing else. ---------------
# The packages the same build makes beside vellora, with the source folders that make them.
version="$(dpkg-deb -f "$deb" Version)"
arch="$(dpkg-deb -f "$deb" Architecture)"
companions=()
[ -f "$root/obs/CMakeLists.txt" ] && companions+=("$(dirname "$deb")/vellora-obs_${version}_${arch}.deb")
[ -f "$root/python/CMakeLists.txt" ] && companions+=("$(dirname "$deb")/python3-vellora_${version}_${arch}.deb")
for companion in "${companions[@]}"; do
  [ -f "$companion" ] || { echo "package-test: no $companion beside $deb (run scripts/package.sh)" >&2; exit 1; }
done

# check_contents DEB ALLOWED REQUIRED...: every REQUIRED path (a pattern) is
# there; every path is ALLOWED or a folder above one; root owns all; only
# programs are executable (modules are loaded, not run: Debian ships them 0644).
check_contents() {
  local package="$1" allowed="$2" path mode owner name
  shift 2
  name="$(basename "$package")"
  dpkg-deb -c "$package" | awk '{print $1, $2, $6}' | sed 's| \./| /|' >"$work/contents"
  awk '{print $3}' "$work/contents" | sed 's|^\.||; s|/$||' | grep -v '^$' >"$work/paths"
  for path in "$@"; do
    grep -qxE "$path" "$work/paths" || fail "$name lacks $path"
  done
  while read -r path; do
    grep -qE "$allowed" <<<"$path" && continue
    # A folder above an allowed path.
    if grep -qE "^$path/" "$work/paths" && [ "$(grep -E "^$path/" "$work/paths" | grep -cE "$allowed")" -gt 0 ]; then
      continue
    fi
    fail "$name holds $path, which it must not"
  done <"$work/paths"
  while read -r path; do
    fail "$name holds $path (not for users)"
  done < <(grep -iE 'test|bench|fuzz|docgen|FakePlugin|\.a$|/include/' "$work/paths" | grep -v '^/usr/share/doc/' || true)
  while read -r mode owner path; do
    [ "$owner" = root/root ] || fail "$path in $name is owned by $owner"
    case "$mode" in
      drwxr-xr-x) ;;
      -rwxr-xr-x) [[ $path == /usr/bin/* ]] || fail "$path in $name is executable" ;;
      -rw-r--r--) if [[ $path == /usr/bin/* ]]; then fail "$path in $name is not executable"; fi ;;
      *) fail "$path in $name has mode $mode" ;;
    esac
  done <"$work/contents"
  return 0
}

# check_depends DEB WORD...: Depends names each WORD (a pattern).
check_depends() {
  local package="$1" depends word
  shift
  depends="$(dpkg-deb -f "$package" Depends)"
  for word in "$@"; do
    grep -qE "$word" <<<"$depends" || fail "$(basename "$package")'s Depends lacks $word: $depends"
  done
  return 0
}

required=(
  /usr/bin/vellora
  "/usr/lib/$multiarch/vellora/Vellora.so"
  /usr/lib/frei0r-1/vellora.so
  /usr/share/man/man1/vellora.1.gz
  /usr/share/bash-completion/completions/vellora
  /usr/share/doc/vellora/README.md
  /usr/share/doc/vellora/copyright
  /usr/share/doc/vellora/changelog.Debian.gz
)
# The editors' files come with the source folders that make them.
if [ -f "$root/mlt/CMakeLists.txt" ]; then
  required+=("/usr/lib/$multiarch/mlt-7/libmltvellora.so" /usr/share/mlt-7/vellora/filter_vellora.yml
    /usr/share/kdenlive/effects/vellora.xml /usr/share/kdenlive/effects/mask_start_vellora.xml)
fi
if [ -d "$root/shotcut" ]; then
  # The filter and its mask variant, each a whole folder.
  for folder in vellora vellora_mask; do
    for file in meta.qml ui.qml vui.qml keys.js params.js; do
      required+=("/usr/share/shotcut/qml/filters/$folder/$file")
    done
  done
fi
for doc in "$root"/docs/*.md; do
  required+=("/usr/share/doc/vellora/docs/$(basename "$doc")")
done
# Only our own files and the folders above them; no tests, benchmarks, fuzzers, headers or archives.
check_contents "$deb" "^/usr/bin/vellora$|^/usr/lib/$multiarch/vellora(/|$)|^/usr/lib/frei0r-1/vellora\\.so$|^/usr/lib/$multiarch/mlt-7/libmltvellora\\.so$|^/usr/share/mlt-7/vellora(/|$)|^/usr/share/kdenlive/effects/(mask_start_)?vellora\\.xml$|^/usr/share/shotcut/qml/filters/vellora(_mask)?(/|$)|^/usr/share/man/man1/vellora\\.1\\.gz$|^/usr/share/bash-completion/completions/vellora$|^/usr/share/doc/vellora(/|$)|^/usr/share/lintian/overrides/vellora$" \
  "${required[@]}" /usr/share/lintian/overrides/vellora
check_depends "$deb" libc6 "libstdc\\+\\+6" libopenimageio
for companion in "${companions[@]}"; do
  case "$(basename "$companion")" in
    vellora-obs_*)
      # OBS finds a module as obs-plugins/NAME.so with its data in obs/obs-plugins/NAME.
      check_contents "$companion" "^/usr/lib/$multiarch/obs-plugins/vellora-obs\\.so$|^/usr/share/obs/obs-plugins/vellora-obs(/|$)|^/usr/share/doc/vellora-obs(/|$)" \
        "/usr/lib/$multiarch/obs-plugins/vellora-obs\\.so" /usr/share/obs/obs-plugins/vellora-obs/locale/en-US\\.ini \
        /usr/share/doc/vellora-obs/copyright /usr/share/doc/vellora-obs/changelog\\.Debian\\.gz
      check_depends "$companion" "vellora \\(= $version\\)" libobs0 libc6
      ;;
    python3-vellora_*)
      # Debian's python3 finds modules in dist-packages; the name says the ABI.
      check_contents "$companion" "^/usr/lib/python3/dist-packages/(vellora\\.cpython-[0-9]+-$multiarch\\.so|vellora\\.pyi)$|^/usr/share/doc/python3-vellora(/|$)" \
        "/usr/lib/python3/dist-packages/vellora\\.cpython-[0-9]+-$multiarch\\.so" /usr/lib/python3/dist-packages/vellora\\.pyi \
        /usr/share/doc/python3-vellora/copyright /usr/share/doc/python3-vellora/changelog\\.Debian\\.gz
      check_depends "$companion" "vellora \\(= $version\\)" "python3 \\(>= 3\\.[0-9]+\\)" "python3 \\(<< 3\\.[0-9]+\\)" python3-numpy
      ;;
  esac
done
[ "$failures" -eq 0 ] && pass "contents, modes and Depends of $(basename "$deb") ${companions[*]##*/}"
if command -v lintian >/dev/null; then
  # The main package: not a warning left but those its overrides explain.
  for package in "$deb" "${companions[@]}"; do
    fail_on=error
    [ "$package" = "$deb" ] && fail_on=error,warning
    if lintian --fail-on "$fail_on" --suppress-tags no-manual-page "$package" >"$work/lintian" 2>&1; then
      pass "lintian $(basename "$package"): $(grep -c '^[EW]:' "$work/lintian" || true) errors or warnings"
    else
      fail "lintian --fail-on $fail_on fails on $(basename "$package")"
    fi
    cat "$work/lintian"
  done
fi

# --- Install, use, purge. ---------------------------------------------------------------
# The file system where a package writes, as paths with their types (not the
# caches man-db and ldconfig rebuild).
snapshot() {
  find /usr /etc /opt /var/lib/dpkg/info -xdev -printf '%y %p\n' 2>/dev/null | sort
}
dpkg-query -W -f='${Package}\n' | sort >"$work/packages-before"
snapshot >"$work/before"
installed=0
cleanup() {
  local status=$?
  if [ "$installed" -eq 1 ]; then
    # vellora and whatever it pulled in, so the machine is as before.
    dpkg-query -W -f='${Package}\n' | sort >"$work/packages-after"
    mapfile -t pulled < <(comm -13 "$work/packages-before" "$work/packages-after")
    apt_get purge "${pulled[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge failed"; }
    installed=0
    for name in vellora vellora-obs python3-vellora; do
      dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q installed && fail "$name is still installed"
    done
    snapshot >"$work/after"
    # Paths added since the snapshot by another package's installation are not ours.
    comm -13 "$work/before" "$work/after" | while read -r type path; do
      owner="$(dpkg -S "$path" 2>/dev/null | cut -d: -f1)" || true
      case "$owner" in ""|vellora|vellora-obs|python3-vellora) ;; *) continue ;; esac
      echo "$type $path"
    done >"$work/left"
    comm -23 "$work/before" "$work/after" >"$work/lost"
    if [ -s "$work/left" ]; then
      fail "purge left $(wc -l <"$work/left") paths:"; head -20 "$work/left" >&2
    elif [ -s "$work/lost" ]; then
      fail "paths gone after install and purge:"; head -20 "$work/lost" >&2
    else
      pass "purge of ${pulled[*]} left the file system as before"
    fi
  fi
  rm -rf "$work"
  if [ "$failures" -gt 0 ]; then
    echo "package-test: $failures failures" >&2
    exit 1
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

installed=1
apt_get install "$deb" "${companions[@]}" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install $deb ${companions[*]} failed"; exit 1; }
pass "apt-get install $(basename "$deb") ${companions[*]##*/}"

cd "$work"
# Nothing of the build may help: the installed command with its installed module.
run() { env -i PATH=/usr/bin:/bin HOME="$work" LANG=C.UTF-8 "$@"; }
if run vellora render testcard:160x90 installed.png --feather 30 -q; then
  pass "vellora render testcard: with the installed module"
  if [ -x "$root/build/bin/vellora" ]; then
    env -u VELLORA_MODULE "$root/build/bin/vellora" render testcard:160x90 built.png --feather 30 -q &&
      cmp -s installed.png built.png && pass "it renders byte for byte as the build does" ||
      fail "the installed vellora renders otherwise than the build's"
  fi
else
  fail "the installed vellora render testcard: failed"
fi
# Whole outputs first: grep -q leaves early, and pipefail would count the writer's SIGPIPE.
info="$(run vellora info 2>&1)" || true
grep -qF "Module:         /usr/lib/$multiarch/vellora/Vellora.so" <<<"$info" && pass "vellora info loads /usr/lib/$multiarch/vellora/Vellora.so" ||
  fail "vellora info does not name the installed module"

# frei0r hosts find the filter in /usr/lib/frei0r-1 without FREI0R_PATH.
if command -v melt >/dev/null; then
  filters="$(run melt -query filters 2>/dev/null)" || true
  grep -q 'frei0r\.vellora' <<<"$filters" && pass "melt lists frei0r.vellora" ||
    fail "melt does not list frei0r.vellora"
  if [ -f "$root/mlt/CMakeLists.txt" ]; then
    filter="$(run melt -query filter=vellora 2>/dev/null)" || true
    grep -q 'identifier: vellora' <<<"$filter" && pass "melt -query filter=vellora describes it" ||
      fail "melt -query filter=vellora does not find the MLT filter"
  fi
fi

page="$(MANWIDTH=200 run man -l /usr/share/man/man1/vellora.1.gz 2>"$work/man.err")" || true
missing_commands=""
for command in $(run vellora --help | awk '/^Subcommands:/ {on = 1; next} on && /^  [a-z]/ {print $1}'); do
  grep -q "^   $command\$" <<<"$page" || missing_commands+=" $command"
done
[ -n "$page" ] && [ -z "$missing_commands" ] && [ ! -s "$work/man.err" ] && pass "man -l shows every command" ||
  fail "man page: missing commands:$missing_commands; $(head -3 "$work/man.err")"
[ "$(run man -w vellora 2>/dev/null)" = /usr/share/man/man1/vellora.1.gz ] && pass "man vellora finds the page" ||
  fail "man vellora does not find the page"
# FILES names where each part is installed: every path it names is there.
files="$(awk '/^FILES$/ {on = 1; next} /^[A-Z]/ {on = 0} on && /^       \// {print $1}' <<<"$page")"
absent=""
for path in $files; do [ -e "$path" ] || absent+=" $path"; done
[ "$(wc -w <<<"$files")" -ge 8 ] && [ -z "$absent" ] && pass "man page FILES: all $(wc -w <<<"$files") paths installed" ||
  fail "man page FILES: not installed:${absent:- (no paths found)}"

complete_words() {
  run bash -c 'source /usr/share/bash-completion/completions/vellora; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
    _vellora; printf "%s\n" "${COMPREPLY[@]}"' completion "$@"
}
[ "$(complete_words vellora ren)" = render ] && pass "completion: vellora ren -> render" ||
  fail "completion of 'vellora ren' gives '$(complete_words vellora ren)'"
[ "$(complete_words vellora render --fall)" = --falloff ] && pass "completion: vellora render --fall -> --falloff" ||
  fail "completion of 'vellora render --fall' gives '$(complete_words vellora render --fall)'"

# Debian's python3 imports the installed module with nothing set, and the
# module's whole test suite passes against it and the installed command.
if [[ " ${companions[*]##*/}" == *" python3-vellora_"* ]]; then
  where="$(run /usr/bin/python3 -c 'import vellora; print(vellora.__file__)' 2>&1)" || true
  [[ $where == /usr/lib/python3/dist-packages/vellora.cpython-* ]] && pass "python3 -c 'import vellora' finds $where" ||
    fail "python3 cannot import the installed vellora: $where"
  if run /usr/bin/python3 -c 'import pytest, OpenImageIO' 2>/dev/null; then
    if (cd "$work" && run PYTHONDONTWRITEBYTECODE=1 VELLORA_INSTALLED_TEST=1 VELLORA_CLI=/usr/bin/vellora \
          /usr/bin/python3 -m pytest -q -p no:cacheprovider "$root/tests/python" >"$work/pytest.log" 2>&1); then
      pass "the Python tests against the installed module: $(tail -1 "$work/pytest.log")"
    else
      tail -30 "$work/pytest.log"; fail "the Python tests fail against the installed module"
    fi
  fi
fi

# libobs loads the installed filter from where OBS looks, lists it as
# "Vellora Mask" and renders a frame as the built one does (the tests' own
# libobs program, on a virtual display).
obs_host="$root/build/bin/vellora_obs_host"
if [[ " ${companions[*]##*/}" == *" vellora-obs_"* ]] && [ -x "$obs_host" ] && command -v xvfb-run >/dev/null; then
  head -c $((160 * 90 * 4)) /dev/urandom >"$work/frame.rgba"
  obs_job() {
    cat >"$work/$1.json" <<JOB
{"video": {"width": 160, "height": 90}, "modules": [["$2", "$3"]],
 "steps": [{"do": "list"}, {"do": "frames", "name": "camera", "raw": "$work/frame.rgba", "width": 160, "height": 90},
           {"do": "filter", "on": "camera", "name": "mask",
            "settings": {"width": 70, "feather": 25, "angle": 30, "falloff": "gaussian", "origin_x": 60}},
           {"do": "render", "source": "camera", "out": "$work/$1.rgba", "frames": 2}]}
JOB
    run xvfb-run -a "$obs_host" "$work/$1.json" 2>"$work/$1.log"
  }
  listed="$(obs_job installed "/usr/lib/$multiarch/obs-plugins/vellora-obs.so" /usr/share/obs/obs-plugins/vellora-obs)" || true
  if grep -q '^filter vellora_mask "Vellora Mask"' <<<"$listed" && grep -q "^rendered $work/installed.rgba 160 90" <<<"$listed"; then
    pass "libobs loads the installed vellora-obs.so: $(grep -c '^property' <<<"$listed") properties"
    built="$(obs_job built "$root/build/obs-plugins/vellora-obs.so" "$root/build/obs-plugins-data/vellora-obs")" || true
    cmp -s "$work/installed.rgba" "$work/built.rgba" && pass "the installed OBS filter renders byte for byte as the build's" ||
      fail "the installed OBS filter renders otherwise than the build's"
  else
    tail -20 "$work/installed.log"; fail "libobs does not load the installed OBS filter: $listed"
  fi
fi
