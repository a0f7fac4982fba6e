#!/usr/bin/env bash
# The package on a fresh Debian 12: debootstrap a minimal bookworm into a folder,
# install the package there with apt-get (which fetches its dependencies from
# Debian's mirror), render with it, purge it and check that nothing of it is
# left. Needs root, debootstrap and the mirror; about two and a half minutes.
#   scripts/package-test-fresh.sh [PACKAGE.deb]
#   VELLORA_DEBIAN_MIRROR picks the mirror (default http://deb.debian.org/debian).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deb="${1:-$(ls -t "$root"/build-package/vellora_*.deb 2>/dev/null | head -1)}"
[ -n "$deb" ] && [ -f "$deb" ] || { echo "package-test-fresh: no package (run scripts/package.sh first)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "package-test-fresh: needs root (debootstrap, chroot)" >&2; exit 1; }
mirror="${VELLORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

target="$(mktemp -d /var/tmp/vellora-fresh.XXXXXX)"
chmod 755 "$target"  # apt downloads as _apt, which must reach the root
cleanup() {
  umount "$target/proc" 2>/dev/null || true
  rm -rf --one-file-system "$target"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start=$SECONDS
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$target.log" 2>&1 ||
  { tail -20 "$target.log"; rm -f "$target.log"; exit 1; }
rm -f "$target.log"
echo "package-test-fresh: Debian 12 in $target ($((SECONDS - start)) s)"
mount -t proc proc "$target/proc"
cp "$deb" "$target/tmp/"
in_root() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
# Everything but apt's and dpkg's own records, caches, logs and run-time state.
snapshot() {
  in_root find / -xdev \( -path /proc -o -path /tmp -o -path /var/cache -o -path /var/lib/apt -o -path /var/log \) -prune \
    -o -path /run -prune -o ! -name '*-old' -printf '%y %p\n' | sort
}

in_root apt-get -q update >/dev/null
# First installation: apt-get fetches every dependency from the mirror.
in_root apt-get -q -y install "/tmp/$(basename "$deb")" >"$target/tmp/install.log" 2>&1 ||
  { tail -30 "$target/tmp/install.log"; echo "package-test-fresh: FAIL: apt-get install" >&2; exit 1; }
echo "package-test-fresh: installed with $(grep -c '^Setting up' "$target/tmp/install.log") packages ($((SECONDS - start)) s)"
works() {
  in_root sh -c 'cd /tmp && vellora render testcard:160x90 fresh.png --feather 30 -q && vellora info >/dev/null &&
    rm fresh.png' || { echo "package-test-fresh: FAIL: the installed vellora does not run" >&2; exit 1; }
}
works
echo "package-test-fresh: vellora render testcard: works"
# What vellora itself leaves: its dependencies stay, it is purged, installed and
# used again, purged again; the two purged states must be the same. (Whatever the
# dependencies' own scripts leave after their removal is Debian's, reported below.)
in_root apt-get -q -y purge vellora >/dev/null 2>&1
snapshot >"$target/tmp/before"
in_root apt-get -q -y install "/tmp/$(basename "$deb")" >/dev/null 2>&1
works
in_root apt-get -q -y purge vellora >/dev/null 2>&1
snapshot >"$target/tmp/after"
if ! diff "$target/tmp/before" "$target/tmp/after" >"$target/tmp/diff"; then
  echo "package-test-fresh: FAIL: purging vellora left the system changed:" >&2
  head -30 "$target/tmp/diff" >&2
  exit 1
fi
echo "package-test-fresh: apt-get purge vellora left nothing ($((SECONDS - start)) s)"
in_root apt-get -q -y autoremove --purge >"$target/tmp/autoremove.log" 2>&1
echo "package-test-fresh: autoremove took out $(grep -c '^Removing ' "$target/tmp/autoremove.log") dependencies ($((SECONDS - start)) s in all)"
