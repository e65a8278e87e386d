#!/usr/bin/env bash
# The national demo: a country in miniature. Generates 2 x 2 sample tiles (three weeks of May in each
# of five years) with a drought spreading over most of the region West in the latest year, a layer
# of four regions (one across the tiles' corner, one that no tile touches), runs the workflow with
# `regions` on all cores, and shows the national VCI table and the indicators by region of the
# latest period, and West's share of poor condition week by week against the other regions'.
#
# Usage: scripts/demo-national.sh [build folder]   (default: build; programs from <build>/bin)
# Output folder: DEMO_NATIONAL_OUT (default: demo-national-out).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
bin=$(cd "$build/bin" 2>/dev/null && pwd) || { echo "demo-national: no programs in $build/bin; build first" >&2; exit 1; }
out=${DEMO_NATIONAL_OUT:-demo-national-out}
cores=$(nproc 2>/dev/null || echo 2)

first_year=2020
last_year=2024
weeks="18 19 20"
tiles_per_side=160
tiles="h18v04 h19v04 h18v05 h19v05"
seed=7
# Earlier years were a little greener or less green than usual over the whole country (a disc far
# larger than it); the latest year is normal outside its drought: two earlier years were poorer and
# two a little greener, so that its VCI there is about 0.7 (the second poorest year is the VCI's
# base: the poorest two years of a cell have VCI 0).
year_change() { case $1 in 2020) echo -0.15 ;; 2021) echo 0.05 ;; 2022) echo -0.12 ;; 2023) echo 0.03 ;; *) echo 0 ;; esac; }
# The latest year's drought: an ellipse around the middle of the region West (x 0.46, y 4.55 tile
# sides of the sinusoidal grid), vegetation 45 % less green, its radii (metres) growing week by week
# until it covers most of the region.
drought_region=West
drought_centre="511500,5059400"
drought_radii() { case $1 in 18) echo "90000,80000" ;; 19) echo "170000,150000" ;; *) echo "250000,230000" ;; esac; }
drought_change=-0.45

name=demo-national
# shellcheck source=scripts/demo-common.sh
source "$repo/scripts/demo-common.sh"
demo_check_tools gdal_translate gdal_rasterize gdalbuildvrt gdaldem

mkdir -p "$out"
out=$(cd "$out" && pwd)
start=$(date +%s)

