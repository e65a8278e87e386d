#!/usr/bin/env bash
# Runs every program's benchmark against its I/O-only baseline (the same reads and writes without the
# per-cell work) and, where one exists, against a peer doing the same job another way, and prints one
# table: program, size, median wall time, peak memory, ratio to baseline, ratio to peer (the peer as
# a careful user sets it up), ratio to the same peer with the library's defaults, and with --before
# the same program built from other code (wall time, peak memory, ratio).
#
# usage: bench/run-all.sh [--quick] [--prepare] [--runs N] [--skip PROGRAM]... [--build DIR] [--data DIR]
#                         [--before DIR]
#   --quick   small grids and 3 runs (under a minute); default: real sizes (4800 x 4800 grids,
#             a 20000 x 20000 raster for tallyband) and 5 runs
#   --prepare only generate the inputs (several GB at real sizes), measure nothing
#   --skip    leave out one program's benchmark (repeatable)
#   --build   build folder holding bin/ (default: build)
#   --data    where the generated inputs are kept between runs (default: <build>/bench-data)
#   --before  a build folder of other code (say, the main branch's) whose bin/ programs run in the
#             same rounds on the same inputs, for a before/after comparison in one run
# Program, baseline, peer and the program before run alternately; the medians are compared. The
# inputs are generated on first use and reused. Peers: `gdalinfo -hist` for tallyband, and with
# GDAL's Python bindings and numpy: for the VCI step the same index from the same composite and
# extremes grids, for daymosaic the same ten fields from the same tiles cut to the mask (GeoTIFF
# outputs, deflate level 9). The Python peers run twice: with HDF4_BLOCK_PIXELS large enough that
# GDAL reads each deflated field in one block, inflating it once, as a careful user sets it (the
# peer the ratio is taken against), and with GDAL's default block of a million cells, for which
# GDAL inflates a deflated field from its start again for every block.
# Then tilefetch's own tables (bench/fetch/fetch_bench.py, against the local imitation of the
# archive): files per second beside a curl loop, and the bytes a rerun fetches after a kill -9.
set -euo pipefail

quick=0
prepare=0
skip=" "
runs=""
build=build
data=""
before=""
while [[ $# -gt 0 ]]; do
    case $1 in
        --quick) quick=1 ;;
        --prepare) prepare=1 ;;
        --skip) skip+="$2 "; shift ;;
        --runs) runs=$2; shift ;;
        --build) build=$2; shift ;;
        --data) data=$2; shift ;;
        --before) before=$(cd "$2" && pwd)/bin; shift ;;
        *) echo "usage: $0 [--quick] [--prepare] [--runs N] [--skip PROGRAM]... [--build DIR] [--data DIR] [--before DIR]" >&2
           exit 2 ;;
    esac
    shift
done
build=$(cd "$build" && pwd)
bin=$build/bin
if ((quick)); then
    grid=480; tile=240; raster=4000; years=8; runs=${runs:-3}; data=${data:-$build/bench-data/quick}
else
    grid=4800; tile=4800; raster=20000; years=20; runs=${runs:-5}; data=${data:-$build/bench-data/full}
fi
mkdir -p "$data"
data=$(cd "$data" && pwd)
python=$(sed -n '1s/^#! *\([^ ]*\).*/\1/p' "$(command -v snakemake 2>/dev/null || echo /dev/null)")
[[ -x $python ]] || python=python3

rows=()
times_file=$(mktemp)
trap 'rm -f "$times_file" "$times_file.one"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# run_timed <expected status> <command...>: runs it, appends "seconds kilobytes" to $times_file.
run_timed() {
    local want=$1 status=0
    shift
    /usr/bin/time -f "%e %M" -o "$times_file.one" "$@" >/dev/null 2>&1 || status=$?
    if [[ $status -ne $want ]]; then
        echo "bench: exit status $status (expected $want): $*" >&2
        return 1
    fi
    # time reports a non-zero status on a line of its own before the figures
    tail -n 1 "$times_file.one" >>"$times_file"
}

