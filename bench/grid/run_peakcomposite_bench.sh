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

benchpair peakcomposite "$runs" \
    -- "$bin/peakcomposite" "$data/daily/list.txt" "$data/composite.hdf" \
    -- "$bin/peakcomposite_baseline" "$data/daily/list.txt" "$data/composite_base.hdf"
