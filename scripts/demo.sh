#!/usr/bin/env bash
# The demo: generates a small sample of daily reflectance tiles (2 x 2 tiles, several years, a few
# weeks each) with a drought and a wetter region in the latest year, serves them from the local
# imitation of the archive (loopback only, stopped when the demo ends), runs the workflow with a
# source pointing at it (the fetch stage: search, download, verification; then the chain) on all
# cores, and shows where the products are, the VCI histogram of the latest period and the mean VCI
# inside and outside the drought region.
#
# Usage: scripts/demo.sh [build folder]   (default: build; the programs are taken from <build>/bin)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
bin=$(cd "$build/bin" 2>/dev/null && pwd) || { echo "demo: no programs in $build/bin; build first" >&2; exit 1; }
out=${DEMO_OUT:-demo-out}
cores=$(nproc 2>/dev/null || echo 2)

first_year=2020
last_year=2024
periods="18 19 20"      # weeks of May
tiles_per_side=160      # cells per tile side (a real tile has 4800)
tiles="h18v04 h19v04 h18v05 h19v05"
# Each year's spring comes a few days early or late (days added to the date that drives the
# generator's season), so that the VCI shows good and poor years rather than noise alone.
season_shift() { case $1 in 2020) echo -8 ;; 2021) echo 5 ;; 2022) echo -3 ;; 2023) echo 9 ;; *) echo 2 ;; esac; }
# Earlier years were a little greener or less green than usual over the whole area (a disc far
# larger than it; the latest year is a normal one), so that the latest year's VCI sits in the middle
# of the range outside its story.
year_change() { case $1 in 2020) echo -0.15 ;; 2021) echo 0.12 ;; 2022) echo -0.1 ;; 2023) echo 0.15 ;; *) echo 0 ;; esac; }
# The latest year's story, in the tiles' projection (metres): a drought in the north-west of the
# area (an ellipse: centre x, y and radii; vegetation 45 % less green), a wetter region in the
# south-east (a disc; 20 % greener).
drought="830000,4720000,220000,160000,-0.45"
wetter="1400000,4180000,150000,0.2"
# And a cloudy spell: in the latest week of the latest year a cloud sat over the north-east of the
# area (a disc of radius spell_r around spell_x, spell_y), drifting spell_drift metres east a day.
# Every day also has its 1 km state tiles (MOD09GA.<tile>.hdf beside the reflectance tiles), and
# the run screens each day with them (cloud_screen: standard).
spell_x=1330000
spell_y=4760000
spell_r=110000
spell_drift=12000
spell_week=${periods##* }
# Scattered clouds of every day: a rough share of the area. Each 1 km state cell holds 4 x 4 sample
# cells of about 7 km, so a state cell that any cloud touches (mixed) spans some 28 km; a low share
# keeps enough clear days in every week.
clouds=0.1
seed=7

name=demo
# shellcheck source=scripts/demo-common.sh
source "$repo/scripts/demo-common.sh"
demo_check_tools gdal_translate gdaldem

mkdir -p "$out"
out=$(cd "$out" && pwd)
start=$(date +%s)

# 1. Sample tiles in the imitation's folder, named as the archive names its granules (the 250 m
#    reflectances and the day's 1 km state tiles); about one day in seven has no data (no
#    overpass), as happens in real archives.
archive="$out/archive"
echo "== Generating sample tiles ($first_year-$last_year, weeks ${periods// /, }) in $archive"
# Tiles of an earlier demo made with other settings are made anew, and fetched anew.
stamp="generator 3: $tiles_per_side cells, clouds $clouds, seed $seed, drought $drought, wetter $wetter, \
spell $spell_x,$spell_y,$spell_r,$spell_drift week $spell_week, years \
$(for y in $(seq "$first_year" "$last_year"); do printf '%s ' "$(year_change "$y")"; done)"
if [ "$(cat "$archive/.settings" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$archive" "$out/tiles"
fi
mkdir -p "$archive"
printf '%s\n' "$stamp" > "$archive/.settings"
jobs_file="$out/tilegen.jobs"
: > "$jobs_file"
for year in $(seq "$first_year" "$last_year"); do
    for week in $periods; do
        for i in 0 1 2 3 4 5 6; do
            offset=$(( (week - 1) * 7 + i ))
            if [ $(( (offset + year) % 7 )) -eq 3 ]; then
                continue
            fi
            season=$(date -u -d "$year-01-01 + $(( offset + $(season_shift "$year") )) days" +%Y.%m.%d)
            story="--anomaly $drought --anomaly $wetter"
            [ "$year" -eq "$last_year" ] || story="--anomaly 1111951,4447802,1e8,$(year_change "$year")"
            # The granule's name: product, day of the year, tile, collection, production time
            # (two days later).
            acquired=$(date -u -d "$year-01-01 + $offset days" +%Y%j)
            produced=$(date -u -d "$year-01-01 + $(( offset + 2 )) days" +%Y%j)031501
            if [ "$year" -eq "$last_year" ] && [ "$week" -eq "$spell_week" ]; then
                story="$story --overcast $(( spell_x + (i - 3) * spell_drift )),$spell_y,$spell_r"
            fi
            # One job a line, no blank at its end (xargs would join the next line to it).
            for tile in $tiles; do
                file="$archive/MOD09GQ.A$acquired.$tile.061.$produced.hdf"
                state="$archive/MOD09GA.A$acquired.$tile.061.$produced.hdf"
                [ -s "$file" ] && [ -s "$state" ] || printf '%s %s %s %s%s\n' "$tile" "$season" \
                    "$file" "$state" "${story:+ $story}" >> "$jobs_file"
            done
        done
    done
done
if [ -s "$jobs_file" ]; then
    # shellcheck disable=SC2016
    # Each line: tile, date, file, state tile, then the story's options for the latest year.
    xargs -P "$cores" -L 1 sh -c 't=$1 d=$2 f=$3 s=$4 && shift 4 && "$0" \
        --tile "$t" --date "$d" --size '"$tiles_per_side"' --clouds '"$clouds"' --seed '"$seed"' "$@" \
        --shadows --state "$s" "$f" > /dev/null' "$bin/modis-tilegen" < "$jobs_file"
fi
rm -f "$jobs_file"
echo "   $(find "$archive" -name 'MOD09GQ.*.hdf' | wc -l) tiles and as many 1 km state tiles of $(find "$archive" -name 'MOD09GQ.*.h18v04.*.hdf' | wc -l) days"

# 2. The area of interest: an irregular region on the tiles' grid that cuts all four tiles; the
#    first day's h18v04 tile is the reference of the grid (a run keeps one tile of its grid).
reference=$(find "$archive" -name 'MOD09GQ.*.h18v04.*.hdf' | sort | sed -n 1p)
first_day=$(basename "$reference" | cut -d. -f2)
if [ ! -s "$out/aoi.tif" ]; then
    "$python" -m vegflow sample aoi --output "$out/aoi.tif" "$archive"/MOD09GQ."$first_day".*.hdf \
        > /dev/null
fi

# 3. The local imitation of the archive (catalogue, login, data and signed-URL hosts, all on
#    127.0.0.1), on the port of the last demo when it is free so that the configuration stays the
#    same; stopped when the demo ends, however it ends.
demo_start_imitation "$archive"
printf 'machine login.imitation.test login analyst password secret\n' > "$out/netrc"
chmod 600 "$out/netrc"
source_json=$("$python" - "$out/imitation.conf" "$out/netrc" <<'PY'
import json
import sys

source = {"product": "MOD09GQ", "netrc": sys.argv[2], "resolve": []}
for line in open(sys.argv[1]):
    key, value = (part.strip() for part in line.split("=", 1))
    if key == "resolve":
        source["resolve"].append(value)
    else:
        source[key] = value
print(json.dumps(source))
PY
)

# 4. The run's configuration (JSON, which is also YAML), with the story the maps should tell.
IFS=, read -r dx dy drx dry dchange <<< "$drought"
IFS=, read -r wx wy wr wchange <<< "$wetter"
km() { awk -v m="$1" 'BEGIN { printf "%.0f", m / 1000 }'; }
percent() { awk -v c="$1" 'BEGIN { printf "%.0f", (c < 0 ? -c : c) * 100 }'; }
cell=$(awk -v n="$tiles_per_side" 'BEGIN { printf "%.0f", 2 * 20015109.354 / 36 / n }')
cell_area=$(awk -v n="$tiles_per_side" 'BEGIN { c = 2 * 20015109.354 / 36 / n;
    printf "%.1f km2 (%.0f acres)", c * c / 1e6, c * c / 4046.8564224 }')
story="In $last_year a drought struck the north-west of the area: an ellipse around x $(km "$dx") km, \
y $(km "$dy") km of the sinusoidal grid, $(km "$drx") km by $(km "$dry") km in radius, where the \
vegetation was $(percent "$dchange") % less green than usual. The VCI maps of $last_year show it in \
red (VCI near 0: NDVI at its lowest of all years there). A wetter region in the south-east, a disc \
of radius $(km "$wr") km around x $(km "$wx") km, y $(km "$wy") km, $(percent "$wchange") % \
greener, shows in green (VCI near 1). Elsewhere conditions were normal: the VCI varies gently \
between broad regions of slightly better and poorer years; earlier years were a little greener or \
less green than usual over the whole area, with no drought. In week $spell_week of $last_year a \
cloud sat over the north-east of the area all week (a disc of radius $(km "$spell_r") km around x \
$(km "$spell_x") km, y $(km "$spell_y") km, drifting east): without screening the composite keeps \
the cloud's low NDVI and the VCI shows a false drought there; the run screens every day with the \
1 km cloud state, so those cells have no value instead. Each cell is $cell m wide, \
$cell_area; the NDVI maps show water in blue, bare and sparse land in beige."
story_json=$("$python" -c 'import json, sys; print(json.dumps(sys.argv[1]))' "$story")
cat > "$out/config.yaml" <<EOF
{
  "tiles": "tiles",
  "aoi": "aoi.tif",
  "reference": "${reference#"$out"/}",
  "source": $source_json,
  "first_year": $first_year,
  "last_year": $last_year,
  "period_length": 7,
  "actual_length": 7,
  "periods": [${periods// /, }],
  "out": "results",
  "bin": "$bin",
  "cloud_screen": "standard",
  "story": $story_json
}
EOF

# 5. The fetch stage alone first (search, download, verification), then the whole workflow on all
#    cores; their full output goes to logs.
demo_run_fetch
demo_run_workflow

# 6. Where everything is, and the latest VCI histogram.
results="$out/results"
elapsed=$(( $(date +%s) - start ))
cat <<EOF

Done in ${elapsed}s. Products under $results:
  HTML page        $results/index.html
  quicklooks       $results/quicklooks/<year>/{ndvi,vci}_<period tag>.png
  reports          $results/reports/<year>/{ndvi,vci}_<period tag>.{csv,json}
  VCI maps         $results/vci/<year>/
  composites       $results/composite/<year>/
  extremes         $results/extremes/$first_year-$last_year/
  daily NDVI       $results/daily/<date>/
  fetched tiles    $out/tiles/<date>/ (with tilefetch's manifest), from $archive
  step logs        $results/logs/

EOF
(cd "$out" && "$python" -m vegflow page latest --kind vci --config "$(cat config.yaml)")

# 7. The drought read back from the products: the mean VCI of the latest period inside and outside
#    the drought's ellipse (the 8-bit VCI, 0-250, of the cells with a value); then the cloudy spell:
#    the mean VCI inside its disc with and without screening.
latest_vci=$(find "$results/vci/$last_year" -name 'vci_*.hdf' | sort | tail -n 1)
unscreened_vci=$(find "$results/unscreened/$last_year" -name 'vci_*.hdf' | sort | tail -n 1)
"$python" - "$latest_vci" "$drought" "$unscreened_vci" "$spell_x,$spell_y,$spell_r" <<'PY'
import sys

import numpy as np
from osgeo import gdal
from vegflow.products import VCI8_FIELD, subdataset


def vci_and_places(path):
    """The 8-bit VCI of a grid and the projection coordinates of its cells' centres."""
    ds = gdal.Open(subdataset(path, VCI8_FIELD))
    vci = ds.ReadAsArray().astype(float)
    left, width, _, top, _, height = ds.GetGeoTransform()
    rows, cols = np.mgrid[0:vci.shape[0], 0:vci.shape[1]]
    return vci, left + (cols + 0.5) * width, top + (rows + 0.5) * height


path, region = sys.argv[1], [float(v) for v in sys.argv[2].split(",")]
x0, y0, rx, ry = region[0], region[1], region[2], region[3]
vci, x, y = vci_and_places(path)
inside = ((x - x0) / rx) ** 2 + ((y - y0) / ry) ** 2 <= 1
valid = vci <= 250
if not (valid & inside).any() or not (valid & ~inside).any():
    sys.exit("demo: the latest VCI map has no cells inside or outside the drought region")
print("Mean VCI (0-250) of %s inside the drought region: %.1f, outside: %.1f"
      % (path.rsplit("/", 1)[-1], vci[valid & inside].mean(), vci[valid & ~inside].mean()))

sx, sy, sr = [float(v) for v in sys.argv[4].split(",")]
for label, path in (("without screening", sys.argv[3]), ("with screening", sys.argv[1])):
    vci, x, y = vci_and_places(path)
    inside = ((x - sx) ** 2 + (y - sy) ** 2 <= sr * sr) & (vci != 255)
    valid = inside & (vci <= 250)
    mean = "%.1f" % vci[valid].mean() if valid.any() else "none"
    print("Mean VCI (0-250) inside the cloudy spell %s: %s (%d of %d cells with a value)"
          % (label, mean, valid.sum(), inside.sum()))
PY
