"""A second computation of the whole chain for single cells, straight from the reflectance tiles.

Written from the product rules, not from the programs: the NDVI of the shifted reflectances, the
maximum over a period's days, the highest and the three lowest distinct usable values over the
years, and the VCI between the base minimum and the maximum (clamped to its scale). Tiles are read
through GDAL's HDF4 driver, so this also checks that the chain's files place every cell where GDAL
says it is.
"""

import math

import numpy as np
from osgeo import gdal

from vegflow.products import subdataset

gdal.UseExceptions()

NO_DATA = -28672
FILL = -28673


def ndvi_of(red, nir):
    """NDVI x 10000 of one cell from its red and near-infrared reflectances."""
    if not (-100 <= nir <= 16000 and -100 <= red <= 16000):
        return NO_DATA
    total = (red + 100) + (nir + 100)
    diff = nir - red
    if total == 0:
        return 0 if diff == 0 else NO_DATA
    return int(math.trunc(diff / float(total) * 10000.0))


def composite_of(values):
    """Maximum over the days of a period; no-data when no day had a value."""
    valid = [v for v in values if v != NO_DATA]
    return max(valid) if valid else NO_DATA


def extremes_of(values):
    """(max, min1, min2, min3) over the years: usable values are -1000..10000; the three lowest
    distinct ones, the upper ranks repeating the highest kept while fewer than three exist."""
    usable = sorted({v for v in values if -1000 <= v <= 10000})
    if not usable:
        return NO_DATA, NO_DATA, NO_DATA, NO_DATA
    lows = usable[:3]
    while len(lows) < 3:
        lows.append(lows[-1])
    return max(usable), lows[0], lows[1], lows[2]


def vci_of(ndvi, high, min1, min2, min3):
    """(vci16, vci8) of one cell."""
    if ndvi == FILL:
        return FILL, 255
    if any(not -10000 <= v <= 10000 for v in (high, min2, min3, ndvi)) or ndvi < -1000:
        return NO_DATA, 254
    base = min2 if min2 - min1 > 3 else min3
    span = high - base
    if span == 0:
        return (5000, 125) if ndvi == base else (NO_DATA, 254)
    x = float(np.float32(max(ndvi - base, 0)) / np.float32(span))
    vci16 = max(-10000, min(10000, int(math.trunc(20000.0 * x - 10000.0))))
    vci8 = max(0, min(250, int(math.trunc(250.0 * x))))
    return vci16, vci8


class Tile:
    """The red and near-infrared fields of one tile with its geotransform."""

    def __init__(self, path):
        self.path = path
        red = gdal.Open(subdataset(path, "sur_refl_b01_1"))
        self.transform = red.GetGeoTransform()
        self.red = red.ReadAsArray()
        self.nir = gdal.Open(subdataset(path, "sur_refl_b02_1")).ReadAsArray()

    def cell(self, x, y):
        """(red, nir) of the cell holding point (x, y), or None outside the tile."""
        g = self.transform
        col = int(math.floor((x - g[0]) / g[1]))
        row = int(math.floor((y - g[3]) / g[5]))
        if 0 <= row < self.red.shape[0] and 0 <= col < self.red.shape[1]:
            return int(self.red[row, col]), int(self.nir[row, col])
        return None


def daily_ndvi(tiles, x, y):
    """NDVI of the point on one day from that day's tiles (first tile covering it)."""
    for tile in tiles:
        values = tile.cell(x, y)
        if values is not None:
            return ndvi_of(*values)
    return NO_DATA


def read_field(path, field):
    return gdal.Open(subdataset(path, field)).ReadAsArray()
