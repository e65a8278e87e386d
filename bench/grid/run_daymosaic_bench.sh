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
# shellcheck source=bench/grid/full-mask.sh
source "$(dirname "$0")/full-mask.sh"
for tile in h18v04 h19v04 h18v05 h19v05; do
    [[ -f $data/$tile.$size.hdf ]] ||
        "$bin/modis-tilegen" --tile "$tile" --size "$size" --uncompressed "$data/$tile.$size.hdf" >/dev/null
    echo "$data/$tile.$size.hdf"
done >"$data/list.$size.txt"
full_mask "$bin" "$data" "$size"
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
