#!/usr/bin/env bash
# Frames OBS Studio lags for rendering in a 1080p30 recording of 20 seconds,
# without and with the filter, in one run (OBS under Xvfb, as the tests run it).
#   bench/obs_lag.sh [BUILD]   (default build/, with its tests built)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
echo "# $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uptime | sed 's/.*load average: //' | cut -d, -f1) load"
"$build/bin/vellora_tests" --gtest_also_run_disabled_tests --gtest_filter='ObsStudioBench.*' | grep -E 'frames drawn|FAILED'
