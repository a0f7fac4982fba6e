#!/usr/bin/env bash
# What the OBS filter adds to a frame (read-back, render, upload) at 1080p and
# 4K against the embedded render alone, in one run, on a virtual display.
#   bench/obs_bench.sh [BUILD] [ROUNDS]   (default build/, 6 rounds)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
echo "# $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uptime | sed 's/.*load average: //' | cut -d, -f1) load"
xvfb-run -a -s "-screen 0 1280x720x24" "$build/bin/vellora_obs_bench" "$build/obs-plugins/vellora-obs.so" \
  "$build/obs-plugins-data/vellora-obs" "${2:-6}"
