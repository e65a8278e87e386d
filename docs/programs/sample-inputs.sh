#!/usr/bin/env bash
# Small inputs for the examples of the program pages, made in the current folder with the built
# programs (on PATH) and GDAL's utilities:
#   tiles/<day>/h18v04.hdf, h19v04.hdf   reflectance tiles of 40 x 40 cells, days of week 24
#   state/<day>/h18v04.hdf, h19v04.hdf   their 1 km tiles (10 x 10 cells, state_1km_1)
#   area.tif                             area of interest across the two tiles (40 x 20 cells)
#   mask.hdf                             its mask grid
#   daily/NDVI<day>.hdf                  daily NDVI grids
#   ndvi/<year>/ndvi_24_<tag>.hdf        week 24 composites of 2021-2024
#   extremes/maxmin_24.hdf               their extremes
#   vci/vci_24_<tag>.hdf                 the VCI of week 24 of 2024
#   ndvi8.tif, vci8.tif                  the 8-bit NDVI and VCI of 2024 as GeoTIFFs
#   counties.geojson                     layer "conus_counties": county FIPS 19153, 960 m square
#   ndvi240.tif, cdl30.tif               an NDVI raster of 240 m cells (160 everywhere) and a crop
#                                        raster of 30 m cells (code 1 west of x = 600 m), around it
set -euo pipefail

days="2021.06.11 2021.06.12 2022.06.11 2022.06.12 2023.06.11 2023.06.12 2024.06.11 2024.06.12"
for day in $days; do
    mkdir -p "tiles/$day"
    for tile in h18v04 h19v04; do
        mkdir -p "state/$day"
        modis-tilegen --tile $tile --size 40 --date "$day" --state "state/$day/$tile.hdf" \
            "tiles/$day/$tile.hdf" > /dev/null
    done
done
# 40 x 20 cells from the middle of h18v04 to the middle of h19v04, 5 rows below their top.
gdal_create -q -of GTiff -ot Byte -outsize 40 20 -burn 255 \
    -a_ullr 555975.2598335 5420758.783375 1667925.779500 4864783.523542 area.tif
zonegrid area.tif mask.hdf tiles/2024.06.11/h18v04.hdf > /dev/null

mkdir -p daily lists
for day in $days; do
    ls tiles/"$day"/*.hdf > "lists/$day.txt"
    daymosaic "lists/$day.txt" mask.hdf "daily/NDVI$day.hdf" > /dev/null || [ $? -eq 1 ]
done
for year in 2021 2022 2023 2024; do
    tag=$(periodrange "$year" 24)
    mkdir -p "ndvi/$year"
    ls daily/NDVI"$year".*.hdf > "lists/week24_$year.txt"
    peakcomposite "lists/week24_$year.txt" "ndvi/$year/ndvi_$tag.hdf" > /dev/null
done
mkdir -p extremes vci
periodextremes ndvi 2021 2024 extremes/maxmin_24.hdf 24 7 7 > /dev/null
conditionmap extremes/maxmin_24.hdf "ndvi/2024/ndvi_$tag.hdf" "vci/vci_$tag.hdf" > /dev/null
gdal_translate -q "HDF4_EOS:EOS_GRID:\"ndvi/2024/ndvi_$tag.hdf\":MODIS_Grid_2D:sur_ndvi_b02_b01_8bit" \
    ndvi8.tif
gdal_translate -q "HDF4_EOS:EOS_GRID:\"vci/vci_$tag.hdf\":MODIS_Grid_2D:sur_vci_b02_b01_8bit" vci8.tif

# The county-share inputs, in the continental Albers projection.
printf '%s\n' '{"type": "FeatureCollection", "name": "conus_counties",' \
    '"crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::5070"}},' \
    '"features": [{"type": "Feature", "properties": {"FIPS": "19153"}, "geometry": {"type":' \
    '"Polygon", "coordinates": [[[0, 0], [960, 0], [960, 960], [0, 960], [0, 0]]]}}]}' \
    > counties.geojson
gdal_create -q -of GTiff -ot Byte -outsize 8 8 -burn 160 -a_srs EPSG:5070 \
    -a_ullr -480 1440 1440 -480 ndvi240.tif
gdal_create -q -of GTiff -ot Byte -outsize 64 64 -burn 0 -a_srs EPSG:5070 \
    -a_ullr -480 1440 1440 -480 cdl30.tif
printf '%s\n' '{"type": "FeatureCollection",' \
    '"crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::5070"}},' \
    '"features": [{"type": "Feature", "properties": {}, "geometry": {"type": "Polygon",' \
    '"coordinates": [[[-480, -480], [600, -480], [600, 1440], [-480, 1440], [-480, -480]]]}}]}' \
    > field.geojson
gdal_rasterize -q -burn 1 field.geojson cdl30.tif
