"""A national run in miniature: four regions of a vector layer over 2 x 2 generated tiles (one
across the tiles' edges, one that no tile touches) run end to end; a region's products equal those
of a single-area run over its area, the national totals equal tallyband over the national mosaic,
and the plan refuses a region that needs too many tiles or too much memory.

Usage: test_workflow_regions.py --bin <folder of the built programs>
Exits with 77 (skipped) when snakemake, GDAL's Python bindings or a program is missing.
"""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import CHAIN_PROGRAMS, SNAKEFILE, VEGFLOW
import harness
import stac_check
from vegflow.products import NDVI8_FIELD, NDVI_FIELD, VCI8_FIELD, VCI_FIELD, subdataset
from vegflow.products import TILE_SIDE as TILE

TILES = ["h18v04", "h19v04", "h18v05", "h19v05"]
DAYS = ["2020.01.01", "2020.01.03", "2021.01.02", "2021.01.03", "2022.01.01", "2022.01.02"]
TAG = "01_2022.01.01_2022.01.03"
BIN = None


def tilegen(tile, day, path, size=40, seed=5):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", tile, "--date", day, "--size",
                    str(size), "--clouds", "0.3", "--seed", str(seed), path],
                   check=True, stdout=subprocess.DEVNULL)


def field(path, name):
    from osgeo import gdal
    return gdal.Open(subdataset(path, name)).ReadAsArray()


class NationalRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="workflow-regions-")
        for day in DAYS:
            for tile in TILES:
                tilegen(tile, day, os.path.join(cls.work, "tiles", day, tile + ".hdf"))
        reference = "tiles/%s/h18v04.hdf" % DAYS[0]
        # West inside h18v04, Border zone across the four tiles' corner, South inside h19v05,
        # Island away from them all.
        subprocess.run(VEGFLOW + ["sample", "regions", "--output",
                                  os.path.join(cls.work, "regions.gpkg"),
                                  "--reference", os.path.join(cls.work, reference)],
                       check=True, stdout=subprocess.DEVNULL)
        cls.base = {"tiles": "tiles", "reference": reference, "first_year": 2020,
                    "last_year": 2022, "period_length": 3, "periods": [1], "bin": BIN}
        cls.national = dict(cls.base, regions="regions.gpkg", region_field="code", out="res")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def snakemake(self, config, *args, env=None):
        path = os.path.join(self.work, "config-%d.yaml" % abs(hash(json.dumps(config))))
        with open(path, "w") as handle:
            json.dump(config, handle)
        return subprocess.run(["snakemake", "-s", SNAKEFILE, "--directory", self.work,
                               "--configfile", path, "--cores", "2", "--scheduler", "greedy"] +
                              list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, env=dict(os.environ, **(env or {})))

    def path(self, *parts):
        return os.path.join(self.work, "res", *parts)

    def test_1_national_run_makes_every_product(self):
        proc = self.snakemake(self.national)
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        for region in ("West", "Border_zone", "South"):
            for name in ("vci/2022/vci_%s.hdf" % TAG, "reports/2022/ndvi_%s.json" % TAG,
                         "index.html"):
                with self.subTest(region=region, name=name):
                    self.assertGreater(os.path.getsize(self.path(region, name)), 0)
        self.assertFalse(os.path.exists(self.path("Island")))
        # Each region's daily mosaic gets only the tiles that overlap it.
        for region, tiles in (("West", ["h18v04"]), ("Border_zone", TILES), ("South", ["h19v05"])):
            with open(self.path(region, "lists", "tiles", "2022.01.01.txt")) as handle:
                listed = [os.path.basename(p)[:-4] for p in handle.read().split()]
            self.assertEqual(sorted(listed), sorted(tiles), region)
        with open(self.path("national", "reports", "2022", "vci_%s.json" % TAG)) as handle:
            report = json.load(handle)
        self.assertEqual([(r["region"], r["name"], r["note"]) for r in report["regions"]], [
            ("Border_zone", "Border zone", ""), ("Island", "Island", "no tile overlaps the region"),
            ("South", "South", ""), ("West", "West", "")])
        with open(self.path("index.html")) as handle:
            page = handle.read()
        self.assertIn('<img src="national/quicklooks/2022/vci_%s.png"' % TAG, page)
        self.assertIn('<a href="Border_zone/index.html">', page)

    def test_2_region_equals_a_single_area_run(self):
        single = dict(self.base, aoi="res/regions/Border_zone.tif", out="single")
        proc = self.snakemake(single, "single/vci/2022/vci_%s.hdf" % TAG,
                              "single/reports/2022/vci_%s.json" % TAG)
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        for product, fields in (("composite/2022/ndvi_%s.hdf", [NDVI_FIELD, NDVI8_FIELD]),
                                ("vci/2022/vci_%s.hdf", [VCI_FIELD, VCI8_FIELD])):
            for name in fields:
                with self.subTest(product=product, field=name):
                    ours = field(self.path("Border_zone", product % TAG), name)
                    theirs = field(os.path.join(self.work, "single", product % TAG), name)
                    self.assertEqual(ours.shape, theirs.shape)
                    self.assertTrue((ours == theirs).all())
        reports = [self.path("Border_zone", "reports", "2022", "vci_%s.json" % TAG),
                   os.path.join(self.work, "single", "reports", "2022", "vci_%s.json" % TAG)]
        rows = []
        for path in reports:
            with open(path) as handle:
                rows.append(json.load(handle)["rows"])
        self.assertEqual(rows[0], rows[1])

    def test_3_national_totals_equal_tallyband_over_the_mosaic(self):
        from osgeo import gdal
        for kind, section in (("ndvi", "NDVI"), ("vci", "VCI")):
            mosaic = self.path("national", "2022", "%s_%s.tif" % (kind, TAG))
            info = gdal.Info(mosaic, format="json")
            self.assertEqual(info["metadata"]["IMAGE_STRUCTURE"].get("LAYOUT"), "COG")
            self.assertEqual(info["bands"][0]["noDataValue"], 255)
            out = os.path.join(self.work, "tally-%s.json" % kind)
            subprocess.run([os.path.join(BIN, "tallyband"), "-t", section, "-j", out, mosaic],
                           check=True, stdout=subprocess.DEVNULL)
            with open(out) as handle:
                whole = json.load(handle)
            with open(self.path("national", "reports", "2022", "%s_%s.json" % (kind, TAG))) as h:
                national = json.load(h)["national"]
            with self.subTest(kind=kind):
                self.assertAlmostEqual(national["mean"], float(whole["fileName"].rsplit(",")[1]),
                                       places=9)
                self.assertEqual(len(national["rows"]), len(whole["rows"]))
                for ours, theirs in zip(national["rows"], whole["rows"]):
                    self.assertEqual(ours["name"], theirs["name"])
                    self.assertAlmostEqual(ours["acreage"], theirs["acreage"], delta=1e-3)
                    self.assertAlmostEqual(ours["percentage"], theirs["percentage"], places=9)
                self.assertGreater(national["acreage"], 0)

    def test_4_plan_refuses_regions_beyond_the_walls(self):
        from osgeo import gdal
        # One day of 33 tiles in a row and one region raster across all of them.
        wide = os.path.join(self.work, "wide")
        for h in range(33):
            tilegen("h%02dv08" % h, "2022.01.01", os.path.join(wide, "2022.01.01",
                                                               "h%02dv08.hdf" % h), size=4)
        area = os.path.join(self.work, "wide.tif")
        ds = gdal.GetDriverByName("GTiff").Create(area, 33 * 4, 4, 1, gdal.GDT_Byte)
        ds.SetGeoTransform((-18 * TILE, TILE / 4, 0, TILE, 0, -TILE / 4))
        ds = None
        many = dict(self.base, tiles="wide", reference="wide/2022.01.01/h00v08.hdf",
                    regions=["wide.tif"], out="wide-res")
        cases = [
            (many, {}, "region wide overlaps 33 tiles; daymosaic takes at most 32: split it into "
                       "smaller regions"),
            (self.national, {"VEG_MEMAVAILABLE_BYTES": "1000"},
             "region Border_zone (20 x 28 cells) needs about 8400 bytes of memory in one step; "
             "1000 are available: split it into smaller regions"),
            (dict(self.national, region_field="name"), {},
             "the region layer regions.gpkg has no field 'name'"),
        ]
        for config, env, message in cases:
            with self.subTest(message=message):
                proc = self.snakemake(config, "-n", env=env)
                self.assertNotEqual(proc.returncode, 0)
                self.assertIn("workflow configuration: " + message, proc.stdout)

    def check_national_indicators_and_catalogue(self):
        """The national indicators against one pass over the national mosaic, the series and
        charts, and the catalogue: valid, and its item collection read by GDAL as the national
        mosaic. Returns the time series' lines."""
        from osgeo import gdal
        vci = gdal.Open(self.path("national", "2022", "vci_%s.tif" % TAG)).ReadAsArray()
        counted = vci[vci <= 250]
        with open(self.path("national", "indicators", "2022", "indicators_%s.json" % TAG)) as h:
            doc = json.load(h)
        rows = {r["indicator"]: r for r in doc["national"]["rows"]}
        self.assertEqual(rows["vci_mean"]["cells"], counted.size)
        self.assertAlmostEqual(rows["vci_mean"]["value"], counted.mean() / 250.0, places=9)
        self.assertAlmostEqual(rows["vci_poor_share"]["value"],
                               100.0 * (counted < 87.5).sum() / counted.size, places=9)
        with open(self.path("national", "indicators", "2022", "indicators_%s.csv" % TAG)) as h:
            lines = h.read().splitlines()
        self.assertEqual([line.split(",")[0] for line in lines[1:]],
                         ["Border_zone", "Island", "South", "West", "national"])
        self.assertTrue(lines[2].endswith(",no tile overlaps the region"), lines[2])
        with open(self.path("index.html")) as handle:
            page = handle.read()
        self.assertIn('<img src="national/indicators/charts/vci_poor_share.png"', page)
        self.assertIn("<h3>Indicators by region</h3>", page)
        self.assertEqual(stac_check.problems(self.path("stac")), [])
        items = self.path("stac", "vci", "2022", "vci_%s_items.json" % TAG)
        values, transform = stac_check.mosaic(items)
        national = gdal.Open(self.path("national", "2022", "vci_%s.tif" % TAG))
        self.assertEqual(transform, national.GetGeoTransform())
        self.assertTrue((values == vci).all())
        with open(self.path("national", "indicators", "timeseries.csv")) as handle:
            return handle.read().splitlines()

    def test_5_national_indicators_series_and_catalogue(self):
        series = self.check_national_indicators_and_catalogue()
        # Three regions and the national line, 6 indicators, 3 years.
        self.assertEqual(len(series), 1 + 4 * 6 * 3)
        self.assertIn("national,,2022,1,2022.01.01,2022.01.03,ndvi_anomaly,,0,0.00,history of 2 "
                      "year(s); the anomaly needs at least 3", series)

    def test_6_rerun_of_one_period_keeps_series_and_catalogue_consistent(self):
        def items():
            return {p: os.path.getmtime(p) for p in glob.glob(self.path("stac", "*", "*", "*_*"))}
        before, series = items(), self.check_national_indicators_and_catalogue()
        tilegen("h19v05", "2022.01.02", os.path.join(self.work, "tiles", "2022.01.02",
                                                     "h19v05.hdf"), size=40, seed=9)
        proc = self.snakemake(self.national)
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        rerun = self.check_national_indicators_and_catalogue()
        self.assertEqual(len(rerun), len(series))
        self.assertEqual([line for line in rerun if line.startswith("West,")],
                         [line for line in series if line.startswith("West,")])
        self.assertNotEqual(rerun, series)
        changed = {os.path.basename(p) for p, t in items().items() if before.get(p) != t}
        self.assertIn("South_vci_%s.json" % TAG, changed)
        self.assertIn("national_vci_%s.json" % TAG, changed)
        self.assertFalse({n for n in changed if n.startswith("West_")}, changed)


def main():
    def start(args):
        global BIN
        BIN = args.bin
    return harness.main(CHAIN_PROGRAMS, [("osgeo.gdal", "GDAL's Python bindings"),
                                         ("jsonschema", "python3-jsonschema")], start=start)


if __name__ == "__main__":
    sys.exit(main())
