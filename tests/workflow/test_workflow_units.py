"""Unit tests of the workflow's package: the plan and its names, atomic outputs, the step runner's
verdicts, the quicklook colours and the report tables. Standard library only."""

import json
import os
import re
import stat
import subprocess
import sys
import tempfile
import unittest

from vegflow import maps, national, outputs, pages, products, regions, runs, steps
from vegflow.plan import (Plan, PlanError, date_text, discover_days, period_days, period_tag,
                          write_composite_list)


def make_tiles(root, layout):
    """layout: {folder name: [file names]} under root/tiles."""
    tiles = os.path.join(root, "tiles")
    for folder, files in layout.items():
        os.makedirs(os.path.join(tiles, folder), exist_ok=True)
        for name in files:
            open(os.path.join(tiles, folder, name), "w").close()
    return tiles


class PeriodNames(unittest.TestCase):
    def test_tags(self):
        cases = [
            # year, period, length, actual, tag
            (2019, 1, 7, 7, "01_2019.01.01_2019.01.07"),
            (2019, 52, 7, 7, "52_2019.12.24_2019.12.30"),
            (2019, 53, 7, 7, "53_2019.12.31_2020.01.06"),
            (2020, 53, 7, 7, "53_2020.12.30_2021.01.05"),
            (2020, 1, 7, 14, "01_2020.01.01_2020.01.14"),
            (2020, 2, 7, 14, "02_2020.01.08_2020.01.21"),
            (2020, 8, 7, 14, "08_2020.02.19_2020.03.03"),
            (2019, 100, 7, 7, "100_2020.11.24_2020.11.30"),
            (2021, 3, 10, 1, "03_2021.01.21_2021.01.21"),
        ]
        for year, period, length, actual, tag in cases:
            with self.subTest(year=year, period=period, length=length, actual=actual):
                self.assertEqual(period_tag(year, period, length, actual), tag)

    def test_period_days_cover_leap_day(self):
        days = [date_text(d) for d in period_days(2020, 9, 7, 7)]
        self.assertEqual(days, ["2020.02.26", "2020.02.27", "2020.02.28", "2020.02.29",
                                "2020.03.01", "2020.03.02", "2020.03.03"])

    def test_subdataset_names_the_8bit_field(self):
        self.assertEqual(products.subdataset("out/vci/v.hdf", products.field_8bit("vci")),
                         'HDF4_EOS:EOS_GRID:"out/vci/v.hdf":MODIS_Grid_2D:sur_vci_b02_b01_8bit')
        self.assertTrue(products.subdataset("c.hdf", products.field_8bit("ndvi")).endswith(
            ":sur_ndvi_b02_b01_8bit"))


class DayDiscovery(unittest.TestCase):
    def test_only_dated_folders_with_tiles_count(self):
        with tempfile.TemporaryDirectory() as root:
            tiles = make_tiles(root, {
                "2020.01.02": ["h2.hdf", "h1.HDF", "notes.txt"],
                "2020.01.03": [],               # no tiles
                "2020.02.30": ["a.hdf"],        # not a date
                "2020-01-04": ["a.hdf"],        # not the date text
                "misc": ["a.hdf"],
            })
            open(os.path.join(tiles, "2020.01.05"), "w").close()  # a file, not a folder
            days = discover_days(tiles)
            self.assertEqual(list(days), ["2020.01.02"])
            self.assertEqual([os.path.basename(t) for t in days["2020.01.02"]],
                             ["h1.HDF", "h2.hdf"])

    def test_missing_folder_is_reported(self):
        with self.assertRaisesRegex(PlanError, "tile folder .*nowhere does not exist"):
            discover_days(os.path.join(tempfile.gettempdir(), "nowhere", "nowhere"))


