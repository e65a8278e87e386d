#!/bin/sh
# Times tallyband against reading the same rasters through GDAL in the same blocks, and against
# `gdalinfo -hist`, alternating the runs; prints the median of each. Usage:
#   bench/stats/run_bench.sh <build folder> [runs] [work folder]
# The inputs (about 0.7 GB) are made once in the work folder and kept for later runs.
set -eu
build=${1:?build folder}
runs=${2:-5}
work=${3:-${TMPDIR:-/tmp}/tallyband-bench}
bench=$build/bin/tallyband_bench
prog=$build/bin/tallyband
mkdir -p "$work"
[ -f "$work/plain.tif" ] || "$bench" generate-plain "$work/plain.tif" 20000
[ -f "$work/mask.tif" ] || "$bench" generate-mask "$work/data240.tif" "$work/mask.tif"

# Runs the command and prints its processor time (user + system) in seconds: on a shared machine
# the wall time mostly measures the wait for a core. The wall time goes to <name>.wall.
seconds() {
    /usr/bin/time -f "%e %U %S" -o "$work/last.time" "$@" > /dev/null 2>&1
    awk '{print $2 + $3}' "$work/last.time"
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

rm -f "$work"/*.times
load=$(cut -d' ' -f1-3 /proc/loadavg)
# Warm the page cache so that every command reads the same cached bytes.
cat "$work/plain.tif" "$work/mask.tif" "$work/data240.tif" > /dev/null
i=0
while [ "$i" -lt "$runs" ]; do
    seconds "$bench" read-plain "$work/plain.tif" >> "$work/baseline.times"
    seconds "$prog" -t OTHER10 "$work/plain.tif" >> "$work/plain.times"
    seconds "$bench" read-mask "$work/data240.tif" "$work/mask.tif" >> "$work/readboth.times"
    seconds "$prog" -t OTHER10 -m "$work/mask.tif" "$work/data240.tif" >> "$work/mask.times"
    i=$((i + 1))
done
seconds gdalinfo -hist "$work/plain.tif" >> "$work/gdalinfo.times"
rm -f "$work/plain.tif.aux.xml"

b=$(median < "$work/baseline.times"); p=$(median < "$work/plain.times")
r=$(median < "$work/readboth.times"); m=$(median < "$work/mask.times")
g=$(median < "$work/gdalinfo.times")
echo "load before the runs: $load; times are user + system processor seconds, medians of $runs"
echo "plain 20000x20000: tallyband $p s, GDAL block read $b s, ratio $(echo "scale=3; $p / $b" | bc)"
echo "plain 20000x20000: gdalinfo -hist $g s, tallyband/gdalinfo $(echo "scale=3; $p / $g" | bc)"
echo "mask 2000x2000@240m vs 16000x16000@30m: tallyband $m s, reading both $r s," \
     "ratio $(echo "scale=3; $m / $r" | bc)"
