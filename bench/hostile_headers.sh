#!/usr/bin/env bash
# Peak resident memory and seconds of `vellora render` on hostile headers of
# every format the image library reads (made by bench/hostile_files.py: small
# files whose headers claim huge pictures or gigabyte-sized sections), each
# beside a good file of the same format. A hostile file passes when it is
# refused (exit 1) in at most 5 s and 400 MB, with one line naming the file,
# and nothing is written; a good file passes when it renders.
# Usage: bench/hostile_headers.sh [BUILD_DIR]
# Each run is capped (8 GB of address space, 60 s) so a regression cannot take
# the machine down; a capped run shows as failed.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/bench-lib.sh"
bench_init hostile_headers "${1:-}"
bench_need oiiotool openimageio-tools /usr/bin/time time

python3 "$root/bench/hostile_files.py" "$work/in" >"$work/list"

printf '%-24s %-8s %8s %7s %5s  %s\n' file kind "peak MB" seconds exit message
status=0
while read -r kind name what; do
    rm -f "$work/out.tif"
    set +e
    /usr/bin/time -o "$work/time" -f '%M %e' timeout 60 prlimit --as=$((8 << 30)) \
        "$vellora" render "$work/in/$name" "$work/out.tif" -q 2>"$work/err" >/dev/null
    rc=$?
    set -e
    read -r kb seconds < <(tail -1 "$work/time")
    mb=$((kb / 1024))
    message="$(head -c 300 "$work/err" | tr '\n' ' ' | sed "s|$work/in/||g")"
    lines=$(wc -l <"$work/err")
    ok=yes
    if [ "$kind" = good ]; then
        [ "$rc" = 0 ] && [ -s "$work/out.tif" ] || ok=no
    else
        [ "$rc" = 1 ] && [ ! -e "$work/out.tif" ] && [ "$lines" = 1 ] && [ "$mb" -le 400 ] &&
            [ "$(echo "$seconds <= 5" | bc -l)" = 1 ] && grep -q "$name" "$work/err" || ok=no
    fi
    [ "$ok" = yes ] || status=1
    printf '%-24s %-8s %8d %7.2f %5d  %s%s\n' "$name" "$kind" "$mb" "$seconds" "$rc" \
        "$([ "$ok" = yes ] || echo 'FAILS: ')" "${message:-(claims $what)}"
done <"$work/list"
exit $status
