"""The GIS-ready copy and the quicklook of a product made by the built programs: a daily NDVI grid
of one generated tile, large enough for the copy to carry an overview.

Usage: test_gis_copy.py --bin <folder of the built programs>
Exits with 77 (skipped) when GDAL's Python bindings, matplotlib or a program is missing.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import VEGFLOW
import harness
from vegflow import maps
from vegflow.products import RED_FIELD, field_8bit, subdataset

SIZE = 600
BIN = None


class GisCopy(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import numpy
        from osgeo import gdal
        gdal.UseExceptions()
        cls.root = tempfile.mkdtemp(prefix="gis-copy-")
        tile = cls.file("h18v04.hdf")
        subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", "h18v04", "--date",
                        "2024.05.13", "--size", str(SIZE), "--clouds", "0.3", "--seed", "5", tile],
                       check=True, stdout=subprocess.DEVNULL)
        # The area: the whole tile less its upper left quarter, which stays fill.
        red = gdal.Open(subdataset(tile, RED_FIELD))
        aoi = gdal.GetDriverByName("GTiff").Create(cls.file("aoi.tif"), SIZE, SIZE, 1,
                                                   gdal.GDT_Byte)
        aoi.SetGeoTransform(red.GetGeoTransform())
        aoi.SetProjection(red.GetProjection())
        inside = numpy.ones((SIZE, SIZE), numpy.uint8)
        inside[:SIZE // 2, :SIZE // 2] = 0
        aoi.GetRasterBand(1).WriteArray(inside)
        aoi = None
        with open(cls.file("tiles.txt"), "w") as handle:
            handle.write(tile + "\n")
        subprocess.run([os.path.join(BIN, "zonegrid"), cls.file("aoi.tif"), cls.file("mask.hdf"),
                        tile], check=True, stdout=subprocess.DEVNULL)
        status = subprocess.run([os.path.join(BIN, "daymosaic"), cls.file("tiles.txt"),
                                 cls.file("mask.hdf"), cls.file("ndvi.hdf")],
                                stdout=subprocess.DEVNULL).returncode
        assert status == 1, "daymosaic ended with %d" % status
        cls.quicklook("gis", "--input", cls.file("ndvi.hdf"), "--output", cls.file("ndvi.tif"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def file(cls, name):
        return os.path.join(cls.root, name)

    @classmethod
    def quicklook(cls, *args):
        proc = subprocess.run(VEGFLOW + ["quicklook", args[0], "--kind", "ndvi"] + list(args[1:]),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        assert proc.returncode == 0, proc.stderr
        return proc

    def test_copy_has_the_products_grid_and_values(self):
        from osgeo import gdal
        product = gdal.Open(subdataset(self.file("ndvi.hdf"), field_8bit("ndvi")))
        copy = gdal.Open(self.file("ndvi.tif"))
        self.assertEqual(copy.GetGeoTransform(), product.GetGeoTransform())
        self.assertTrue(copy.GetSpatialRef().IsSame(product.GetSpatialRef()))
        values = copy.GetRasterBand(1).ReadAsArray()
        self.assertTrue((values == product.GetRasterBand(1).ReadAsArray()).all())
        self.assertTrue((values[:SIZE // 2, :SIZE // 2] == 255).all())
        self.assertTrue((values[SIZE // 2:] <= 250).any())
        band = copy.GetRasterBand(1)
        self.assertEqual((band.GetNoDataValue(), band.GetScale(), band.GetOffset()),
                         (255, 1 / 125.0, -1.0))
        table = band.GetColorTable()
        self.assertEqual([table.GetColorEntry(v) for v in (0, 125, 250, 254)],
                         [maps.colour("ndvi", v) for v in (0, 125, 250, 254)])

    def test_copy_is_cloud_optimized(self):
        from osgeo import gdal
        from osgeo_utils.samples import validate_cloud_optimized_geotiff as cog
        warnings, errors, details = cog.validate(self.file("ndvi.tif"), full_check=True)
        self.assertEqual((warnings, errors), ([], []))
        copy = gdal.Open(self.file("ndvi.tif"))
        band = copy.GetRasterBand(1)
        self.assertEqual(band.GetBlockSize(), [512, 512])
        self.assertEqual([(o.XSize, o.YSize) for o in
                          (band.GetOverview(i) for i in range(band.GetOverviewCount()))],
                         [(SIZE // 2, SIZE // 2)])
        # Header first: every directory comes before the first tile of any level.
        self.assertLess(max(details["ifd_offsets"].values()),
                        min(details["data_offsets"].values()))
        self.assertEqual(copy.GetMetadataItem("LAYOUT", "IMAGE_STRUCTURE"), "COG")

    def test_quicklook_draws_the_copy(self):
        from osgeo import gdal
        self.quicklook("image", "--input", self.file("ndvi.tif"), "--output",
                       self.file("ndvi.png"), "--title", "NDVI, day 2024.05.13", "--width", "800")
        png = gdal.Open(self.file("ndvi.png"))
        self.assertEqual(png.RasterXSize, 800)
        self.assertGreater(png.RasterYSize, 400)


def main():
    def start(args):
        global BIN
        BIN = args.bin
    return harness.main(["modis-tilegen", "zonegrid", "daymosaic"],
                        [("numpy", "numpy"), ("osgeo.gdal", "GDAL's Python bindings"),
                         ("matplotlib", "matplotlib")], snakemake=False, failfast=False,
                        start=start)


if __name__ == "__main__":
    sys.exit(main())