class PlanOfRun(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.tiles = make_tiles(self.root.name, {
            "2022.01.03": ["a.hdf"], "2022.01.09": ["a.hdf"],
            "2023.01.02": ["a.hdf", "b.hdf"], "2023.12.31": ["a.hdf"], "2024.01.02": ["a.hdf"],
        })

    def tearDown(self):
        self.root.cleanup()

    def config(self, **extra):
        cfg = {"tiles": self.tiles, "aoi": "aoi.tif", "reference": "ref.hdf", "first_year": 2022,
               "last_year": 2023, "out": "res"}
        cfg.update(extra)
        return cfg

    def test_composites_only_where_days_exist(self):
        plan = Plan(self.config())
        # 2022.01.09 lies in week 2 of 2022; week 53 of 2022 runs into 2023 and takes 2023.01.02;
        # 2023.12.31 and 2024.01.02 fall in week 53 of 2023.
        self.assertEqual(plan.composites, [(1, 2022), (1, 2023), (2, 2022), (53, 2022), (53, 2023)])
        self.assertEqual(plan.periods, [1, 2, 53])
        self.assertEqual(plan.years_of(1), [2022, 2023])
        self.assertEqual(plan.present_days(2022, 53), ["2023.01.02"])
        self.assertEqual(plan.present_days(2023, 53), ["2023.12.31", "2024.01.02"])
        self.assertEqual(plan.latest(), (53, 2023))

    def test_requested_periods_and_overlapping_fortnights(self):
        plan = Plan(self.config(periods=[1, 2, 3], actual_length=14))
        self.assertEqual(plan.composites, [(1, 2022), (1, 2023), (2, 2022)])
        self.assertEqual(plan.present_days(2022, 1), ["2022.01.03", "2022.01.09"])
        plan = Plan(self.config(periods="2 2"))
        self.assertEqual(plan.composites, [(2, 2022)])
        plan = Plan(self.config(periods=[2, "1", 2], first_year="2022"))
        self.assertEqual(plan.composites, [(1, 2022), (1, 2023), (2, 2022)])

    def test_names_follow_the_patterns(self):
        plan = Plan(self.config())
        cases = [
            (plan.composite(2022, 2), "res/composite/2022/ndvi_02_2022.01.08_2022.01.14.hdf"),
            (plan.period_list(2023, 53),
             "res/lists/periods/2023/week_53_2023.12.31_2024.01.06.txt"),
            (plan.daily("2022.01.03"), "res/daily/2022.01.03/NDVI2022.01.03.hdf"),
            (plan.extremes(2), "res/extremes/2022-2023/maxmin_02.hdf"),
            (plan.vci(2023, 1), "res/vci/2023/vci_01_2023.01.01_2023.01.07.hdf"),
            (plan.report("vci", 2023, 1, "csv"),
             "res/reports/2023/vci_01_2023.01.01_2023.01.07.csv"),
            (plan.quicklook("ndvi", 2022, 1),
             "res/quicklooks/2022/ndvi_01_2022.01.01_2022.01.07.png"),
            (plan.indicators(2023, 1),
             "res/indicators/2023/indicators_01_2023.01.01_2023.01.07.json"),
            (plan.timeseries("csv"), "res/indicators/timeseries.csv"),
            (plan.chart("vci_mean"), "res/indicators/charts/vci_mean.png"),
            (plan.catalogue(), "res/stac/catalog.json"),
        ]
        for got, want in cases:
            with self.subTest(want=want):
                self.assertEqual(got, want)
        self.assertEqual(plan.used_days(), ["2022.01.03", "2022.01.09", "2023.01.02",
                                            "2023.12.31", "2024.01.02"])
        products = plan.products()
        self.assertEqual(len(products), len(set(products)))
        # The time series (2 files) and its 3 charts, and 13 files per composite.
        self.assertEqual(len(products), 4 + 5 + 3 + 2 + 3 + 13 * len(plan.composites))
        self.assertIn(plan.daily("2024.01.02"), products)
        self.assertIn(plan.extremes(53), products)

    def test_refused_configurations(self):
        crowded = make_tiles(os.path.join(self.root.name, "crowded"),
                             {"2022.01.01": ["t%02d.hdf" % i for i in range(33)]})
        spaced = make_tiles(os.path.join(self.root.name, "with space"), {"2022.01.01": ["a.hdf"]})
        cases = [
            ({"first_year": 2024}, "first_year 2024 is after last_year 2023"),
            ({"period_length": 0}, "at least 1 day"),
            ({"actual_length": -1}, "at least 1 day"),
            ({"period_name": "my week"}, "period_name"),
            ({"periods": [0, 1]}, "period numbers run from 1 to 14285"),
            ({"first_year": "twenty"}, "first_year must be a whole number, not 'twenty'"),
            ({"period_length": 7.5}, "period_length must be a whole number"),
            ({"actual_length": "x"}, "actual_length must be a whole number"),
            ({"periods": ["a"]}, "periods must be whole numbers"),
            ({"periods": [1, 20000]}, "period numbers run from 1 to 14285"),
            ({"first_year": 0}, "years must lie between 1 and 9000"),
            ({"tiles": crowded}, "holds 33 tiles; at most 32"),
            ({"tiles": spaced}, "contains white space"),
            ({"out": "x" * 256}, "longer than 255"),
            ({"out": "x" * 230},
             "daily grid name x+/daily/2000.01.01/NDVI2000.01.01.hdf is longer"),
        ]
        for extra, message in cases:
            with self.subTest(extra=extra):
                with self.assertRaisesRegex(PlanError, message):
                    Plan(self.config(**extra))
        cfg = self.config()
        del cfg["reference"]
        with self.assertRaisesRegex(PlanError, "lacks the key 'reference'"):
            Plan(cfg)


class CloudScreenPlan(unittest.TestCase):
    def test_state_tiles_feed_the_screened_grids_only(self):
        with tempfile.TemporaryDirectory() as root:
            tiles = make_tiles(root, {
                "2022.01.03": ["h18v04.hdf", "MOD09GA.A2022003.h18v04.061.hdf"],
                "2022.01.04": ["MOD09GQ.h18v04.hdf", "myd09ga.h18v04.hdf"]})
            cfg = {"tiles": tiles, "aoi": "a.tif", "reference": "r.hdf", "first_year": 2022,
                   "last_year": 2022, "out": "res"}
            plain = Plan(cfg)
            self.assertIsNone(plain.cloud_screen)
            self.assertEqual([os.path.basename(t) for t in plain.days["2022.01.04"]],
                             ["MOD09GQ.h18v04.hdf"])
            self.assertEqual(plain.composite_input("2022.01.03"), plain.daily("2022.01.03"))
            screened = Plan(dict(cfg, cloud_screen="strict"))
            self.assertEqual([os.path.basename(t) for t in screened.state_tiles["2022.01.03"]],
                             ["MOD09GA.A2022003.h18v04.061.hdf"])
            self.assertEqual(screened.composite_input("2022.01.04"),
                             "res/screened/2022.01.04/NDVI2022.01.04.hdf")
            self.assertIn("res/unscreened/2022/vci_01_2022.01.01_2022.01.07.png",
                          screened.products())
            for value, message in (("lenient", "cloud_screen must be off or one of standard"),
                                   (True, "not True")):
                with self.assertRaisesRegex(PlanError, message):
                    Plan(dict(cfg, cloud_screen=value))
            os.remove(os.path.join(tiles, "2022.01.04", "myd09ga.h18v04.hdf"))
            with self.assertRaisesRegex(PlanError, "2022.01.04 holds no state tile"):
                Plan(dict(cfg, cloud_screen="standard"))


class CompositeList(unittest.TestCase):
    def run_list(self, dates, dailies):
        with tempfile.TemporaryDirectory() as root:
            period_list = os.path.join(root, "week.txt")
            with open(period_list, "w") as handle:
                handle.write("".join(d + "\n" for d in dates))
            out = os.path.join(root, "list.txt")
            try:
                write_composite_list(period_list, dailies, out)
            finally:
                self.assertLessEqual(set(os.listdir(root)), {"week.txt", "list.txt"})
            with open(out) as handle:
                return handle.read()

    def test_follows_the_period_list_and_skips_days_without_files(self):
        dates = ["2020.02.28", "2020.02.29", "2020.03.01"]
        dailies = ["d/2020.03.01/NDVI2020.03.01.hdf", "d/2020.02.28/NDVI2020.02.28.hdf"]
        self.assertEqual(self.run_list(dates, dailies),
                         "d/2020.02.28/NDVI2020.02.28.hdf\nd/2020.03.01/NDVI2020.03.01.hdf\n")

    def test_inconsistent_inputs_are_refused(self):
        cases = [
            (["2020.01.01"], ["d/NDVI2020.01.02.hdf"], "does not list the day"),
            (["2020.01.01"], [], "no daily NDVI file"),
            (["2020.01.01"], ["d/other.hdf"], "not a daily NDVI file name"),
        ]
        for dates, dailies, message in cases:
            with self.subTest(dailies=dailies):
                with self.assertRaisesRegex(PlanError, message):
                    self.run_list(dates, dailies)


class AtomicOutputs(unittest.TestCase):
    def test_output_appears_whole_or_not_at_all(self):
        def fails(handle):
            handle.write("half")
            raise OSError("disk full")

        cases = [
            # earlier content, writer, content afterwards (None: no file)
            (None, lambda handle: handle.write("new"), "new"),
            ("old", lambda handle: handle.write("new"), "new"),
            (None, fails, None),
            ("old", fails, "old"),
        ]
        for earlier, writer, after in cases:
            with self.subTest(earlier=earlier, after=after), \
                    tempfile.TemporaryDirectory() as root:
                out = os.path.join(root, "map.tif")
                if earlier is not None:
                    outputs.write_text(out, earlier)
                try:
                    with outputs.atomic_output(out) as tmp:
                        self.assertTrue(tmp.endswith(".tif"))
                        with open(tmp, "w") as handle:
                            writer(handle)
                except OSError:
                    pass
                self.assertEqual(os.listdir(root), [] if after is None else ["map.tif"])
                if after is not None:
                    with open(out) as handle:
                        self.assertEqual(handle.read(), after)


class StepVerdicts(unittest.TestCase):
    def test_judge(self):
        with tempfile.TemporaryDirectory() as root:
            written = os.path.join(root, "out.hdf")
            with open(written, "w") as handle:
                handle.write("x")
            empty = os.path.join(root, "empty.hdf")
            open(empty, "w").close()
            cases = [
                # program, status, expected files, verdict (None = success)
                ("bin/daymosaic", 1, [written], None),
                ("bin/daymosaic", 0, [written], "daymosaic ended with status 0 \\(success is 1\\)"),
                ("bin/daymosaic", 255, [], "daymosaic ended with status 255 \\(success is 1\\)"),
                ("conditionmap", 0, [written], None),
                ("conditionmap", 1, [written],
                 "conditionmap ended with status 1 \\(success is 0\\)"),
                ("tallyband", 2, [written], "tallyband ended with status 2 \\(success is 0\\)"),
                ("peakcomposite", -11, [], "peakcomposite was killed by signal 11"),
                ("periodextremes", 0, [os.path.join(root, "none.hdf")],
                 "periodextremes reported success but did not write .*none.hdf"),
                ("zonegrid", 0, [empty], "zonegrid reported success but did not write .*empty.hdf"),
            ]
            for program, status, files, verdict in cases:
                with self.subTest(program=program, status=status):
                    got = steps.judge(program, status, files)
                    if verdict is None:
                        self.assertIsNone(got)
                    else:
                        self.assertRegex(got, verdict)

    def fake(self, root, name, body):
        path = os.path.join(root, name)
        with open(path, "w") as handle:
            handle.write("#!/bin/sh\n" + body + "\n")
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
        return path

    def run_step(self, args):
        return subprocess.run([sys.executable, "-m", "vegflow", "runstep"] + args,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def test_failure_keeps_log_and_shows_the_program_messages(self):
        with tempfile.TemporaryDirectory() as root:
            prog = self.fake(root, "daymosaic",
                             'echo "O.K."; echo "Read data from t1.hdf failed." >&2; exit 255')
            log = os.path.join(root, "logs", "day.log")
            proc = self.run_step(["--log", log, "--", prog, "list.txt"])
            self.assertEqual(proc.returncode, 1)
            self.assertIn("daymosaic ended with status 255 (success is 1)", proc.stderr)
            self.assertIn("    Read data from t1.hdf failed.\n", proc.stderr)
            with open(log) as handle:
                text = handle.read()
            self.assertIn("list.txt\n--- standard output\nO.K.\n", text)
            self.assertRegex(text, "--- standard error\nRead data from t1.hdf failed.\n"
                                   "--- status 255\n--- seconds \\d+\\.\\d{3}\n$")

    def test_success_is_quiet(self):
        with tempfile.TemporaryDirectory() as root:
            out = os.path.join(root, "o.hdf")
            tiles = os.path.join(root, "tiles.txt")
            prog = self.fake(root, "daymosaic", 'echo data > "%s"; echo "O.K."; exit 1' % out)
            proc = self.run_step(["--log", os.path.join(root, "l.log"), "--list", tiles, "a.hdf",
                                  "b c.hdf", "--expect", out, "--", prog])
            self.assertEqual((proc.returncode, proc.stderr), (0, ""))
            with open(tiles) as handle:
                self.assertEqual(handle.read(), "a.hdf\nb c.hdf\n")

    def test_hung_program_is_killed_at_the_time_limit(self):
        """The program and its own children end; the step fails saying why."""
        with tempfile.TemporaryDirectory() as root:
            child = os.path.join(root, "child.pid")
            prog = self.fake(root, "conditionmap", 'sleep 60 & echo $! > "%s"; wait' % child)
            log = os.path.join(root, "l.log")
            proc = self.run_step(["--log", log, "--time-limit", "1.5", "--", prog])
            self.assertEqual(proc.returncode, 1)
            self.assertIn("conditionmap ran past the step's time limit of 1.5 s and was killed",
                          proc.stderr)
            with open(child) as handle:
                pid = int(handle.read())
            try:
                with open("/proc/%d/stat" % pid) as handle:
                    state = handle.read().rsplit(")", 1)[1].split()[0]
            except OSError:
                state = "gone"
            self.assertIn(state, ("gone", "Z"), "the hung program's child still runs")
            with open(log) as handle:
                self.assertIn("--- killed past the time limit of 1.5 s\n", handle.read())

    def test_missing_program(self):
        with tempfile.TemporaryDirectory() as root:
            proc = self.run_step(["--log", os.path.join(root, "l.log"), "--",
                                  os.path.join(root, "absent")])
            self.assertEqual(proc.returncode, 1)
            self.assertIn("cannot start", proc.stderr)

    def test_log_on_a_full_disk_fails_the_step_with_the_verdict(self):
        with tempfile.TemporaryDirectory() as root:
            prog = self.fake(root, "daymosaic", 'echo "O.K."; exit 1')
            proc = self.run_step(["--log", "/dev/full", "--", prog])
            self.assertEqual(proc.returncode, 1)
            self.assertIn("runstep: daymosaic's log could not be written: No space left on device",
                          proc.stderr)
            self.assertIn("    O.K.\n", proc.stderr)


class RunLeftovers(unittest.TestCase):
    """The run command's lock and the temporary files of killed steps."""

    HOLD = ("import sys, time; from vegflow import runs; lock = runs.RunLock(sys.argv[1]); "
            "lock.acquire(); lock.record('held'); print('ok', flush=True); time.sleep(60)")

    def holder(self, out):
        proc = subprocess.Popen([sys.executable, "-c", self.HOLD, out], stdout=subprocess.PIPE,
                                text=True)
        self.assertEqual(proc.stdout.readline(), "ok\n")
        return proc

    def test_lock_of_a_live_run_refuses_that_of_a_killed_one_is_taken(self):
        with tempfile.TemporaryDirectory() as out:
            live = self.holder(out)
            try:
                with self.assertRaisesRegex(runs.Busy, "in use by the run started .*pid %d.*held"
                                            % live.pid):
                    runs.RunLock(out).acquire()
            finally:
                live.kill()
                live.wait()
                live.stdout.close()
            lock = runs.RunLock(out)
            self.assertEqual(lock.acquire()["pid"], live.pid)  # the killed run's record
            lock.record("mine")
            lock.release()
            self.assertEqual(runs.RunLock(out).acquire(), {})  # a clean end leaves no record

    def test_temporaries_unheld_are_found_others_kept(self):
        with tempfile.TemporaryDirectory() as out:
            names = {
                # name under out -> a temporary of a killed step
                "daily/2020.01.01/.tmp0a1b2c3d/NDVI2020.01.01.hdf": True,
                "composite/2020/.tmp89abcdef": True,
                "geotiff/2020/vci_01.tmp0123abcd.tif": True,
                "geotiff/2020/vci_02.tmp0123abcd.tif.ovr.tmp": True,
                "geotiff/2020/vci_03.tmpABCD0123.tif": False,
                "vci/2020/vci_01_2020.01.01_2020.01.04.hdf": False,
                "lists/tmp.txt": False,
                ".snakemake/.tmp00000000": False,
                "reports/2020/ndvi_01.tmp00000001.csv": False,  # held open by a live process
            }
            for name in names:
                os.makedirs(os.path.dirname(os.path.join(out, name)), exist_ok=True)
                open(os.path.join(out, name), "w").close()
            with open(os.path.join(out, "reports/2020/ndvi_01.tmp00000001.csv")):
                found = runs.stale_temporaries(out)
            # A private folder counts as a whole.
            want = [n.replace("/NDVI2020.01.01.hdf", "") for n, stale in names.items() if stale]
            self.assertEqual(sorted(os.path.relpath(p, out) for p in found), sorted(want))
            for path in found:
                runs.remove_tree(path)
            self.assertFalse(os.path.exists(os.path.join(out, "daily/2020.01.01/.tmp0a1b2c3d")))


class QuicklookColours(unittest.TestCase):
    def test_sentinels_and_ramp_ends(self):
        for kind in ("ndvi", "vci"):
            with self.subTest(kind=kind):
                self.assertEqual(maps.colour(kind, 255), (0, 0, 0, 0))
                self.assertEqual(maps.colour(kind, 254), (160, 160, 160, 255))
                self.assertEqual(maps.colour(kind, 0), maps.RAMPS[kind][0][1] + (255,))
                self.assertEqual(maps.colour(kind, 250), maps.RAMPS[kind][-1][1] + (255,))
                self.assertEqual(len(maps.colour_entries(kind)), 256)
                # every valid value is opaque and none is the no-data grey
                for v in range(251):
                    rgba = maps.colour(kind, v)
                    self.assertEqual(rgba[3], 255)
                    self.assertNotEqual(rgba, maps.NO_DATA_RGBA)

    def test_ramp_midpoints(self):
        self.assertEqual(maps.colour("vci", 125), (255, 255, 191, 255))
        self.assertEqual(maps.colour("vci", 25), (205, 55, 53, 255))

    def test_view_size_and_scale_bar_lengths(self):
        cases = [
            ((4800, 4800), (1024, 1024)),
            ((9600, 4800), (1024, 512)),
            ((4800, 9600), (512, 1024)),
            ((600, 400), (600, 400)),
            ((1, 1), (1, 1)),
            ((5000, 1), (1024, 1)),
        ]
        for size, want in cases:
            with self.subTest(size=size):
                self.assertEqual(maps.view_size(*size), want)
        with self.assertRaises(ValueError):
            maps.view_size(0, 5)
        for limit, want in [(333.5, 200), (1000, 1000), (999.9, 500), (0.07, 0.05), (7, 5)]:
            with self.subTest(limit=limit):
                self.assertAlmostEqual(maps.nice_length(limit), want)

    def test_legend_names_the_sentinels(self):
        svg = maps.legend_svg("vci")
        for text in ("VCI", "no data", "outside area", ">0.5<", "rgb(160,160,160)"):
            self.assertIn(text, svg)


class StepTimes(unittest.TestCase):
    def test_times_summed_per_program_from_the_logs(self):
        with tempfile.TemporaryDirectory() as root:
            logs = os.path.join(root, "logs")
            steps.run_logged(["true"], os.path.join(logs, "tallyband", "2020", "a.log"))
            for name, text in [("zonegrid.log", "--- status 0\n--- seconds 0.500\n"),
                               ("daymosaic/d1.log", "--- status 1\n--- seconds 1.000\n"),
                               ("daymosaic/d2.log", "--- status 1\n--- seconds 2.000\n"),
                               ("daymosaic/d3.log", "cannot start daymosaic\n"),
                               ("daymosaic/notes.txt", "--- seconds 9\n")]:
                os.makedirs(os.path.dirname(os.path.join(logs, name)), exist_ok=True)
                with open(os.path.join(logs, name), "w") as handle:
                    handle.write(text)
            rows = pages.step_times(logs)
            self.assertEqual([r[:2] for r in rows], [("daymosaic", 2), ("zonegrid", 1),
                                                     ("tallyband", 1)])
            self.assertEqual(rows[0][2:], (3.0, 1.5))
            self.assertLess(rows[2][2], 0.5)
            table = pages.step_table(rows)
            self.assertIn("<tr><td>daymosaic</td><td class=num>2</td><td class=num>3.0</td>"
                          "<td class=num>1.50</td>", table)
            self.assertIn("<th>all</th><th class=num>4</th>", table)


class ReportTables(unittest.TestCase):
    def write(self, root, text):
        path = os.path.join(root, "r.json")
        with open(path, "w") as handle:
            handle.write(text)
        return path

    def test_text_table(self):
        rows = [(1, "0 - 0.5", 12.25, 0.25), (2, "0.5 - 1", 1234.5, 0.75)]
        self.assertEqual(pages.text_table(rows),
                         "bin  class     acres  share %\n"
                         "---  -------  ------  -------\n"
                         "  1  0 - 0.5    12.2    25.00\n"
                         "  2  0.5 - 1  1234.5    75.00\n")

    def test_reports_are_read_or_refused(self):
        with tempfile.TemporaryDirectory() as root:
            good = self.write(root, json.dumps({"success": True, "totalCount": 1, "rows": [
                {"value": 3, "name": "a<b", "color": "", "acreage": 3.0, "percentage": 0.5}]}))
            self.assertEqual(pages.load_report(good), [(3, "a<b", 3.0, 0.5)])
            self.assertIn("<td>a&lt;b</td>", pages.html_table(pages.load_report(good)))
            cut = self.write(root, '{"success":true,"rows":[{"value":1')
            with self.assertRaisesRegex(ValueError, "not a complete report"):
                pages.load_report(cut)
            rowless = self.write(root, '{"success":true}')
            with self.assertRaisesRegex(ValueError, "holds no rows"):
                pages.load_report(rowless)


class RegionLayout(unittest.TestCase):
    def test_ids_become_folder_names_or_are_refused(self):
        for value, want in (("Uttar Pradesh", "Uttar_Pradesh"), (17, "17"), ("a-b_c", "a-b_c"),
                            ("", None), ("_x", None), ("National", None), ("daily", None)):
            with self.subTest(value=value):
                if want is None:
                    with self.assertRaises(PlanError):
                        regions.region_id(value, "layer")
                else:
                    self.assertEqual(regions.region_id(value, "layer"), want)

    def test_boxes_snap_outwards_to_whole_cells(self):
        grid = regions.Grid((-100.0, 10.0, 0.0, 50.0, 0.0, -10.0), "")
        cases = [
            # box, (columns, rows, snapped box)
            ((-95, 5, -75, 35), (3, 4, (-100.0, 0.0, -70.0, 40.0))),
            ((-90, 10, -70, 30), (2, 2, (-90.0, 10.0, -70.0, 30.0))),
            ((-85, 22, -85, 22), (1, 1, (-90.0, 20.0, -80.0, 30.0))),
        ]
        for box, want in cases:
            with self.subTest(box=box):
                self.assertEqual(grid.snap(*box), want)

    def test_walls(self):
        def region(columns, rows, tiles):
            r = regions.Region("r1", "R1", columns, rows, (0, 0, 1, 1), "r1.tif")
            r.tile_keys = ["t%d" % i for i in range(tiles)]
            return r

        cases = [
            # columns, rows, tiles, memory, message (None: accepted)
            (4800, 4800, 32, None, None),
            (4800, 4800, 33, None, "region r1 overlaps 33 tiles; daymosaic takes at most 32"),
            (12000, 12682, 9, None, None),
            (12000, 12683, 9, None, "would make daily grids of about 2147521216 bytes, beyond "
                                    "the 2 GiB limit of an HDF4 file: split it"),
            (100, 100, 1, 150000, None),
            (100, 101, 1, 150000, "region r1 (100 x 101 cells) needs about 151500 bytes of "
                                  "memory in one step; 150000 are available"),
        ]
        for columns, rows, tiles, memory, message in cases:
            with self.subTest(columns=columns, rows=rows, tiles=tiles, memory=memory):
                if message is None:
                    regions.check_walls(region(columns, rows, tiles), memory)
                else:
                    with self.assertRaisesRegex(PlanError, re.escape(message)):
                        regions.check_walls(region(columns, rows, tiles), memory)

    def test_memory_comes_from_config_then_variable(self):
        saved = os.environ.get(regions.MEMORY_VARIABLE)
        try:
            os.environ[regions.MEMORY_VARIABLE] = "5000"
            self.assertEqual(regions.available_memory({"region_memory_bytes": 7}), 7)
            self.assertEqual(regions.available_memory({}), 5000)
        finally:
            if saved is None:
                del os.environ[regions.MEMORY_VARIABLE]
            else:
                os.environ[regions.MEMORY_VARIABLE] = saved


class NationalTotals(unittest.TestCase):
    def test_acres_summed_shares_from_acres_means_weighted_by_counted_cells(self):
        regions = [("a", "A", (0.25, [(1, "low", 30.0), (2, "high", 10.0)])),
                   ("b", "B", (0.75, [(1, "low", 20.0), (2, "high", 60.0)])),
                   ("c", "C", (float("nan"), [(1, "low", 0.0), (2, "high", 0.0)]))]
        doc = national.report_doc("w", 10.0, regions, [("d", "D", "no tile overlaps the region")])
        whole = doc["national"]
        self.assertEqual([(r["acreage"], r["percentage"]) for r in whole["rows"]],
                         [(50.0, 50.0 / 120), (70.0, 70.0 / 120)])
        self.assertAlmostEqual(whole["mean"], (0.25 * 40 + 0.75 * 80) / 120)
        self.assertEqual(whole["cells"], 12)
        self.assertEqual([r["region"] for r in doc["regions"]], ["a", "b", "c", "d"])
        csv_lines = national.report_csv(doc).splitlines()
        self.assertEqual(csv_lines[0], "Region,Name,Cells,Acreage,Mean,low acres,high acres,"
                                       "low share %,high share %,Note")
        self.assertEqual(csv_lines[4], "d,D,0,0.0,,0.0,0.0,0.00,0.00,no tile overlaps the region")
        self.assertEqual(csv_lines[5], "national,,12,120.0,0.583,50.0,70.0,41.67,58.33,")


if __name__ == "__main__":
    unittest.main()
