#!/usr/bin/env bash
# The HDF4 file size limit met at full size: conditionmap on a grid whose VCI cannot be held by one
# HDF4 file (default 28000 x 28000 cells of noise: about 2.3 GB of deflated VCI) must stop with
# status 255, say that the file reached HDF4's 2 GiB limit and suggest smaller regions, and leave
# neither the output nor a temporary file. Needs about 11 GB of memory and 4 GB of disk.
# usage: bench/grid/prove_2gib_limit.sh <build dir> <data dir> [size, default 28000]
set -euo pipefail
build=$(cd "$1" && pwd)
data=$2
size=${3:-28000}
bin=$build/bin
mkdir -p "$data"
if [[ ! -f $data/ndvi.hdf || ! -f $data/extremes.hdf ]]; then
    /usr/bin/time -f "inputs written in %e s, peak %M kB" \
        "$bin/conditionmap_benchgen" "$data" "$size" 1 noise >/dev/null
fi
stat -c 'input %n %s bytes' "$data/extremes.hdf" "$data/ndvi.hdf"
rm -f "$data/vci.hdf"
set +e
/usr/bin/time -o "$data/time.txt" -f "conditionmap: %e s, peak %M kB" \
    "$bin/conditionmap" "$data/extremes.hdf" "$data/ndvi.hdf" "$data/vci.hdf" \
    >"$data/stdout.txt" 2>"$data/stderr.txt"
status=$?
set -e
echo "status $status"
echo "stdout:"; cat "$data/stdout.txt"
echo "stderr:"; cat "$data/stderr.txt"; cat "$data/time.txt"
left=$(find "$data" -maxdepth 1 \( -name 'vci.hdf*' -o -name '.tmp*' \) | wc -l)
echo "files left at the output: $left"
if [[ $status -eq 255 && $left -eq 0 ]] && grep -q "reached the size limit of an HDF4 file" "$data/stderr.txt"; then
    echo "PROVED: the write stopped at HDF4's limit with its message and left nothing behind"
else
    echo "NOT PROVED" >&2
    exit 1
fi
