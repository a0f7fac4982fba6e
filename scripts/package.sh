#!/usr/bin/env bash
# Builds the Debian package vellora_VERSION-1_ARCH.deb: the `package` preset
# (Release for the /usr prefix, no tests) in build-package/, then CPack.
# VELLORA_PACKAGE_BUILD_DIR builds elsewhere. Prints the package's path last.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELLORA_PACKAGE_BUILD_DIR:-$root/build-package}"

"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset package -B "$build")
cmake --build "$build" -j2 --target package
# CPack leaves earlier versions' packages beside the new one: name the newest.
deb="$(ls -t "$build"/vellora_*.deb | head -1)"
echo "package: $deb"
