"""Geometry of the rasters the workflow plans with: reflectance tiles and area rasters, read through
GDAL's Python bindings (imported only when a geometry is asked for)."""

from vegflow import products


def gdal_module():
    from osgeo import gdal
    gdal.UseExceptions()
    return gdal


def tile_grid(path):
    """(geotransform, width, height, projection) of a reflectance tile's red band; RuntimeError when
    GDAL cannot read it."""
    ds = gdal_module().Open(products.subdataset(path, products.RED_FIELD))
    return ds.GetGeoTransform(), ds.RasterXSize, ds.RasterYSize, ds.GetProjection()


def box_of(geotransform, columns, rows):
    """(xmin, ymin, xmax, ymax) of a north-up raster."""
    g = geotransform
    return g[0], g[3] + rows * g[5], g[0] + columns * g[1], g[3]


def tile_box(path):
    """(xmin, ymin, xmax, ymax) of a reflectance tile."""
    g, columns, rows, _ = tile_grid(path)
    return box_of(g, columns, rows)


def raster_box(path):
    """(columns, rows, (xmin, ymin, xmax, ymax)) of a north-up raster."""
    ds = gdal_module().Open(path)
    columns, rows = ds.RasterXSize, ds.RasterYSize
    return columns, rows, box_of(ds.GetGeoTransform(), columns, rows)
