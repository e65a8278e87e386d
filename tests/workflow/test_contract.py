"""The rules that live on both sides of the language border, compared: the period tags, list file
names and list dates that the workflow plans against what the built period programs print and
write; each program's success status against the step runner's table, by running the chain once
on tiny generated tiles; and the package's field names and 8-bit sentinels against the products
those programs wrote.

Usage: test_contract.py --bin <folder of the built programs>
Exits with 77 (skipped) when a program or GDAL's Python bindings are missing.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import harness
from vegflow import maps, products, samples, steps
from vegflow.plan import Plan, date_text, period_days

BIN = None

# year, period, length, actual: periods inside a year, across the year end, holding 29 February,
# overlapping, daily, and far past the year's end.
PERIODS = [
    (2019, 1, 7, 7),
    (2019, 52, 7, 7),
    (2019, 53, 7, 7),
    (2020, 9, 7, 7),
    (2020, 53, 7, 7),
    (2020, 8, 7, 14),
    (2021, 2, 7, 14),
    (2023, 27, 14, 14),
    (2021, 5, 10, 16),
    (2021, 3, 10, 1),
    (2020, 60, 1, 1),
    (2024, 366, 1, 1),
    (2019, 100, 7, 7),
]


def program(name, *args, cwd=None):
    proc = subprocess.run([os.path.join(BIN, name)] + [str(a) for a in args], cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return proc.returncode, proc.stdout


class PeriodRule(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="contract-")
        os.makedirs(os.path.join(self.root, "tiles"))

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def test_programs_name_the_periods_as_the_plan_does(self):
        for year, period, length, actual in PERIODS:
            with self.subTest(year=year, period=period, length=length, actual=actual):
                plan = Plan({"tiles": os.path.join(self.root, "tiles"), "aoi": "a.tif",
                             "reference": "r.hdf", "first_year": year, "last_year": year,
                             "period_length": length, "actual_length": actual,
                             "out": os.path.join(self.root, "res")})
                tag = plan.tag(year, period)
                self.assertEqual(program("periodrange", year, period, length, actual), (0, tag))
                status, line = program("periodcatalog", year, period, length, actual, "VCI", "week")
                self.assertEqual((status, line.split()[0]), (0, "week_VCI_" + tag))
                # periodlist writes the list under the name the plan expects, with the plan's days.
                listed = plan.period_list(year, period)
                os.makedirs(os.path.dirname(listed), exist_ok=True)
                self.assertEqual(program("periodlist", os.path.dirname(listed), year, period,
                                         plan.period_name, length, actual),
                                 (0, "output name=%s\nO.K.\n" % listed))
                with open(listed) as handle:
                    self.assertEqual(handle.read().split(),
                                     [date_text(d) for d in period_days(year, period, length,
                                                                        actual)])
                # periodofdate names a whole period by its last day; it counts periods from the
                # 1 January before that day, so it agrees for periods that end in their own year.
                last = period_days(year, period, length, actual)[-1]
                if length == actual and last.year == year:
                    self.assertEqual(program("periodofdate", date_text(last), length), (0, tag))


class ChainContract(unittest.TestCase):
    """One small run of every program of the step runner's table, on the plan's file names."""

    def test_success_statuses_and_products(self):
        from osgeo import gdal
        gdal.UseExceptions()
        root = tempfile.mkdtemp(prefix="contract-chain-")
        self.addCleanup(shutil.rmtree, root, True)
        days = {2019: "2019.01.02", 2020: "2020.01.03"}
        for day in days.values():
            os.makedirs(os.path.join(root, "tiles", day))
            subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", "h18v04", "--date", day,
                            "--size", "24", "--clouds", "0.3", "--seed", "2",
                            os.path.join(root, "tiles", day, "h18v04.hdf")],
                           check=True, stdout=subprocess.DEVNULL)
        reference = os.path.join(root, "tiles", days[2019], "h18v04.hdf")
        samples.write_aoi(os.path.join(root, "aoi.tif"), [reference])
        plan = Plan({"tiles": os.path.join(root, "tiles"), "aoi": "aoi.tif", "reference": reference,
                     "first_year": 2019, "last_year": 2020, "periods": [1], "out": "res"})
        self.assertEqual(plan.composites, [(1, 2019), (1, 2020)])
        ran = {}

        def run(name, *args):
            ran[name] = program(name, *args, cwd=root)[0]
            self.assertEqual(ran[name], steps.SUCCESS_STATUS[name], name)

        def place(path):
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            return path

        run("zonegrid", "aoi.tif", place(plan.mask()), reference)
        for year, day in days.items():
            with open(os.path.join(root, place(plan.path("lists", day + ".txt"))), "w") as handle:
                handle.write(os.path.join("tiles", day, "h18v04.hdf") + "\n")
            run("daymosaic", plan.path("lists", day + ".txt"), plan.mask(), place(plan.daily(day)))
            listed = place(plan.period_list(year, 1))
            run("periodlist", os.path.dirname(listed), year, 1, plan.period_name, plan.length,
                plan.actual)
            with open(os.path.join(root, place(plan.composite_list(year, 1))), "w") as handle:
                handle.write(plan.daily(day) + "\n")
            run("peakcomposite", plan.composite_list(year, 1), place(plan.composite(year, 1)))
        # periodextremes finds the composites by the names the plan gave them.
        run("periodextremes", plan.composite_dir(), 2019, 2020, place(plan.extremes(1)), 1,
            plan.length, plan.actual)
        run("conditionmap", plan.extremes(1), plan.composite(2020, 1), place(plan.vci(2020, 1)))
        copy = os.path.join(root, "vci.tif")
        maps.make_cog("vci", os.path.join(root, plan.vci(2020, 1)), copy)
        run("tallyband", "-t", "VCI", "-j", os.path.join(root, "vci.json"), copy)
        self.assertEqual(set(ran), set(steps.SUCCESS_STATUS))

        # The package's field names open the products' fields; the 8-bit fields hold valid values
        # and the two sentinels only, the fill value where the area raster is 0.
        outside = gdal.Open(os.path.join(root, "aoi.tif")).ReadAsArray() == 0
        for path, fields in ((plan.daily(days[2020]), (products.NDVI_FIELD, products.NDVI8_FIELD)),
                             (plan.composite(2020, 1), (products.NDVI_FIELD,
                                                        products.NDVI8_FIELD)),
                             (plan.vci(2020, 1), (products.VCI_FIELD, products.VCI8_FIELD))):
            with self.subTest(path=path):
                full, bytes8 = (gdal.Open(products.subdataset(os.path.join(root, path), f))
                                .ReadAsArray() for f in fields)
                self.assertEqual(full.shape, bytes8.shape)
                self.assertTrue(((bytes8 <= products.VALID_MAX) | (bytes8 == products.NO_DATA) |
                                 (bytes8 == products.FILL)).all())
                self.assertEqual(bytes8.shape, outside.shape)
                self.assertTrue((bytes8[outside] == products.FILL).all())
                self.assertTrue((bytes8[~outside] != products.FILL).all())


def main():
    def start(args):
        global BIN
        BIN = args.bin
    return harness.main(harness.CHAIN_PROGRAMS + ["periodrange", "periodcatalog", "periodofdate"],
                        [("numpy", "numpy"), ("osgeo.gdal", "GDAL's Python bindings")],
                        snakemake=False, failfast=False, start=start)


if __name__ == "__main__":
    sys.exit(main())
