#!/usr/bin/env bash
# The demo: generates a small sample of daily reflectance tiles (2 x 2 tiles, several years, a few
# weeks each), runs the workflow on it with all cores, and shows where the products are and the VCI
# histogram of the latest period.
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

for tool in snakemake gdal_translate gdaldem; do
    command -v "$tool" >/dev/null || { echo "demo: $tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
done
for prog in modis-tilegen zonegrid daymosaic periodlist peakcomposite periodextremes conditionmap tallyband; do
    [ -x "$bin/$prog" ] || { echo "demo: $bin/$prog is missing; build first" >&2; exit 1; }
done
# The interpreter that runs snakemake also carries GDAL's Python bindings.
python=$(sed -n '1s/^#! *\([^ ]*\).*/\1/p' "$(command -v snakemake)")
[ -x "$python" ] || python=python3

mkdir -p "$out"
out=$(cd "$out" && pwd)
start=$(date +%s)

# 1. Sample tiles: one folder per day, a tile per grid cell; about one day in seven has no data
#    (no overpass), as happens in real archives.
echo "== Generating sample tiles ($first_year-$last_year, weeks ${periods// /, }) in $out/tiles"
jobs_file="$out/tilegen.jobs"
: > "$jobs_file"
for year in $(seq "$first_year" "$last_year"); do
    for week in $periods; do
        for i in 0 1 2 3 4 5 6; do
            offset=$(( (week - 1) * 7 + i ))
            day=$(date -u -d "$year-01-01 + $offset days" +%Y.%m.%d)
            if [ $(( (offset + year) % 7 )) -eq 3 ]; then
                continue
            fi
            season=$(date -u -d "$year-01-01 + $(( offset + $(season_shift "$year") )) days" +%Y.%m.%d)
            for tile in $tiles; do
                file="$out/tiles/$day/$tile.hdf"
                [ -s "$file" ] || printf '%s %s %s\n' "$tile" "$season" "$file" >> "$jobs_file"
            done
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
echo "   $(find "$out/tiles" -name '*.hdf' | wc -l) tiles in $(find "$out/tiles" -mindepth 1 -maxdepth 1 -type d | wc -l) day folders"

# 2. The area of interest: an irregular region on the tiles' grid that cuts all four tiles.
reference=$(find "$out/tiles" -name 'h18v04.hdf' | sort | head -n 1)
if [ ! -s "$out/aoi.tif" ]; then
    "$python" "$repo/workflow/scripts/sample_aoi.py" --output "$out/aoi.tif" \
        $(dirname "$reference")/*.hdf > /dev/null
fi

# 3. The run's configuration (JSON, which is also YAML).
cat > "$out/config.yaml" <<EOF
{
  "tiles": "tiles",
  "aoi": "aoi.tif",
  "reference": "${reference#"$out"/}",
  "first_year": $first_year,
  "last_year": $last_year,
  "period_length": 7,
  "actual_length": 7,
  "periods": [${periods// /, }],
  "out": "results",
  "bin": "$bin"
}
EOF

# 4. The workflow, on all cores; its full output goes to a log.
echo "== Running the workflow with $cores cores (log: $out/workflow.log)"
if ! snakemake -s "$repo/workflow/Snakefile" --directory "$out" --configfile "$out/config.yaml" \
        --cores "$cores" --keep-going --scheduler greedy > "$out/workflow.log" 2>&1; then
    echo "demo: the workflow failed; the end of its log:" >&2
    tail -n 40 "$out/workflow.log" >&2
    exit 1
fi
grep -E '^[0-9]+ of [0-9]+ steps' "$out/workflow.log" | tail -n 1 | sed 's/^/   /'

# 5. Where everything is, and the latest VCI histogram.
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
  step logs        $results/logs/

EOF
(cd "$out" && "$python" "$repo/workflow/scripts/page.py" latest --kind vci --config "$(cat config.yaml)")
