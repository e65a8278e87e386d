#!/usr/bin/env bash
# Benchmarks of periodextremes (20 years of period composites) and dailyvci (7-day windows, 10
# earlier years) against their I/O-only baselines on 4800 x 4800 grids. The daily condition grid is
# written uncompressed, so the dailyvci baseline writes its read buffer.
# usage: bench/extremes/run_extremes_bench.sh <build dir> <data dir> [runs, default 5]
# The data folder is filled by extremes_benchgen on first use (about 3 GB).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchpair.sh"
bin=$build/bin
mkdir -p "$data"
[[ -d $data/period ]] || "$bin/extremes_benchgen" period "$data/period" 4800 2001 2020 >/dev/null
[[ -d $data/daily8 ]] ||
    "$bin/extremes_benchgen" daily8 "$data/daily8" 4800 2020.07.01 2020.07.07 10 >/dev/null

# A first run of periodextremes, untimed, leaves its output fields as raw dumps: the baseline writes
# exactly those bytes, since the cost of deflating a field depends on its contents.
"$bin/periodextremes" "$data/period" 2001 2020 "$data/extremes.hdf" 1 7 7 >/dev/null
mkdir -p "$data/raw_extremes"
for field in ndvi_min ndvi_max ndvi_min2 ndvi_min3; do
    "$bin/extremes_benchgen" dump "$data/extremes.hdf" "$field" "$data/raw_extremes/$field.raw"
done

benchpair periodextremes "$runs" \
    -- "$bin/periodextremes" "$data/period" 2001 2020 "$data/extremes.hdf" 1 7 7 \
    -- "$bin/periodextremes_baseline" "$data/period" 2001 2020 "$data/extremes_base.hdf" 1 7 7 \
    "$data/raw_extremes"
benchpair dailyvci "$runs" \
    -- "$bin/dailyvci" "$data/daily8" 2020.07.01 2020.07.07 10 "$data/vci.hdf" \
    -- "$bin/dailyvci_baseline" "$data/daily8" 2020.07.01 2020.07.07 10 "$data/vci_base.hdf"
