#!/bin/bash
# Follows docs/slurm.md word for word on this machine: runs its shell blocks
# in order (a one-node Slurm, the sample, the job array) with its job script
# saved as the page says, then checks that the array wrote every frame and
# that each equals, byte for byte, the frame of one `vellora render` of the
# whole clip. Needs root and a machine with no Slurm or MUNGE running; stops
# the daemons it started and puts back any slurm.conf it replaced.
#   scripts/slurm/test-doc.sh [BUILD]   BUILD: the build folder [build]; an
#                                       installed vellora on PATH is used first
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
export VELLORA_BUILD=$(realpath "${1:-$source_dir/build}")
started=$(date +%s)

fail() {
    echo "test-doc: $*" >&2
    exit 1
}
alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

[ "$(id -u)" -eq 0 ] || fail "run as root: the page sets up Slurm as root"
for pidfile in /run/slurmctld.pid /run/slurmd.pid /run/munge/munged.pid; do
    alive "$pidfile" && fail "$pidfile names a running daemon; this test starts its own"
done

scratch=$(mktemp -d /tmp/vellora-slurm-doc.XXXXXX)
conf=/etc/slurm/slurm.conf
[ -f "$conf" ] && cp -p "$conf" "$scratch/slurm.conf.saved"
cleanup() {
    local pidfile
    for pidfile in /run/slurmd.pid /run/slurmctld.pid /run/munge/munged.pid; do
        if alive "$pidfile"; then
            kill "$(cat "$pidfile")" 2>/dev/null || true
        fi
    done
    # Each stops within seconds of SIGTERM; wait so that a rerun finds them gone.
    for _ in $(seq 1 30); do
        alive /run/slurmd.pid || alive /run/slurmctld.pid || alive /run/munge/munged.pid || break
        sleep 1
    done
    if [ -f "$scratch/slurm.conf.saved" ]; then
        cp -p "$scratch/slurm.conf.saved" "$conf"
    else
        rm -f "$conf"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# The page's blocks: every ```sh block in order into one script, the ```bash block as the job.
page=$source_dir/docs/slurm.md
awk -v steps="$scratch/steps.sh" -v job="$scratch/render.sbatch" '
    /^```sh$/ { out = steps; next }
    /^```bash$/ { out = job; next }
    /^```/ { out = ""; next }
    out != "" { print > out }
' "$page"
[ -s "$scratch/steps.sh" ] && [ -s "$scratch/render.sbatch" ] || fail "$page has no shell blocks or no job"

# The page runs from the source folder; here a folder of its own, with the repository's scripts.
work=$scratch/work
mkdir -p "$work/clip"
ln -s "$source_dir/scripts" "$work/scripts"
cp "$scratch/render.sbatch" "$work/clip/render.sbatch"
(cd "$work" && bash -euo pipefail "$scratch/steps.sh") || fail "a step of $page failed (above)"

# What the page promises: sixty frames, the same as one command's.
clip=$work/clip
count=$(ls "$clip"/out.*.tif | wc -l)
[ "$count" -eq 60 ] || fail "the job array wrote $count frames, not 60"
vellora=$(PATH="$PATH:$VELLORA_BUILD/bin" command -v vellora)
(cd "$clip" && "$vellora" render 'in.####.tif' 'one.####.tif' --keys keys.json -q)
for f in $(seq -f %04g 1 60); do
    cmp -s "$clip/out.$f.tif" "$clip/one.$f.tif" || fail "frame $f of the array differs from one command's"
done
grep -q '"frame":1,' "$clip"/logs/vellora-clip-*_0.out || fail "task 0's log has no JSON line for frame 1"
echo "test-doc: $page followed word for word: 60 frames, equal to one command's, in $(($(date +%s) - started)) s"
