#!/usr/bin/env python3
"""Make a region layer for sample national runs: four regions over the tiles h18v04, h19v04,
h18v05 and h19v05 as polygons in longitude and latitude (so a run must project them onto the tiles'
grid), with their names in the field "code":

  West         inside h18v04
  Border zone  across the corner where the four tiles meet
  South        inside h19v05
  Island       far from the four tiles (no tile touches it)

Usage: sample_regions.py --output REGIONS.gpkg --reference TILE.hdf
The reference tile gives the sinusoidal projection in which the corners are placed.
"""

import argparse
import os
import sys

from osgeo import gdal, ogr, osr

gdal.UseExceptions()
ogr.UseExceptions()

TILE_SIDE = 1111950.5197665  # metres
# Corners in tile sides from the projection's origin: tile hXXvYY spans x XX-18 .. XX-17 and
# y 8-YY .. 9-YY.
REGIONS = [("West", [(0.2, 4.3), (0.7, 4.35), (0.65, 4.8), (0.3, 4.75)]),
           ("Border zone", [(0.8, 3.7), (1.3, 3.8), (1.25, 4.4), (0.85, 4.3)]),
           ("South", [(1.3, 3.2), (1.8, 3.25), (1.75, 3.6), (1.35, 3.55)]),
           ("Island", [(5.0, 2.0), (5.3, 2.0), (5.3, 2.3), (5.0, 2.3)])]


def write_layer(path, reference):
    sinusoidal = osr.SpatialReference()
    sinusoidal.ImportFromWkt(gdal.Open(
        'HDF4_EOS:EOS_GRID:"%s":MODIS_Grid_2D:sur_refl_b01_1' % reference).GetProjection())
    lonlat = osr.SpatialReference()
    lonlat.ImportFromEPSG(4326)
    for srs in (sinusoidal, lonlat):
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_lonlat = osr.CoordinateTransformation(sinusoidal, lonlat)
    tmp = os.path.splitext(path)[0] + ".part.gpkg"
    if os.path.exists(tmp):
        os.remove(tmp)
    ds = ogr.GetDriverByName("GPKG").CreateDataSource(tmp)
    layer = ds.CreateLayer("zones", lonlat, ogr.wkbPolygon)
    layer.CreateField(ogr.FieldDefn("code", ogr.OFTString))
    for name, corners in REGIONS:
        ring = ogr.Geometry(ogr.wkbLinearRing)
        for x, y in corners + corners[:1]:
            ring.AddPoint_2D(*to_lonlat.TransformPoint(x * TILE_SIDE, y * TILE_SIDE)[:2])
        polygon = ogr.Geometry(ogr.wkbPolygon)
        polygon.AddGeometry(ring)
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetField("code", name)
        feature.SetGeometry(polygon)
        layer.CreateFeature(feature)
    ds = None
    os.replace(tmp, path)


def main(argv):
    parser = argparse.ArgumentParser(prog="sample_regions.py")
    parser.add_argument("--output", required=True)
    parser.add_argument("--reference", required=True)
    args = parser.parse_args(argv)
    write_layer(args.output, args.reference)
    print("%s: %d regions (%s), field \"code\"" % (args.output, len(REGIONS),
                                                    ", ".join(n for n, _ in REGIONS)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
