#!/usr/bin/env bash
# Benchmark of conditionmap on a 4800 x 4800 grid against its I/O-only baseline, median of
# alternating runs with wall time and peak memory.
# usage: bench/grid/run_conditionmap_bench.sh <build dir> <data dir> [runs, default 5] [size]
# The data folder is filled by conditionmap_benchgen on first use (about 150 MB).
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
runs=${3:-5}
size=${4:-4800}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../extremes/benchpair.sh"
bin=$build/bin
[[ -f $data/ndvi.hdf ]] || "$bin/conditionmap_benchgen" "$data" "$size" >/dev/null
# The baseline writes the values of this reference output (see conditionmap_baseline.cpp).
"$bin/conditionmap" "$data/extremes.hdf" "$data/ndvi.hdf" "$data/vci_reference.hdf" >/dev/null

benchpair conditionmap "$runs" \
    -- "$bin/conditionmap" "$data/extremes.hdf" "$data/ndvi.hdf" "$data/vci.hdf" \
    -- "$bin/conditionmap_baseline" "$data/extremes.hdf" "$data/ndvi.hdf" \
       "$data/vci_reference.hdf" "$data/vci_base.hdf"
stat -c '%s %n' "$data/vci.hdf" "$data/vci_base.hdf"
