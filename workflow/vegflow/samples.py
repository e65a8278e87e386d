"""Sample inputs for the demos and the tests: an area-of-interest raster over a set of reflectance
tiles, and a layer of four regions over the tiles h18v04, h19v04, h18v05 and h19v05.

The area raster is a GeoTIFF on the tiles' grid (their cell size and projection) that covers the
middle `fraction` of their joint extent on each axis, aligned to whole cells, so that every tile is
cut by it; it holds an irregular region (255 inside, 0 outside).

The region layer holds polygons in longitude and latitude (so a run must project them onto the
tiles' grid) with their names in the field "code":

  West         inside h18v04
  Border zone  across the corner where the four tiles meet
  South        inside h19v05
  Island       far from the four tiles (no tile touches it)
"""

from vegflow import outputs, rasters
from vegflow.products import TILE_SIDE

# Corners in tile sides from the projection's origin: tile hXXvYY spans x XX-18 .. XX-17 and
# y 8-YY .. 9-YY.
REGIONS = [("West", [(0.2, 4.3), (0.7, 4.35), (0.65, 4.8), (0.3, 4.75)]),
           ("Border zone", [(0.8, 3.7), (1.3, 3.8), (1.25, 4.4), (0.85, 4.3)]),
           ("South", [(1.3, 3.2), (1.8, 3.25), (1.75, 3.6), (1.35, 3.55)]),
           ("Island", [(5.0, 2.0), (5.3, 2.0), (5.3, 2.3), (5.0, 2.3)])]


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


def write_aoi(output, tiles, fraction=0.6):
    """Writes the area raster over the tiles; returns its (width, height, upper-left x, y)."""
    gdal = rasters.gdal_module()
    grids = [rasters.tile_grid(t) for t in tiles]
    gt0, _, _, projection = grids[0]
    cell_w, cell_h = gt0[1], gt0[5]
    left = min(g[0] for g, _, _, _ in grids)
    top = max(g[3] for g, _, _, _ in grids)
    right = max(g[0] + w * g[1] for g, w, _, _ in grids)
    bottom = min(g[3] + h * g[5] for g, _, h, _ in grids)
    cols_total = int(round((right - left) / cell_w))
    rows_total = int(round((bottom - top) / cell_h))
    width = max(4, int(cols_total * fraction))
    height = max(4, int(rows_total * fraction))
    x0 = left + (cols_total - width) // 2 * cell_w
    y0 = top + (rows_total - height) // 2 * cell_h
    with outputs.atomic_output(output) as tmp:
        ds = gdal.GetDriverByName("GTiff").Create(tmp, width, height, 1, gdal.GDT_Byte)
        ds.SetGeoTransform((x0, cell_w, 0.0, y0, 0.0, cell_h))
        ds.SetProjection(projection)
        ds.GetRasterBand(1).WriteArray(region_mask(width, height))
        ds = None
    return width, height, x0, y0


def write_regions(output, reference):
    """Writes the region layer; the reference tile gives the sinusoidal projection in which the
    corners are placed."""
    from osgeo import ogr, osr
    ogr.UseExceptions()
    sinusoidal = osr.SpatialReference()
    sinusoidal.ImportFromWkt(rasters.tile_grid(reference)[3])
    lonlat = osr.SpatialReference()
    lonlat.ImportFromEPSG(4326)
    for srs in (sinusoidal, lonlat):
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_lonlat = osr.CoordinateTransformation(sinusoidal, lonlat)
    with outputs.atomic_output(output) as tmp:
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