# measure <program> <size> <status> <peer name|-> -- <program cmd> -- <baseline cmd> [-- <peer cmd>
#         [-- <default-block peer cmd>]]
measure() {
    local name=$1 size=$2 want=$3 peer=$4
    shift 5
    if ((prepare)); then
        echo "bench: inputs of $name ready" >&2
        return 0
    fi
    local -a cmds=() prog=() base=() other=() plain=()
    local which=prog
    for arg in "$@"; do
        if [[ $arg == "--" ]]; then
            case $which in prog) which=base ;; base) which=other ;; *) which=plain ;; esac
            continue
        fi
        case $which in
            prog) prog+=("$arg") ;; base) base+=("$arg") ;; other) other+=("$arg") ;;
            plain) plain+=("$arg") ;;
        esac
    done
    # The program as built from the other code: the same command with that bin/ folder.
    local -a old=()
    [[ -n $before && -x $before/${prog[0]##*/} ]] && old=("$before/${prog[0]##*/}" "${prog[@]:1}")
    local -a tp=() mp=() tb=() tq=() mq=() td=() to=() mo=()
    local i k
    for ((i = 1; i <= runs; i++)); do
        : >"$times_file"
        run_timed "$want" "${prog[@]}" || { rows+=("$name|$size|failed|||"); return 0; }
        run_timed "$want" "${base[@]}" || { rows+=("$name|$size|baseline failed|||"); return 0; }
        if [[ ${#other[@]} -gt 0 ]]; then
            run_timed 0 "${other[@]}" || { rows+=("$name|$size|peer failed|||"); return 0; }
        fi
        if [[ ${#plain[@]} -gt 0 ]]; then
            run_timed 0 "${plain[@]}" || { rows+=("$name|$size|default-block peer failed|||"); return 0; }
        fi
        if [[ ${#old[@]} -gt 0 ]]; then
            run_timed "$want" "${old[@]}" || { rows+=("$name|$size|before failed|||"); return 0; }
        fi
        mapfile -t cmds <"$times_file"
        tp+=("${cmds[0]% *}"); mp+=("${cmds[0]#* }"); tb+=("${cmds[1]% *}")
        k=2
        [[ ${#other[@]} -gt 0 ]] && { tq+=("${cmds[k]% *}"); mq+=("${cmds[k]#* }"); k=$((k + 1)); }
        [[ ${#plain[@]} -gt 0 ]] && { td+=("${cmds[k]% *}"); k=$((k + 1)); }
        [[ ${#old[@]} -gt 0 ]] && { to+=("${cmds[k]% *}"); mo+=("${cmds[k]#* }"); }
    done
    local t m b q qm d o om ratio_peer="-" ratio_plain="-" ratio_before="-"
    t=$(median "${tp[@]}"); m=$(median "${mp[@]}"); b=$(median "${tb[@]}")
    if [[ ${#tq[@]} -gt 0 ]]; then
        q=$(median "${tq[@]}"); qm=$(median "${mq[@]}")
        ratio_peer=$(awk -v t="$t" -v q="$q" -v m="$qm" -v p="$peer" 'BEGIN { printf "%.2f (%s %.2f s, %.0f MB)", t / q, p, q, m / 1024 }')
    fi
    if [[ ${#td[@]} -gt 0 ]]; then
        d=$(median "${td[@]}")
        ratio_plain=$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.2f (%.2f s)", t / d, d }')
    fi
    if [[ ${#to[@]} -gt 0 ]]; then
        o=$(median "${to[@]}"); om=$(median "${mo[@]}")
        ratio_before=$(awk -v t="$t" -v o="$o" -v m="$om" 'BEGIN { printf "%.2f (%.2f s, %.0f MB)", t / o, o, m / 1024 }')
    fi
    rows+=("$(awk -v n="$name" -v s="$size" -v t="$t" -v m="$m" -v b="$b" -v r="$ratio_peer" -v d="$ratio_plain" -v o="$ratio_before" 'BEGIN {
        printf "%s|%s|%.2f s|%.0f MB|%.3f (%.2f s)|%s|%s|%s", n, s, t, m / 1024, t / b, b, r, d, o }')")
    echo "bench: $name done" >&2
}

# have <program> <tools...>: true when the program's benchmark is wanted and every tool is built.
have() {
    local p
    if [[ $skip == *" $1 "* ]]; then
        echo "bench: $1 skipped on request" >&2
        return 1
    fi
    for p in "$@"; do
        if [[ ! -x $bin/$p ]]; then
            echo "bench: $bin/$p is not built; skipped" >&2
            return 1
        fi
    done
}

# The VCI as a user would compute it with GDAL's Python bindings and numpy.
peer_vci=$data/vci_numpy.py
cat >"$peer_vci" <<'PYEOF'
import sys
import numpy as np
from osgeo import gdal

gdal.UseExceptions()
extremes, ndvi_file, out = sys.argv[1:4]


def field(path, name):
    return gdal.Open('HDF4_EOS:EOS_GRID:"%s":MODIS_Grid_2D:%s' % (path, name)).ReadAsArray()


ndvi = field(ndvi_file, "sur_ndvi_b02_b01").astype(np.int32)
high = field(extremes, "ndvi_max").astype(np.int32)
min1 = field(extremes, "ndvi_min").astype(np.int32)
min2 = field(extremes, "ndvi_min2").astype(np.int32)
min3 = field(extremes, "ndvi_min3").astype(np.int32)
base = np.where(min2 - min1 > 3, min2, min3)
span = high - base
valid = ((np.abs(high) <= 10000) & (np.abs(min2) <= 10000) & (np.abs(min3) <= 10000)
         & (np.abs(ndvi) <= 10000) & (ndvi >= -1000))
x = np.maximum(ndvi - base, 0).astype(np.float32) / np.where(span == 0, 1, span).astype(np.float32)
x = np.clip(x.astype(np.float64), 0.0, 1.0)
vci16 = np.where(valid, np.trunc(20000.0 * x - 10000.0), -28672).astype(np.int16)
vci8 = np.where(valid, np.trunc(250.0 * x), 254).astype(np.uint8)
flat = valid & (span == 0)
vci16[flat] = np.where(ndvi[flat] == base[flat], 5000, -28672)
vci8[flat] = np.where(ndvi[flat] == base[flat], 125, 254)
vci16[ndvi == -28673] = -28673
vci8[ndvi == -28673] = 255
reference = gdal.Open('HDF4_EOS:EOS_GRID:"%s":MODIS_Grid_2D:sur_ndvi_b02_b01' % ndvi_file)
for suffix, values, kind in (("16", vci16, gdal.GDT_Int16), ("8", vci8, gdal.GDT_Byte)):
    ds = gdal.GetDriverByName("GTiff").Create(out + suffix + ".tif", values.shape[1],
                                              values.shape[0], 1, kind,
                                              ["COMPRESS=DEFLATE", "ZLEVEL=9", "TILED=YES"])
    ds.SetGeoTransform(reference.GetGeoTransform())
    ds.SetProjection(reference.GetProjection())
    ds.GetRasterBand(1).WriteArray(values)
    ds = None
PYEOF

# The daily grid as a user would make it with GDAL's Python bindings and numpy: the ten fields
# daymosaic writes (the eight fields carried from the tiles, each with its fill value where no tile
# lies, and the 16- and 8-bit NDVI of each tile's window over the mask grid, fill outside the
# mask), each a GeoTIFF.
peer_mosaic=$data/mosaic_numpy.py
cat >"$peer_mosaic" <<'PYEOF'
import sys
import numpy as np
from osgeo import gdal

gdal.UseExceptions()
tile_list, mask_file, out = sys.argv[1:4]
carried = ["num_observations", "sur_refl_b01_1", "sur_refl_b02_1", "QC_250m_1", "obscov_1",
           "iobs_res_1", "orbit_pnt_1", "granule_pnt_1"]


def band(path, name):
    return gdal.Open('HDF4_EOS:EOS_GRID:"%s":MODIS_Grid_2D:%s' % (path, name))


def write(name, values, kind):
    if values.dtype == np.int8 and kind == gdal.GDT_Byte:
        values = values.view(np.uint8)  # GDAL before 3.7 has no signed byte type
    ds = gdal.GetDriverByName("GTiff").Create(out + "_" + name + ".tif", cols, rows, 1, kind,
                                              ["COMPRESS=DEFLATE", "ZLEVEL=9", "TILED=YES"])
    ds.SetGeoTransform(mask_ds.GetGeoTransform())
    ds.SetProjection(mask_ds.GetProjection())
    ds.GetRasterBand(1).WriteArray(values)


mask_ds = band(mask_file, "sur_ndvi_b02_b01")
mask = mask_ds.ReadAsArray()
mx, cell, _, my, _, _ = mask_ds.GetGeoTransform()
rows, cols = mask.shape
ndvi = np.full((rows, cols), -28672, dtype=np.int16)
fields = {}
for path in open(tile_list).read().split():
    red_ds = band(path, "sur_refl_b01_1")
    tx, _, _, ty, _, _ = red_ds.GetGeoTransform()
    c0, r0 = int(round((tx - mx) / cell)), int(round((my - ty) / cell))
    r1, r2 = max(r0, 0), min(r0 + red_ds.RasterYSize, rows)
    c1, c2 = max(c0, 0), min(c0 + red_ds.RasterXSize, cols)
    if r1 >= r2 or c1 >= c2:
        continue
    window = (c1 - c0, r1 - r0, c2 - c1, r2 - r1)
    values = {}
    for name in carried:
        field = red_ds if name == "sur_refl_b01_1" else band(path, name)
        values[name] = field.GetRasterBand(1).ReadAsArray(*window)
        if name not in fields:
            fill = field.GetRasterBand(1).GetNoDataValue()
            fields[name] = np.full((rows, cols), 0 if fill is None else fill,
                                   dtype=values[name].dtype)
        fields[name][r1:r2, c1:c2] = values[name]
    red = values["sur_refl_b01_1"].astype(np.int32)
    nir = values["sur_refl_b02_1"].astype(np.int32)
    usable = (red >= -100) & (red <= 16000) & (nir >= -100) & (nir <= 16000)
    sums = np.where(usable, nir + red + 200, 1)
    sums[sums == 0] = 1
    value = np.trunc(10000.0 * (nir - red) / sums)
    ndvi[r1:r2, c1:c2] = np.where(usable, value, -28672).astype(np.int16)
valid = np.abs(ndvi.astype(np.int32)) <= 10000
ndvi8 = np.where(valid, np.trunc(ndvi * 0.0125 + 125), 254).astype(np.uint8)
ndvi[mask == 0] = -28673
ndvi8[mask == 0] = 255
kinds = {np.dtype(np.int8): gdal.GDT_Int8 if hasattr(gdal, "GDT_Int8") else gdal.GDT_Byte,
         np.dtype(np.uint8): gdal.GDT_Byte, np.dtype(np.int16): gdal.GDT_Int16,
         np.dtype(np.uint16): gdal.GDT_UInt16}
for name in carried:
    if name in fields:
        write(name, fields[name], kinds[fields[name].dtype])
        del fields[name]
write("ndvi16", ndvi, gdal.GDT_Int16)
write("ndvi8", ndvi8, gdal.GDT_Byte)
PYEOF

# HDF4_BLOCK_PIXELS as a careful user sets it: every field of these inputs in one block.
best_block=(env HDF4_BLOCK_PIXELS=100000000)

# raw_dump <folder> <output> <program> <args...> -- <fields...>: runs the program once, untimed,
# and leaves the named fields of its output file as raw dumps in <folder>.
raw_dump() {
    local folder=$1 output=$2 program=$3
    shift 3
    local args=()
    while [[ $1 != -- ]]; do args+=("$1"); shift; done
    shift
    "$bin/$program" "${args[@]}" >/dev/null
    mkdir -p "$folder"
    local field
    for field in "$@"; do
        "$bin/extremes_benchgen" dump "$output" "$field" "$folder/$field.raw"
    done
}

echo "bench: inputs in $data (generated on first use), $runs runs each" >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

if have daymosaic modis-tilegen tile_fields zonegrid daymosaic_baseline; then
    d=$data/daymosaic
    mkdir -p "$d"
    for t in h18v04 h19v04 h18v05 h19v05; do
        # Stored as the archive stores its tiles: deflated chunks of 32 rows, level 8.
        if [[ ! -f $d/$t.$tile.archive.hdf ]]; then
            "$bin/modis-tilegen" --tile "$t" --size "$tile" "$d/$t.$tile.generated.hdf" >/dev/null
            "$bin/tile_fields" archive "$d/$t.$tile.generated.hdf" "$d/$t.$tile.archive.hdf"
            rm "$d/$t.$tile.generated.hdf"
        fi
        echo "$d/$t.$tile.archive.hdf"
    done >"$d/list.$tile.txt"
    if [[ ! -f $d/mask.$tile.hdf ]]; then
        # The upper-left corner of h18v04 on the sinusoidal tile grid is (0, 5559752.598333).
        read -r lrx lry < <(awk -v n="$tile" 'BEGIN { c = 2 * 20015109.354 / 36 / n;
             printf "%.6f %.6f\n", 2 * n * c, 5559752.598333 - 2 * n * c }')
        gdal_create -q -of GTiff -ot Byte -outsize $((2 * tile)) $((2 * tile)) -burn 255 \
            -a_ullr 0 5559752.598333 "$lrx" "$lry" "$d/mask.$tile.tif"
        "$bin/zonegrid" "$d/mask.$tile.tif" "$d/mask.$tile.hdf" "$d/h18v04.$tile.archive.hdf" >/dev/null
    fi
    # The baseline writes the NDVI bytes of an untimed first run (deflate's cost depends on them).
    if ((!prepare)); then
        "$bin/daymosaic" "$d/list.$tile.txt" "$d/mask.$tile.hdf" "$d/day.hdf" >/dev/null || true
        "$bin/daymosaic_baseline" --dump "$d/day.hdf" "$d/ndvi.$tile.raw"
    fi
    peer=(-- "${best_block[@]}" "$python" "$peer_mosaic" "$d/list.$tile.txt" "$d/mask.$tile.hdf" "$d/day_numpy"
          -- "$python" "$peer_mosaic" "$d/list.$tile.txt" "$d/mask.$tile.hdf" "$d/day_numpy")
    "$python" -c 'import numpy, osgeo' 2>/dev/null || peer=()
    measure daymosaic "4 tiles, mask $((2 * tile))x$((2 * tile))" 1 "numpy" \
        -- "$bin/daymosaic" "$d/list.$tile.txt" "$d/mask.$tile.hdf" "$d/day.hdf" \
        -- "$bin/daymosaic_baseline" "$d/list.$tile.txt" "$d/mask.$tile.hdf" "$d/day_base.hdf" \
           "$d/ndvi.$tile.raw" "${peer[@]}"
fi

if have peakcomposite extremes_benchgen peakcomposite_baseline; then
    d=$data/daily.$grid
    [[ -f $d/list.txt ]] || "$bin/extremes_benchgen" daily "$d" "$grid" 16 >/dev/null
    # The baseline writes the bytes of an untimed first run: deflate time depends on the content.
    raw_dump "$data/raw_composite" "$data/composite.hdf" peakcomposite "$d/list.txt" "$data/composite.hdf" \
        -- sur_ndvi_b02_b01 sur_ndvi_b02_b01_8bit sur_ndvi_b02_b01_qc
    measure peakcomposite "16 x ${grid}x$grid" 0 - \
        -- "$bin/peakcomposite" "$d/list.txt" "$data/composite.hdf" \
        -- "$bin/peakcomposite_baseline" "$d/list.txt" "$data/composite_base.hdf" \
           "$data/raw_composite"
fi

if have periodextremes extremes_benchgen periodextremes_baseline; then
    d=$data/period.$grid
    last=$((2000 + years))
    [[ -d $d ]] || "$bin/extremes_benchgen" period "$d" "$grid" 2001 "$last" >/dev/null
    raw_dump "$data/raw_extremes" "$data/extremes.hdf" periodextremes "$d" 2001 "$last" "$data/extremes.hdf" 1 7 7 \
        -- ndvi_min ndvi_max ndvi_min2 ndvi_min3
    measure periodextremes "$years years x ${grid}x$grid" 0 - \
        -- "$bin/periodextremes" "$d" 2001 "$last" "$data/extremes.hdf" 1 7 7 \
        -- "$bin/periodextremes_baseline" "$d" 2001 "$last" "$data/extremes_base.hdf" 1 7 7 \
           "$data/raw_extremes"
fi

if have dailyvci extremes_benchgen dailyvci_baseline; then
    d=$data/daily8.$grid
    [[ -d $d ]] || "$bin/extremes_benchgen" daily8 "$d" "$grid" 2020.07.01 2020.07.07 10 >/dev/null
    measure dailyvci "7 days x 11 years x ${grid}x$grid" 0 - \
        -- "$bin/dailyvci" "$d" 2020.07.01 2020.07.07 10 "$data/dailyvci.hdf" \
        -- "$bin/dailyvci_baseline" "$d" 2020.07.01 2020.07.07 10 "$data/dailyvci_base.hdf"
fi

if have conditionmap conditionmap_benchgen conditionmap_baseline; then
    d=$data/vci.$grid
    [[ -f $d/ndvi.hdf ]] || "$bin/conditionmap_benchgen" "$d" "$grid" >/dev/null
    # The baseline writes the values of a reference output.
    "$bin/conditionmap" "$d/extremes.hdf" "$d/ndvi.hdf" "$d/vci_reference.hdf" >/dev/null
    peer=(-- "${best_block[@]}" "$python" "$peer_vci" "$d/extremes.hdf" "$d/ndvi.hdf" "$d/vci_numpy"
          -- "$python" "$peer_vci" "$d/extremes.hdf" "$d/ndvi.hdf" "$d/vci_numpy")
    "$python" -c 'import numpy, osgeo' 2>/dev/null || peer=()
    measure conditionmap "${grid}x$grid" 0 "numpy" \
        -- "$bin/conditionmap" "$d/extremes.hdf" "$d/ndvi.hdf" "$d/vci.hdf" \
        -- "$bin/conditionmap_baseline" "$d/extremes.hdf" "$d/ndvi.hdf" "$d/vci_reference.hdf" \
           "$d/vci_base.hdf" "${peer[@]}"
fi

if have tallyband tallyband_bench; then
    f=$data/plain.$raster.tif
    [[ -f $f ]] || "$bin/tallyband_bench" generate-plain "$f" "$raster" >/dev/null
    cat "$f" >/dev/null
    measure tallyband "${raster}x$raster" 0 "gdalinfo -hist" \
        -- "$bin/tallyband" -t OTHER10 "$f" \
        -- "$bin/tallyband_bench" read-plain "$f" \
        -- env GDAL_PAM_ENABLED=NO gdalinfo -hist "$f"
fi

if ((prepare)); then
    exit 0
fi

if ((!quick)) && have cropshare cropshare_bench; then
    line=$("$bin/cropshare_bench" "$data/cropshare" "$runs" | grep '^median' || true)
    # "median of N: read both clips A s, share stage B s, ratio R"
    rows+=("$(echo "$line" | awk -F'[ ,]+' '{ printf "cropshare (share stage)|3000x3000 + 24000x24000|%s s|-|%s (%s s)|-|-",
             $11, $14, $7 }')")
fi

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo
echo "Machine: $(nproc) cores, $cpu; load average before $load_before, after $load_after"
echo "Medians of $runs alternating runs; ratios are wall time of the program over the baseline's"
echo "(the same reads and writes without the per-cell work) and over the peer's."
echo
printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' program size "median wall" "peak memory" \
    "ratio to baseline (baseline)" "ratio to peer (peer: wall, memory)" \
    "ratio to default-block peer (its wall)" "ratio to before (before: wall, memory)"
echo "|---|---|---|---|---|---|---|---|"
for row in "${rows[@]}"; do
    IFS='|' read -r a b c d e f g h <<<"$row"
    printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$a" "$b" "$c" "${d:--}" "${e:--}" "${f:--}" "${g:--}" "${h:--}"
done

if have tilefetch modis-tilegen gridprobe; then
    if command -v curl >/dev/null; then
        fetch_sizes=()
        ((quick)) && fetch_sizes=(--files 8 --size 240 --large-size 1200)
        echo
        "$python" "$(dirname "$0")/fetch/fetch_bench.py" --build "$build" --data "$data/fetch" \
            --runs "$runs" "${fetch_sizes[@]}" || echo "bench: tilefetch's benchmark failed" >&2
    else
        echo "bench: curl (the peer of tilefetch) is missing; tilefetch skipped" >&2
    fi
fi