# 1. Sample tiles: a folder per day, one day of each week left out as a missed overpass; each
#    year's spring a few days early or late, so that the VCI has good and poor years.
echo "== Generating sample tiles (weeks ${weeks// /, } of $first_year-$last_year) in $out/tiles"
season_shift() { case $1 in 2020) echo -8 ;; 2021) echo 5 ;; 2022) echo -3 ;; 2023) echo 9 ;; *) echo 2 ;; esac; }
# Tiles of an earlier demo made with other settings are made anew.
stamp="national generator 2: $tiles_per_side cells, seed $seed, drought $drought_centre \
$(for w in $weeks; do printf '%s ' "$(drought_radii "$w")"; done)$drought_change, years \
$(for y in $(seq "$first_year" "$last_year"); do printf '%s ' "$(year_change "$y")"; done)"
if [ -d "$out/tiles" ] && [ "$(cat "$out/tiles/.settings" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$out/tiles"
fi
mkdir -p "$out/tiles"
printf '%s\n' "$stamp" > "$out/tiles/.settings"
jobs_file="$out/tilegen.jobs"
: > "$jobs_file"
for year in $(seq "$first_year" "$last_year"); do
    for week in $weeks; do
        story="--anomaly 1111951,4447802,1e8,$(year_change "$year")"
        [ "$year" -eq "$last_year" ] && story="--anomaly $drought_centre,$(drought_radii "$week"),$drought_change"
        for i in 0 1 2 3 4 5 6; do
            offset=$(( (week - 1) * 7 + i ))
            [ $(( (offset + year) % 7 )) -eq 3 ] && continue
            day=$(date -u -d "$year-01-01 + $offset days" +%Y.%m.%d)
            season=$(date -u -d "$year-01-01 + $(( offset + $(season_shift "$year") )) days" +%Y.%m.%d)
            for tile in $tiles; do
                file="$out/tiles/$day/$tile.hdf"
                [ -s "$file" ] || printf '%s %s %s %s\n' "$tile" "$season" "$file" "$story" >> "$jobs_file"
            done
        done
    done
done
if [ -s "$jobs_file" ]; then
    # shellcheck disable=SC2016
    # Each line: tile, date, file, then the story's options.
    xargs -P "$cores" -L 1 sh -c 't=$1 d=$2 f=$3 && shift 3 && mkdir -p "$(dirname "$f")" && "$0" \
        --tile "$t" --date "$d" --size '"$tiles_per_side"' --clouds 0.25 --seed '"$seed"' "$@" "$f" \
        > /dev/null' "$bin/modis-tilegen" < "$jobs_file"
fi
rm -f "$jobs_file"

# 2. The regions: polygons in longitude and latitude with their names in the field "code".
reference=$(demo_reference)
[ -s "$out/regions.gpkg" ] ||
    "$python" -m vegflow sample regions --output "$out/regions.gpkg" --reference "$reference"

# 3. The run's configuration (JSON, which is also YAML), with the story the maps should tell.
story="In $last_year a drought spread over the region $drought_region week by week: vegetation 45 % \
less green than usual in an ellipse around its middle that grew from week $(echo "$weeks" | cut -d' ' -f1) \
to week ${weeks##* } until it covered most of the region. Elsewhere, and in the earlier years, \
conditions were normal: earlier years were a little greener or less green than usual over the \
whole country. The VCI maps of $last_year show the drought in red; on the charts \
$drought_region's share in poor condition climbs week by week while the other regions' stays low, \
and its NDVI anomaly falls far below the range of the earlier years."
story_json=$("$python" -c 'import json, sys; print(json.dumps(sys.argv[1]))' "$story")
cat > "$out/config.yaml" <<EOF
{
  "tiles": "tiles",
  "regions": "regions.gpkg",
  "region_field": "code",
  "reference": "${reference#"$out"/}",
  "first_year": $first_year,
  "last_year": $last_year,
  "period_length": 7,
  "periods": [${weeks// /, }],
  "out": "results",
  "bin": "$bin",
  "story": $story_json
}
EOF

# 4. The workflow on all cores; its full output goes to a log.
demo_run_workflow

results="$out/results"
elapsed=$(( $(date +%s) - start ))
cat <<EOF

Done in ${elapsed}s. Products under $results:
  national page     $results/index.html
  national mosaics  $results/national/<year>/{ndvi,vci}_<period tag>.tif (Cloud-Optimized GeoTIFF)
  national reports  $results/national/reports/<year>/{ndvi,vci}_<period tag>.{csv,json}
  indicators        $results/national/indicators/<year>/indicators_<period tag>.{csv,json}
  time series       $results/national/indicators/timeseries.{csv,json} and charts/
  STAC catalogue    $results/stac/catalog.json
  each region       $results/<region>/ (the chain's usual products and its own page)
  area rasters      $results/regions/<region>.tif

EOF
(cd "$out" && "$python" -m vegflow national table --kind vci --config "$(cat config.yaml)")
echo
(cd "$out" && "$python" -m vegflow national indicators --config "$(cat config.yaml)")

# 6. The drought read back from the time series: each region's share of poor condition in each
#    week of the latest year against the others'.
echo
"$python" - "$results/national/indicators/timeseries.json" "$drought_region" "$last_year" <<'PY'
import json
import sys

path, region, year = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(path) as handle:
    rows = [r for r in json.load(handle)["rows"]
            if r["indicator"] == "vci_poor_share" and r["year"] == year and r["value"] is not None]
weeks = sorted({r["period"] for r in rows})
share = {(r["region"], r["period"]): r["value"] for r in rows}
others = sorted({r["region"] for r in rows} - {region, "national"})
print("Share of the counted area with VCI below the threshold, %d (%%), from %s:" % (year, path))
print("week  %-8s  %s" % (region, "  ".join("%-11s" % o for o in others)))
for week in weeks:
    print("%4d  %8.2f  %s" % (week, share.get((region, week), float("nan")),
                             "  ".join("%11.2f" % share.get((o, week), float("nan"))
                                       for o in others)))
PY
