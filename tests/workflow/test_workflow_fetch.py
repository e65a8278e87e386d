"""A run with `source:`: the fetch stage brings the tiles of the periods' days from the local
imitation of the archive and the chain processes the days that arrived; a second run fetches and
makes nothing. Also the tiles a box reaches into and tilefetch's configuration from the section.

Usage: test_workflow_fetch.py --bin <folder of the built programs>
Exits with 77 (skipped) when snakemake, GDAL's Python bindings or a program is missing.
"""

import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import CHAIN_PROGRAMS, SNAKEFILE, VEGFLOW
import harness

sys.path.insert(0, os.path.join(harness.REPO, "tests", "fetch"))
import archive_imitation as imitation  # noqa: E402
from vegflow import regions, sources  # noqa: E402
from vegflow.plan import PlanError  # noqa: E402

BIN = None
TILES = ["h18v04", "h19v04"]
# Periods of 3 days, period 2 (4-6 January) of two years; the archive lacks one day.
DAYS = ["2023.01.04", "2023.01.05", "2023.01.06", "2024.01.04", "2024.01.06"]


def granule(tile, day):
    """The archive's name of a tile's granule of a day (produced two days later)."""
    d = datetime.datetime.strptime(day, "%Y.%m.%d")
    doy = d.timetuple().tm_yday
    return "MOD09GQ.A%d%03d.%s.061.%d%03d031501" % (d.year, doy, tile, d.year, doy + 2)


class Sources(unittest.TestCase):
    def test_tiles_a_box_reaches_into(self):
        side = sources.TILE_SIDE
        west, north = sources.tile_box("h18v04")[0], sources.tile_box("h18v04")[3]
        cases = [  # box, tiles
            ((west + 10, north - side + 10, west + 20, north - 10), ["h18v04"]),
            ((west - 10, north - 20, west + 10, north - 10), ["h17v04", "h18v04"]),
            ((west, north - side, west + side, north), ["h18v04"]),  # edges meet no neighbour
            ((west + 10, north - side - 10, west + side + 10, north - 10),
             ["h18v04", "h19v04", "h18v05", "h19v05"]),
            ((-3e7, -2e7, 3e7, 2e7), None),  # clipped to the grid: all 648 tiles
        ]
        for box, tiles in cases:
            with self.subTest(box=box):
                found = sources.tiles_meeting(box)
                self.assertEqual(found, tiles) if tiles else self.assertEqual(len(found), 648)

    def test_tilefetch_configuration(self):
        source = sources.read({"source": {"catalogue": "http://c/s", "resolve": ["a:1:x", "b:1:x"],
                                          "token_variable": "T", "tiles": "h18v04 h19v04"}})
        self.assertEqual((source["product"], source["tiles"]), ("MOD09GQ", TILES))
        self.assertEqual(sources.tilefetch_config(source, "/run/tok"),
                         "catalogue = http://c/s\nresolve = a:1:x\nresolve = b:1:x\n"
                         "token_file = /run/tok\n")
        for bad in ({"tiles": ["h40v01"]}, {"product": "MOD 09"}, "MOD09GQ",
                    {"token_variable": "T", "token_file": "f"}):
            with self.subTest(bad=bad), self.assertRaises(sources.SourceError):
                sources.read({"source": bad})

    def test_a_source_needs_periods(self):
        with self.assertRaisesRegex(PlanError, "name the periods"):
            regions.plan({"tiles": "t", "aoi": "a.tif", "reference": "r.hdf", "first_year": 2024,
                          "last_year": 2024, "source": {}})


class FetchRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="workflow-fetch-")
        store = os.path.join(cls.work, "archive")
        os.makedirs(store)
        for day in DAYS:
            for tile in TILES:
                subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", tile, "--date", day,
                                "--size", "40", "--seed", "3",
                                os.path.join(store, granule(tile, day) + ".hdf")],
                               check=True, stdout=subprocess.DEVNULL)
        first = [os.path.join(store, granule(t, DAYS[0]) + ".hdf") for t in TILES]
        subprocess.run(VEGFLOW + ["sample", "aoi", "--output", os.path.join(cls.work, "aoi.tif")]
                       + first, check=True, stdout=subprocess.DEVNULL)
        cls.archive = imitation.Archive(store).start()
        netrc = os.path.join(cls.work, "netrc")
        with open(netrc, "w") as f:
            f.write("machine %s login analyst password secret\n" % imitation.HOSTS["login"])
        os.chmod(netrc, 0o600)
        source = dict(line.split(" = ", 1) for line in cls.archive.config_text().splitlines()
                      if not line.startswith("resolve"))
        source.update(resolve=[r.split(" = ")[1] for r in cls.archive.resolve_lines()],
                      netrc=netrc, retries=1)
        config = {"tiles": "tiles", "aoi": "aoi.tif", "reference": first[0], "first_year": 2023,
                  "last_year": 2024, "period_length": 3, "periods": [2], "out": "res",
                  "bin": BIN, "source": source}
        with open(os.path.join(cls.work, "config.yaml"), "w") as handle:
            json.dump(config, handle)
        # A national run: the area's west and east halves as two regions, fetched into their own
        # tiles folder.
        from osgeo import gdal
        aoi = gdal.Open(os.path.join(cls.work, "aoi.tif"))
        half = aoi.RasterXSize // 2
        for name, offset in (("west", 0), ("east", half)):
            gdal.Translate(os.path.join(cls.work, name + ".tif"), aoi,
                           srcWin=[offset, 0, half, aoi.RasterYSize])
        del config["aoi"]
        config.update(tiles="tiles-national", out="nat", regions=["west.tif", "east.tif"])
        with open(os.path.join(cls.work, "national.yaml"), "w") as handle:
            json.dump(config, handle)

    @classmethod
    def tearDownClass(cls):
        cls.archive.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def snakemake(self, config="config.yaml"):
        return subprocess.run(["snakemake", "-s", SNAKEFILE, "--directory", self.work,
                               "--configfile", os.path.join(self.work, config),
                               "--cores", "2"], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)

    def test_fetch_then_process_then_nothing_to_do(self):
        proc = self.snakemake()
        self.assertEqual(proc.returncode, 0, proc.stdout)
        stamp = os.path.join(self.work, "res", "lists", "fetch",
                             "MOD09GQ_2023.01.04_2024.01.06.txt")
        with open(stamp) as f:
            self.assertIn("10 granules of MOD09GQ listed, 0 held already, 10 downloaded",
                          f.read())
        held = sorted(os.path.relpath(os.path.join(d, f), os.path.join(self.work, "tiles"))
                      for d, _, files in os.walk(os.path.join(self.work, "tiles"))
                      for f in files if f.endswith(".hdf"))
        self.assertEqual(held, sorted("%s/%s.hdf" % (d, granule(t, d))
                                      for d in DAYS for t in TILES))
        self.assertEqual(sorted(os.listdir(os.path.join(self.work, "res", "daily"))), DAYS)
        for year in ("2023", "2024"):
            self.assertTrue(os.path.isfile(os.path.join(
                self.work, "res", "vci", year, "vci_02_%s.01.04_%s.01.06.hdf" % (year, year))))
        served = len(self.archive.log)
        again = self.snakemake()
        self.assertEqual(again.returncode, 0, again.stdout)
        self.assertIn("Nothing to be done", again.stdout)
        self.assertEqual(len(self.archive.log), served)

    def test_national_run_fetches_the_regions_tiles(self):
        proc = self.snakemake("national.yaml")
        self.assertEqual(proc.returncode, 0, proc.stdout)
        with open(os.path.join(self.work, "nat", "lists", "fetch", "fetch-tiles.txt")) as f:
            self.assertEqual(f.read().split(), TILES)
        for region in ("west", "east"):
            self.assertEqual(sorted(os.listdir(os.path.join(self.work, "nat", region, "daily"))),
                             DAYS)
        self.assertTrue(os.path.isfile(os.path.join(
            self.work, "nat", "national", "2024", "vci_02_2024.01.04_2024.01.06.tif")))


def main():
    def start(args):
        global BIN
        BIN = args.bin
    return harness.main(CHAIN_PROGRAMS + ["tilefetch", "gridprobe"],
                        [("numpy", "numpy"), ("osgeo.gdal", "GDAL's Python bindings")],
                        start=start)


if __name__ == "__main__":
    sys.exit(main())
