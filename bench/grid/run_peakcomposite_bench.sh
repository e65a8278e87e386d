#!/usr/bin/env bash
# Benchmark of peakcomposite over 16 daily NDVI grids of 4800 x 4800 cells against its I/O-only
# baseline. usage: bench/grid/run_peakcomposite_bench.sh <build dir> <data dir> [runs, default 5]
# The data folder is filled by extremes_benchgen on first use (about 700 MB).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../extremes/benchpair.sh"
bin=$build/bin
[[ -f $data/daily/list.txt ]] || "$bin/extremes_benchgen" daily "$data/daily" 4800 16 >/dev/null

# A first run of the program, untimed, leaves its output fields as raw dumps: the baseline writes
# exactly those bytes, since deflating the quality layer costs far more than deflating NDVI.
"$bin/peakcomposite" "$data/daily/list.txt" "$data/composite.hdf" >/dev/null
mkdir -p "$data/raw_composite"
for field in sur_ndvi_b02_b01 sur_ndvi_b02_b01_8bit sur_ndvi_b02_b01_qc; do
    "$bin/extremes_benchgen" dump "$data/composite.hdf" "$field" "$data/raw_composite/$field.raw"
done

benchpair peakcomposite "$runs" \
    -- "$bin/peakcomposite" "$data/daily/list.txt" "$data/composite.hdf" \
    -- "$bin/peakcomposite_baseline" "$data/daily/list.txt" "$data/composite_base.hdf" \
    "$data/raw_composite"
