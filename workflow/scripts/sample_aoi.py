#!/usr/bin/env python3
"""Make an area-of-interest raster for sample runs: a GeoTIFF on the grid of a set of reflectance
tiles that straddles all of them, holding an irregular region (255 inside, 0 outside).

Usage: sample_aoi.py --output AOI.tif [--fraction F] TILE.hdf...

The raster takes the tiles' cell size and projection and covers the middle `fraction` (default 0.6)
of their joint extent on each axis, aligned to whole cells, so that every tile is cut by it.
"""

import argparse
import os
import sys

from osgeo import gdal

gdal.UseExceptions()


def tile_grid(path):
    """(geotransform, width, height, projection) of a tile's red band."""
    name = 'HDF4_EOS:EOS_GRID:"%s":MODIS_Grid_2D:sur_refl_b01_1' % path
    ds = gdal.Open(name)
    return ds.GetGeoTransform(), ds.RasterXSize, ds.RasterYSize, ds.GetProjection()


def region_mask(width, height):
    """255 inside a lobed region around the centre, 0 outside; both kinds always present."""
    import numpy as np
    rows, cols = np.mgrid[0:height, 0:width]
    y = (rows + 0.5) / height * 2.0 - 1.0
    x = (cols + 0.5) / width * 2.0 - 1.0
    angle = np.arctan2(y, x)
    radius = np.hypot(x, y)
    boundary = 0.75 + 0.15 * np.sin(3.0 * angle) + 0.07 * np.cos(5.0 * angle + 0.5)
    return np.where(radius <= boundary, 255, 0).astype(np.uint8)


def main(argv):
    parser = argparse.ArgumentParser(prog="sample_aoi.py")
    parser.add_argument("--output", required=True)
    parser.add_argument("--fraction", type=float, default=0.6)
    parser.add_argument("tiles", nargs="+")
    args = parser.parse_args(argv)
    grids = [tile_grid(t) for t in args.tiles]
    gt0, _, _, projection = grids[0]
    cell_w, cell_h = gt0[1], gt0[5]
    left = min(g[0] for g, _, _, _ in grids)
    top = max(g[3] for g, _, _, _ in grids)
    right = max(g[0] + w * g[1] for g, w, _, _ in grids)
    bottom = min(g[3] + h * g[5] for g, _, h, _ in grids)
    cols_total = int(round((right - left) / cell_w))
    rows_total = int(round((bottom - top) / cell_h))
    width = max(4, int(cols_total * args.fraction))
    height = max(4, int(rows_total * args.fraction))
    col0 = (cols_total - width) // 2
    row0 = (rows_total - height) // 2
    driver = gdal.GetDriverByName("GTiff")
    tmp = args.output + ".part.tif"
    ds = driver.Create(tmp, width, height, 1, gdal.GDT_Byte)
    ds.SetGeoTransform((left + col0 * cell_w, cell_w, 0.0, top + row0 * cell_h, 0.0, cell_h))
    ds.SetProjection(projection)
    ds.GetRasterBand(1).WriteArray(region_mask(width, height))
    ds = None
    os.replace(tmp, args.output)
    print("%s: %dx%d cells, upper left (%.3f, %.3f)" % (args.output, width, height,
                                                       left + col0 * cell_w, top + row0 * cell_h))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
