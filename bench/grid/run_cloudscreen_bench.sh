#!/usr/bin/env bash
# Benchmark of cloudscreen on a full-size daily grid (2 x 2 tiles of size x size cells into a mask
# of 2*size x 2*size) against its I/O-only baseline and against daymosaic's own time on the same
# day, in alternating rounds (daymosaic, cloudscreen, baseline). Tiles and their 1 km state tiles
# come from modis-tilegen --state.
# usage: bench/grid/run_cloudscreen_bench.sh <build dir> <data dir> [rounds, default 3]
# [tile size, default 4800]. The data folder is filled on first use (about 1.2 GB at full size).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
rounds=${3:-3}
size=${4:-4800}
bin=$build/bin
mkdir -p "$data"
data=$(cd "$data" && pwd)
# shellcheck source=bench/grid/full-mask.sh
source "$(dirname "$0")/full-mask.sh"
states=()
for tile in h18v04 h19v04 h18v05 h19v05; do
    [[ -f $data/$tile.$size.hdf && -f $data/MOD09GA.$tile.$size.hdf ]] ||
        "$bin/modis-tilegen" --tile "$tile" --size "$size" --uncompressed --shadows \
            --state "$data/MOD09GA.$tile.$size.hdf" "$data/$tile.$size.hdf" >/dev/null
    echo "$data/$tile.$size.hdf"
    states+=("$data/MOD09GA.$tile.$size.hdf")
done >"$data/list.$size.txt"
full_mask "$bin" "$data" "$size"
[[ -f $data/day.$size.hdf ]] ||
    "$bin/daymosaic" "$data/list.$size.txt" "$data/mask.$size.hdf" "$data/day.$size.hdf" >/dev/null || true
[[ -f $data/screened_ref.$size.hdf ]] ||
    "$bin/cloudscreen" standard "$data/day.$size.hdf" "$data/screened_ref.$size.hdf" "${states[@]}"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
stats=$(mktemp)
declare -A times cpus
for ((i = 1; i <= rounds; i++)); do
    for which in daymosaic cloudscreen baseline; do
        case $which in
        daymosaic) cmd=("$bin/daymosaic" "$data/list.$size.txt" "$data/mask.$size.hdf" "$data/day_run.$size.hdf") ;;
        cloudscreen) cmd=("$bin/cloudscreen" standard "$data/day.$size.hdf" "$data/screened.$size.hdf" "${states[@]}") ;;
        baseline) cmd=("$bin/cloudscreen_baseline" "$data/day.$size.hdf" "$data/screened_ref.$size.hdf"
            "$data/screened_base.$size.hdf" "${states[@]}") ;;
        esac
        /usr/bin/time -f "%e %M %U %S" -o "$stats" "${cmd[@]}" >/dev/null 2>&1 || [[ $which == daymosaic ]]
        # time's last line holds the figures (a line before it notes a non-zero status).
        read -r secs kb user sys < <(tail -n 1 "$stats")
        cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
        echo "round $i $which ${secs}s (cpu ${cpu}s) ${kb}KB load $(cut -d' ' -f1 /proc/loadavg)"
        times[$which]="${times[$which]:-} $secs"
        cpus[$which]="${cpus[$which]:-} $cpu"
    done
done
rm -f "$stats"
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# shellcheck disable=SC2086  # the lists of times are split on purpose
d=$(median ${times[daymosaic]}) c=$(median ${times[cloudscreen]}) b=$(median ${times[baseline]})
# shellcheck disable=SC2086
dc=$(median ${cpus[daymosaic]}) cc=$(median ${cpus[cloudscreen]})
awk -v d="$d" -v c="$c" -v b="$b" -v n="$rounds" -v dc="$dc" -v cc="$cc" 'BEGIN {
    printf "cloudscreen: median of %d: %.2fs; I/O-only baseline %.2fs (ratio %.3f); daymosaic %.2fs (cloudscreen %.1f %% of it)\n",
           n, c, b, c / b, d, 100 * c / d
    printf "processor time: cloudscreen %.2fs, daymosaic %.2fs (%.1f %%)\n", cc, dc, 100 * cc / dc }'
