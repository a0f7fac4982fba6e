#!/usr/bin/env bash
# Installs the built Debian package on this machine as a user would, checks what
# it holds and that everything in it works, purges it and checks the purge left
# nothing behind. Run as root, alone: while it is installed, melt and ffmpeg find
# the installed filters. Removes what it installed even when a check fails.
#   scripts/package-test.sh [PACKAGE.deb]   (default: the newest build-package/vellora_*.deb)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deb="${1:-$(ls -t "$root"/build-package/vellora_*.deb 2>/dev/null | head -1)}"
[ -n "$deb" ] && [ -f "$deb" ] || { echo "package-test: no package (run scripts/package.sh first)" >&2; exit 1; }
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root to install $deb" >&2; exit 1; }
if dpkg-query -W -f='${Status}' vellora 2>/dev/null | grep -q installed; then
  echo "package-test: vellora is already installed; not touching an installation this test did not make" >&2
  exit 1
fi

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
work="$(mktemp -d /tmp/vellora-package-test.XXXXXX)"
failures=0
fail() { echo "package-test: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "package-test: ok: $*"; }
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=600 "$@"; }

# --- What the package holds: everything that must be there, nothing else. -------------
dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' | sed 's| \./| /|' >"$work/contents"
awk '{print $3}' "$work/contents" | sed 's|^\.||; s|/$||' | grep -v '^$' >"$work/paths"

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
    /usr/share/kdenlive/effects/vellora.xml)
fi
if [ -d "$root/shotcut" ]; then
  required+=(/usr/share/shotcut/qml/filters/vellora/meta.qml /usr/share/shotcut/qml/filters/vellora/ui.qml
    /usr/share/shotcut/qml/filters/vellora/vui.qml)
fi
for path in "${required[@]}"; do
  grep -qxF "$path" "$work/paths" || fail "the package lacks $path"
done
for doc in "$root"/docs/*.md; do
  grep -qxF "/usr/share/doc/vellora/docs/$(basename "$doc")" "$work/paths" || fail "the package lacks docs/$(basename "$doc")"
done
# Only our own files and the folders above them; no tests, benchmarks, fuzzers, headers or archives.
allowed="^/usr/bin/vellora$|^/usr/lib/$multiarch/vellora(/|$)|^/usr/lib/frei0r-1/vellora\\.so$|^/usr/lib/$multiarch/mlt-7/libmltvellora\\.so$|^/usr/share/mlt-7/vellora(/|$)|^/usr/share/kdenlive/effects/vellora\\.xml$|^/usr/share/shotcut/qml/filters/vellora(/|$)|^/usr/share/man/man1/vellora\\.1\\.gz$|^/usr/share/bash-completion/completions/vellora$|^/usr/share/doc/vellora(/|$)"
while read -r path; do
  if grep -qE "$allowed" <<<"$path"; then
    continue
  fi
  # A folder above an allowed path.
  if grep -qE "^$path/" "$work/paths" && [ "$(grep -E "^$path/" "$work/paths" | grep -cE "$allowed")" -gt 0 ]; then
    continue
  fi
  fail "the package holds $path, which it must not"
done <"$work/paths"
while read -r path; do
  fail "the package holds $path (not for users)"
done < <(grep -iE 'test|bench|fuzz|docgen|FakePlugin|\.a$|/include/' "$work/paths" | grep -v '^/usr/share/doc/' || true)
# Root owns everything; programs are executable, nothing else is (modules are
# loaded, not run, and Debian ships them 0644).
while read -r mode owner path; do
  [ "$owner" = root/root ] || fail "$path is owned by $owner"
  case "$mode" in
    drwxr-xr-x) ;;
    -rwxr-xr-x) [[ $path == /usr/bin/* ]] || fail "$path is executable" ;;
    -rw-r--r--) [[ $path == /usr/bin/* ]] && fail "$path is not executable" ;;
    *) fail "$path has mode $mode" ;;
  esac
done <"$work/contents"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libstdc++6 libopenimageio; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library (computed from the binaries): $depends"
done
[ "$failures" -eq 0 ] && pass "contents ($(wc -l <"$work/paths") paths), modes, Depends: $depends"
if command -v lintian >/dev/null; then
  if lintian --fail-on error --suppress-tags no-manual-page "$deb" >"$work/lintian" 2>&1; then
    pass "lintian: $(grep -c '^[EW]:' "$work/lintian" || true) errors or warnings"
  else
    fail "lintian reports errors"
  fi
  cat "$work/lintian"
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
    dpkg-query -W -f='${Status}' vellora 2>/dev/null | grep -q installed && fail "vellora is still installed"
    snapshot >"$work/after"
    # Paths added since the snapshot by another package's installation are not ours.
    comm -13 "$work/before" "$work/after" | while read -r type path; do
      owner="$(dpkg -S "$path" 2>/dev/null | cut -d: -f1)" || true
      [ -n "$owner" ] && [ "$owner" != vellora ] && continue
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
apt_get install "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install $deb failed"; exit 1; }
pass "apt-get install $(basename "$deb")"

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

complete_words() {
  run bash -c 'source /usr/share/bash-completion/completions/vellora; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
    _vellora; printf "%s\n" "${COMPREPLY[@]}"' completion "$@"
}
[ "$(complete_words vellora ren)" = render ] && pass "completion: vellora ren -> render" ||
  fail "completion of 'vellora ren' gives '$(complete_words vellora ren)'"
[ "$(complete_words vellora render --fall)" = --falloff ] && pass "completion: vellora render --fall -> --falloff" ||
  fail "completion of 'vellora render --fall' gives '$(complete_words vellora render --fall)'"
