"""Whole runs of the workflow on generated tiles: the plan of a dry run, a real run checked against
a second computation of the chain, a rerun that does nothing, a removed daily file that reruns only
what depends on it, and a broken tile whose step fails visibly while the other branches finish.

Usage: test_workflow_chain.py --bin <folder of the built programs> [--keep FOLDER]
  --keep runs in FOLDER (emptied first) and leaves the run there for the page's browser test.
Exits with 77 (skipped) when snakemake, GDAL's Python bindings or a program is missing.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import CHAIN_PROGRAMS, SNAKEFILE, VEGFLOW
import harness
import stac_check

# Days with tiles: periods of 3 days covering 4 (so consecutive periods share a day), periods 1
# (1-4 January) and 2 (4-7 January) of three years, with days missing as in a real archive.
DAYS = ["2020.01.01", "2020.01.02", "2020.01.04", "2020.01.06",
        "2021.01.01", "2021.01.03", "2021.01.05",
        "2022.01.02", "2022.01.04", "2022.01.05", "2022.01.07"]
TILES = ["h18v04", "h19v04"]
BIN = None
KEEP = None


def job_counts(text):
    """{rule: count} from the job table that snakemake prints for a plan."""
    counts = {}
    table = text.split("Job stats:", 1)
    if len(table) < 2:
        return counts
    for line in table[1].splitlines():
        match = re.match(r"^(\w+)\s+(\d+)(\s+\d+\s+\d+)?\s*$", line)
        if match and match.group(1) != "total":
            counts[match.group(1)] = int(match.group(2))
        elif line.startswith("total"):
            break
    return counts


class ChainRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if KEEP:
            shutil.rmtree(KEEP, ignore_errors=True)
            os.makedirs(KEEP)
        cls.root = KEEP or tempfile.mkdtemp(prefix="workflow-chain-")
        cls.work = cls.root
        for day in DAYS:
            os.makedirs(os.path.join(cls.work, "tiles", day))
            for tile in TILES:
                subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", tile, "--date", day,
                                "--size", "40", "--clouds", "0.3", "--seed", "3",
                                os.path.join(cls.work, "tiles", day, tile + ".hdf")],
                               check=True, stdout=subprocess.DEVNULL)
        first = os.path.join(cls.work, "tiles", DAYS[0])
        subprocess.run(VEGFLOW + ["sample", "aoi", "--output", os.path.join(cls.work, "aoi.tif")] +
                       [os.path.join(first, t + ".hdf") for t in TILES],
                       check=True, stdout=subprocess.DEVNULL)
        cls.config = {"tiles": "tiles", "aoi": "aoi.tif",
                      "reference": "tiles/%s/h18v04.hdf" % DAYS[0],
                      "first_year": 2020, "last_year": 2022, "period_length": 3,
                      "actual_length": 4, "periods": [1, 2], "out": "res", "bin": BIN,
                      "story": "Dry <south>.\n\nWet north."}
        with open(os.path.join(cls.work, "config.yaml"), "w") as handle:
            json.dump(cls.config, handle)

    @classmethod
    def tearDownClass(cls):
        if not KEEP:
            shutil.rmtree(cls.root, ignore_errors=True)

    def snakemake(self, *args, config="config.yaml", env=None):
        # Run as a user runs it, without PYTHONPATH: the workflow finds its own package.
        env = {k: v for k, v in (env or os.environ).items() if k != "PYTHONPATH"}
        return subprocess.run(["snakemake", "-s", SNAKEFILE, "--directory", self.work,
                               "--configfile", os.path.join(self.work, config), "--cores", "2",
                               "--scheduler", "greedy"] + list(args),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)

    def path(self, *parts):
        return os.path.join(self.work, "res", *parts)

    def test_1_dry_run_lists_the_jobs(self):
        proc = self.snakemake("-n")
        self.assertEqual(proc.returncode, 0, proc.stdout)
        composites = 6  # every period of every year has at least one day
        self.assertEqual(job_counts(proc.stdout), {
            "all": 1, "mask": 1, "daily": len(DAYS), "period_list": composites,
            "composite": composites, "extremes": 2, "vci": composites,
            "gis_copy": 2 * composites, "quicklook": 2 * composites, "report": 2 * composites,
            "indicators": composites, "timeseries": 1, "charts": 1, "catalogue": 1,
            "legend": 2, "page": 1})
        self.assertFalse(os.path.exists(self.path()), "a dry run wrote files")

    def test_2_run_makes_every_product(self):
        proc = self.snakemake()
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        names = [
            "mask/aoi_mask.hdf",
            "daily/2020.01.04/NDVI2020.01.04.hdf",
            "lists/periods/2021/week_02_2021.01.04_2021.01.07.txt",
            "lists/composite/2020/ndvi_02_2020.01.04_2020.01.07.txt",
            "composite/2020/ndvi_01_2020.01.01_2020.01.04.hdf",
            "composite/2022/ndvi_02_2022.01.04_2022.01.07.hdf",
            "extremes/2020-2022/maxmin_01.hdf",
            "extremes/2020-2022/maxmin_02.hdf",
            "vci/2021/vci_01_2021.01.01_2021.01.04.hdf",
            "geotiff/2022/vci_02_2022.01.04_2022.01.07.tif",
            "reports/2022/ndvi_02_2022.01.04_2022.01.07.csv",
            "reports/2022/vci_02_2022.01.04_2022.01.07.json",
            "quicklooks/2020/vci_01_2020.01.01_2020.01.04.png",
            "quicklooks/legend_vci.svg",
            "index.html",
        ]
        for name in names:
            with self.subTest(name=name):
                self.assertGreater(os.path.getsize(self.path(name)), 0)
        # The day shared by both periods of 2020 feeds both composites.
        with open(self.path("lists/composite/2020/ndvi_02_2020.01.04_2020.01.07.txt")) as handle:
            self.assertEqual(handle.read(), "res/daily/2020.01.04/NDVI2020.01.04.hdf\n"
                                            "res/daily/2020.01.06/NDVI2020.01.06.hdf\n")
        with open(self.path("lists/periods/2021/week_02_2021.01.04_2021.01.07.txt")) as handle:
            self.assertEqual(handle.read().split(),
                             ["2021.01.04", "2021.01.05", "2021.01.06", "2021.01.07"])
        with open(self.path("index.html")) as handle:
            page = handle.read()
        self.assertEqual(len(re.findall(r'<img src="quicklooks/\d{4}/(ndvi|vci)_', page)), 12)
        self.assertIn("Period 02 of 2022: 2022.01.04 to 2022.01.07", page)
        self.assertRegex(page, r"<tr><td>daymosaic</td><td class=num>%d</td>" % len(DAYS))
        self.assertIn("<p class=story>Dry &lt;south&gt;.</p><p class=story>Wet north.</p>", page)
        with open(self.path("reports/2022/vci_02_2022.01.04_2022.01.07.json")) as handle:
            report = json.load(handle)
        self.assertTrue(report["success"])
        self.assertEqual(report["workid"], "vci_02_2022.01.04_2022.01.07")
        self.assertAlmostEqual(sum(r["percentage"] for r in report["rows"]), 1.0, places=6)
        self.check_vci_against_oracle()
        self.check_quicklook()
        self.check_indicators_and_catalogue(page)

    def check_indicators_and_catalogue(self, page):
        for chart in ("vci_mean", "vci_poor_share", "ndvi_anomaly_percent"):
            self.assertIn('<img src="indicators/charts/%s.png"' % chart, page)
        self.assertEqual(page.count("<table class=indicators>"), 6)
        with open(self.path("indicators/timeseries.csv")) as handle:
            lines = handle.read().splitlines()
        # 6 indicators (no crop mask) of 6 periods; two history years are too few for an anomaly.
        self.assertEqual(len(lines), 1 + 6 * 6)
        self.assertIn("area,area of interest,2022,2,2022.01.04,2022.01.07,ndvi_anomaly,,0,0.00,"
                      "history of 2 year(s); the anomaly needs at least 3", lines)
        self.assertEqual(stac_check.problems(self.path("stac")), [])
        self.assertEqual(len(self.stac_items()), 12)

    def stac_items(self):
        """{item file: modification time} of the catalogue's items."""
        return {p: os.path.getmtime(p) for kind in ("ndvi", "vci") for p in
                glob.glob(self.path("stac", kind, "*", "area_*.json"))}

    def test_2b_zlib_compression_gives_the_same_fields(self):
        """The grid steps again with HDF4's compression left to zlib: every field of every product
        decodes to the same values, and the compressed files differ."""
        from osgeo import gdal
        with open(os.path.join(self.work, "config-zlib.yaml"), "w") as handle:
            json.dump(dict(self.config, out="res-zlib"), handle)
        proc = self.snakemake("--until", "vci", config="config-zlib.yaml",
                              env=dict(os.environ, VEG_HDF_DEFLATE="zlib"))
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        other = os.path.join(self.work, "res-zlib")
        products = sorted(os.path.relpath(os.path.join(folder, name), self.path())
                          for folder, _, names in os.walk(self.path()) for name in names
                          if name.endswith(".hdf"))
        self.assertEqual(len(products), 1 + len(DAYS) + 6 + 2 + 6)
        fields = 0
        differ = 0
        for name in products:
            ours, theirs = gdal.Open(self.path(name)), gdal.Open(os.path.join(other, name))
            subsets = [s for s, _ in ours.GetSubDatasets()]
            self.assertEqual([s.replace(self.path(), other) for s in subsets],
                             [s for s, _ in theirs.GetSubDatasets()], name)
            for subset in subsets:
                with self.subTest(field=subset):
                    fields += 1
                    a = gdal.Open(subset).ReadAsArray()
                    b = gdal.Open(subset.replace(self.path(), other)).ReadAsArray()
                    self.assertEqual((a.dtype, a.shape), (b.dtype, b.shape))
                    self.assertTrue((a == b).all())
            differ += os.path.getsize(self.path(name)) != os.path.getsize(os.path.join(other, name))
        self.assertGreater(fields, len(products))
        self.assertGreater(differ, 0, "both runs compressed alike: the choice of zlib was ignored")
        shutil.rmtree(other)

    def check_vci_against_oracle(self):
        import oracle
        from osgeo import gdal
        aoi = gdal.Open(os.path.join(self.work, "aoi.tif"))
        g = aoi.GetGeoTransform()
        inside = aoi.ReadAsArray()
        tiles = {d: [oracle.Tile(os.path.join(self.work, "tiles", d, t + ".hdf")) for t in TILES]
                 for d in DAYS}
        period_days = {y: ["%d.01.%02d" % (y, d) for d in range(4, 8)] for y in (2020, 2021, 2022)}
        vci_file = self.path("vci/2022/vci_02_2022.01.04_2022.01.07.hdf")
        vci16 = oracle.read_field(vci_file, "sur_vci_b02_b01")
        vci8 = oracle.read_field(vci_file, "sur_vci_b02_b01_8bit")
        self.assertEqual(vci16.shape, inside.shape)
        rows, cols = inside.shape
        # Cells near the corners, the middle and on the seam between the two tiles.
        cells = [(rows // 2, cols // 2), (rows // 2, cols // 2 - 1), (rows // 3, cols // 2),
                 (rows // 2 + 3, cols // 3), (2 * rows // 3, 2 * cols // 3), (0, 0),
                 (rows - 1, cols - 1), (rows // 4, 3 * cols // 4)]
        checked_inside = 0
        for r, c in cells:
            x = g[0] + (c + 0.5) * g[1]
            y = g[3] + (r + 0.5) * g[5]
            composites = {}
            for year, days in period_days.items():
                composites[year] = oracle.composite_of(
                    [oracle.daily_ndvi(tiles[d], x, y) for d in days if d in tiles])
            if inside[r, c] == 0:
                want = (oracle.FILL, 255)
            else:
                checked_inside += 1
                want = oracle.vci_of(composites[2022],
                                     *oracle.extremes_of(list(composites.values())))
            with self.subTest(row=r, col=c):
                self.assertEqual((int(vci16[r, c]), int(vci8[r, c])), want)
        self.assertGreaterEqual(checked_inside, 4)

    def check_quicklook(self):
        from osgeo import gdal
        png = gdal.Open(self.path("quicklooks/2022/vci_02_2022.01.04_2022.01.07.png"))
        self.assertEqual(png.RasterXSize, 1024)
        copy = gdal.Open(self.path("geotiff/2022/vci_02_2022.01.04_2022.01.07.tif"))
        self.assertEqual(copy.GetMetadataItem("LAYOUT", "IMAGE_STRUCTURE"), "COG")

    def test_3_second_run_does_nothing(self):
        proc = self.snakemake("-n")
        self.assertEqual(proc.returncode, 0, proc.stdout)
        self.assertIn("Nothing to be done", proc.stdout)

    def test_4_removed_daily_file_reruns_only_its_dependants(self):
        items = self.stac_items()
        with open(self.path("indicators/timeseries.csv")) as handle:
            series = handle.read().splitlines()
        os.remove(self.path("daily/2021.01.05/NDVI2021.01.05.hdf"))
        proc = self.snakemake("-n")
        self.assertEqual(proc.returncode, 0, proc.stdout)
        # That day feeds period 2 of 2021 only: its composite, the extremes of period 2, the VCI of
        # period 2 in every year, their maps and reports, and the page.
        self.assertEqual(job_counts(proc.stdout), {
            "all": 1, "daily": 1, "period_list": 1, "composite": 1, "extremes": 1, "vci": 3,
            "gis_copy": 4, "quicklook": 4, "report": 4, "indicators": 3, "timeseries": 1,
            "charts": 1, "catalogue": 1, "page": 1})
        proc = self.snakemake()
        self.assertEqual(proc.returncode, 0, proc.stdout[-4000:])
        self.check_vci_against_oracle()
        # The day's grid is made again as it was: the period's rows are replaced by the same
        # rows, none added, and no item of the catalogue is rewritten (its assets' checksums
        # are the same).
        with open(self.path("indicators/timeseries.csv")) as handle:
            self.assertEqual(handle.read().splitlines(), series)
        self.assertEqual(self.stac_items(), items)
        self.assertEqual(stac_check.problems(self.path("stac")), [])

    def test_5_broken_tile_stops_its_branch_visibly(self):
        held = self.path("vci/2022/vci_02_2022.01.04_2022.01.07.hdf")
        other = self.path("vci/2020/vci_01_2020.01.01_2020.01.04.hdf")
        before = {f: os.path.getmtime(f) for f in (held, other)}
        broken = os.path.join(self.work, "tiles", "2022.01.07", "h19v04.hdf")
        with open(broken, "w") as handle:
            handle.write("not an HDF file")
        # A tile of another period is replaced by a different one (only changed content counts).
        subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", "h18v04", "--date",
                        "2020.01.02", "--size", "40", "--clouds", "0.3", "--seed", "4",
                        os.path.join(self.work, "tiles", "2020.01.02", "h18v04.hdf")],
                       check=True, stdout=subprocess.DEVNULL)
        proc = self.snakemake("--keep-going")
        self.assertNotEqual(proc.returncode, 0)
        message = "Open file or get info for tiles/2022.01.07/h19v04.hdf failed."
        self.assertIn("daymosaic ended with status 255 (success is 1)", proc.stdout)
        self.assertIn("    " + message, proc.stdout)
        with open(self.path("logs/daymosaic/2022.01.07.log")) as handle:
            self.assertIn(message, handle.read())
        self.assertFalse(os.path.exists(self.path("daily/2022.01.07/NDVI2022.01.07.hdf")))
        # The failed day's branch is held back; the independent branch of the replaced tile
        # went on.
        self.assertEqual(os.path.getmtime(held), before[held])
        self.assertGreater(os.path.getmtime(other), before[other])


def main():
    def start(args):
        global BIN, KEEP
        BIN = args.bin
        KEEP = args.keep and os.path.abspath(args.keep)
    return harness.main(CHAIN_PROGRAMS,
                        [("numpy", "numpy"), ("osgeo.gdal", "GDAL's Python bindings"),
                         ("jsonschema", "python3-jsonschema")],
                        options=["--keep"], start=start)


if __name__ == "__main__":
    sys.exit(main())
