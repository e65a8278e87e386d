# shellcheck shell=bash
# Sourced by the grid benchmarks: the mask grid of the 2 x 2 tiles h18v04, h19v04, h18v05 and
# h19v05 at `size` cells a side, every cell inside the area, made once in `data`.
# full_mask BIN DATA SIZE
full_mask() {
    local bin=$1 data=$2 size=$3 cell lrx lry
    [[ -f $data/mask.$size.hdf ]] && return 0
    # The upper-left corner of h18v04 is (0, 5559752.598333) on the sinusoidal tile grid.
    cell=$(awk -v n="$size" 'BEGIN { printf "%.10f", 2 * 20015109.354 / 36 / n }')
    lrx=$(awk -v c="$cell" -v n="$size" 'BEGIN { printf "%.6f", 2 * n * c }')
    lry=$(awk -v c="$cell" -v n="$size" 'BEGIN { printf "%.6f", 5559752.598333 - 2 * n * c }')
    gdal_create -q -of GTiff -ot Byte -outsize $((2 * size)) $((2 * size)) -burn 255 \
        -a_ullr 0 5559752.598333 "$lrx" "$lry" "$data/mask.$size.tif"
    "$bin/zonegrid" "$data/mask.$size.tif" "$data/mask.$size.hdf" "$data/h18v04.$size.hdf" >/dev/null
}
