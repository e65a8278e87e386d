#!/usr/bin/env bash
# The national demo: a country in miniature. Generates 2 x 2 sample tiles (one week of May in each of
# five years), a layer of four regions (one across the tiles' corner, one that no tile touches),
# runs the workflow with `regions` on all cores, and shows the national VCI table of the latest
# period: one line per region and the national totals.
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
week=20
tiles_per_side=160
tiles="h18v04 h19v04 h18v05 h19v05"

name=demo-national
# shellcheck source=scripts/demo-common.sh
source "$repo/scripts/demo-common.sh"
demo_check_tools gdal_translate gdal_rasterize gdalbuildvrt gdaldem

mkdir -p "$out"
out=$(cd "$out" && pwd)
start=$(date +%s)

# 1. Sample tiles: a folder per day, one day of each week left out as a missed overpass; each
#    year's spring a few days early or late, so that the VCI has good and poor years.
echo "== Generating sample tiles (week $week of $first_year-$last_year) in $out/tiles"
season_shift() { case $1 in 2020) echo -8 ;; 2021) echo 5 ;; 2022) echo -3 ;; 2023) echo 9 ;; *) echo 2 ;; esac; }
jobs_file="$out/tilegen.jobs"
: > "$jobs_file"
for year in $(seq "$first_year" "$last_year"); do
    for i in 0 1 2 3 4 5 6; do
        offset=$(( (week - 1) * 7 + i ))
        [ $(( (offset + year) % 7 )) -eq 3 ] && continue
        day=$(date -u -d "$year-01-01 + $offset days" +%Y.%m.%d)
        season=$(date -u -d "$year-01-01 + $(( offset + $(season_shift "$year") )) days" +%Y.%m.%d)
        for tile in $tiles; do
            file="$out/tiles/$day/$tile.hdf"
            [ -s "$file" ] || printf '%s %s %s\n' "$tile" "$season" "$file" >> "$jobs_file"
        done
    done
done
if [ -s "$jobs_file" ]; then
    # shellcheck disable=SC2016
    xargs -P "$cores" -L 1 sh -c 'mkdir -p "$(dirname "$3")" && "$0" --tile "$1" --date "$2" \
        --size '"$tiles_per_side"' --clouds 0.25 --seed 7 "$3" > /dev/null' "$bin/modis-tilegen" \
        < "$jobs_file"
fi
rm -f "$jobs_file"

# 2. The regions: polygons in longitude and latitude with their names in the field "code".
reference=$(demo_reference)
[ -s "$out/regions.gpkg" ] ||
    "$python" -m vegflow sample regions --output "$out/regions.gpkg" --reference "$reference"

# 3. The run's configuration (JSON, which is also YAML).
cat > "$out/config.yaml" <<EOF
{
  "tiles": "tiles",
  "regions": "regions.gpkg",
  "region_field": "code",
  "reference": "${reference#"$out"/}",
  "first_year": $first_year,
  "last_year": $last_year,
  "period_length": 7,
  "periods": [$week],
  "out": "results",
  "bin": "$bin"
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
  each region       $results/<region>/ (the chain's usual products and its own page)
  area rasters      $results/regions/<region>.tif

EOF
(cd "$out" && "$python" -m vegflow national table --kind vci --config "$(cat config.yaml)")
