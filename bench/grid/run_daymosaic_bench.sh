#!/usr/bin/env bash
# Benchmark of daymosaic over four generated tiles against its I/O-only baseline: a mask covering
# 2 x 2 tiles (2*size x 2*size cells) made by zonegrid, tiles of size x size cells from
# modis-tilegen. usage: bench/grid/run_daymosaic_bench.sh <build dir> <data dir> [runs, default 3]
# [tile size, default 4800]. The data folder is filled on first use (about 1 GB at full size).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
runs=${3:-3}
size=${4:-4800}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../extremes/benchpair.sh"
bin=$build/bin
mkdir -p "$data"
data=$(cd "$data" && pwd)
for tile in h18v04 h19v04 h18v05 h19v05; do
    [[ -f $data/$tile.$size.hdf ]] ||
        "$bin/modis-tilegen" --tile "$tile" --size "$size" --uncompressed "$data/$tile.$size.hdf" >/dev/null
    echo "$data/$tile.$size.hdf"
done >"$data/list.$size.txt"
if [[ ! -f $data/mask.$size.hdf ]]; then
    # The upper-left corner of h18v04 is (0, 5559752.598333) on the sinusoidal tile grid.
    cell=$(awk -v n="$size" 'BEGIN { printf "%.10f", 2 * 20015109.354 / 36 / n }')
    lrx=$(awk -v c="$cell" -v n="$size" 'BEGIN { printf "%.6f", 2 * n * c }')
    lry=$(awk -v c="$cell" -v n="$size" 'BEGIN { printf "%.6f", 5559752.598333 - 2 * n * c }')
    gdal_create -q -of GTiff -ot Byte -outsize $((2 * size)) $((2 * size)) -burn 255 \
        -a_ullr 0 5559752.598333 "$lrx" "$lry" "$data/mask.$size.tif"
    "$bin/zonegrid" "$data/mask.$size.tif" "$data/mask.$size.hdf" "$data/h18v04.$size.hdf" >/dev/null
fi
# The baseline writes the NDVI bytes of a first daymosaic run (deflate's cost depends on them).
if [[ ! -f $data/ndvi.$size.raw ]]; then
    "$bin/daymosaic" "$data/list.$size.txt" "$data/mask.$size.hdf" "$data/day.$size.hdf" >/dev/null || true
    "$bin/daymosaic_baseline" --dump "$data/day.$size.hdf" "$data/ndvi.$size.raw"
fi
# Both end with status 1 after a complete run.
ended_with_1() { "$@"; [[ $? -eq 1 ]]; }
export -f ended_with_1
benchpair daymosaic "$runs" \
    -- bash -c 'ended_with_1 "$@"' _ "$bin/daymosaic" "$data/list.$size.txt" "$data/mask.$size.hdf" "$data/day.$size.hdf" \
    -- bash -c 'ended_with_1 "$@"' _ "$bin/daymosaic_baseline" "$data/list.$size.txt" "$data/mask.$size.hdf" "$data/day_base.$size.hdf" \
       "$data/ndvi.$size.raw"
