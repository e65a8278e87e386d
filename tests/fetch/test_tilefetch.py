#!/usr/bin/env python3
"""tilefetch against the local imitation of the archive: one case per fault of the imitation's
table and per bad input, each with its own server and tiles folder."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import archive_imitation as imitation  # noqa: E402

BIN = None
DAY = "2024.05.01"
GRANULES = {"h18v04": "MOD09GQ.A2024122.h18v04.061.2024124031501",
            "h19v04": "MOD09GQ.A2024122.h19v04.061.2024124031502"}
LOGIN, DATA, SIGNED, CATALOGUE = (
    imitation.HOSTS[k] for k in ("login", "data", "signed", "catalogue"))
QUICK = "retries = 2\nbackoff_base = 0.2\nbackoff_max = 2\nconnect_timeout = 5\n" \
        "low_speed_limit = 2000\nlow_speed_time = 1\n"


class Run:
    """One tilefetch run against its own imitation: the archive, tiles folder and result."""

    def __init__(self, cache, tiles=("h18v04",), faults=None, run_faults=(), password="secret",
                 extra=""):
        self.dir = tempfile.mkdtemp(prefix="tilefetch-")
        self.store = os.path.join(self.dir, "archive")
        os.mkdir(self.store)
        for t in tiles:
            shutil.copy(os.path.join(cache, GRANULES[t] + ".hdf"), self.store)
        self.archive = imitation.Archive(self.store, faults=faults, run_faults=run_faults).start()
        self.out = os.path.join(self.dir, "tiles")
        self.netrc = os.path.join(self.dir, "netrc")
        with open(self.netrc, "w") as f:
            f.write("machine %s login analyst password %s\n" % (LOGIN, password))
        os.chmod(self.netrc, 0o600)
        self.config = os.path.join(self.dir, "tilefetch.conf")
        with open(self.config, "w") as f:
            f.write(self.archive.config_text() + QUICK + "netrc = %s\n" % self.netrc + extra)

    def fetch(self, *more, tiles="h18v04,h19v04", prefix=(), product="MOD09GQ"):
        cmd = list(prefix) + [os.path.join(BIN, "tilefetch"), "--config", self.config, "--product",
                              product, "--tiles", tiles, "--from", DAY, "--to", "2024.05.03",
                              "--out", self.out] + list(more)
        self.result = subprocess.run(cmd, capture_output=True, text=True, timeout=120)
        return self.result

    def final(self, tile):
        return os.path.join(self.out, DAY, GRANULES[tile] + ".hdf")

    def day_files(self):
        folder = os.path.join(self.out, DAY)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def requests(self, host):
        return [e for e in self.archive.log if e["host"] == host]

    def close(self):
        self.archive.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def seed_part(run, cache, tile, how):
    """A file as an interrupted run leaves it: half the file, or all of it when the run stopped
    before its checks ("part", "whole"); or in place under its final name but not in the
    manifest, whole or with a byte changed ("final", "badfinal")."""
    data = read(os.path.join(cache, GRANULES[tile] + ".hdf"))
    os.makedirs(os.path.join(run.out, DAY), exist_ok=True)
    if how == "badfinal":
        data = data[:-1] + bytes([data[-1] ^ 1])
    final = how in ("final", "badfinal")
    with open(run.final(tile) + ("" if final else ".part"), "wb") as f:
        f.write(data[:len(data) // 2] if how == "part" else data)


def ranged(run):
    return any(e["range"] for e in run.requests(SIGNED))


def retried_after_a_second(run, host):
    times = [e["time"] for e in run.requests(host)]
    return len(times) >= 2 and times[-1] - times[-2] >= 0.9


# name, faults of h18v04 (the "seed..." ones and the Range cases' partial file are set up by the
# test before the run: see seed_part), status, text expected (stdout or stderr), check(run),
# h18v04 kept?
FAULT_CASES = [
    ("401 with HTML", set(), 1, "HTTP 401 from " + LOGIN, None, False),
    ("200 with a login page", {"loginpage"}, 1, "with an HTML page", None, False),
    ("truncated body", {"truncate"}, 0, "1 downloaded", ranged, True),
    ("connection reset", {"reset"}, 0, "1 downloaded", ranged, True),
    ("slow drip", {"drip"}, 0, "1 downloaded", ranged, True),
    ("503 with Retry-After", {"503"}, 0, "1 downloaded",
     lambda r: retried_after_a_second(r, SIGNED), True),
    ("429 with Retry-After", {"429"}, 0, "1 downloaded",
     lambda r: retried_after_a_second(r, DATA), True),
    ("wrong checksum", {"wrongsum"}, 1, "the catalogue says", None, False),
    ("200 to a Range request", {"range200"}, 0, "1 downloaded",
     lambda r: [e["status"] for e in r.requests(SIGNED)] == [200], True),
    ("416 to a Range request", {"416"}, 0, "1 downloaded",
     lambda r: [e["status"] for e in r.requests(SIGNED)] == [416, 200], True),
    ("complete .part of a stopped run", {"seedwhole"}, 0, "1 downloaded",
     lambda r: r.requests(SIGNED) == [], True),
    ("in place, not in the manifest", {"seedfinal"}, 0, "1 downloaded",
     lambda r: r.requests(SIGNED) == [], True),
    ("in place, not in the manifest, damaged", {"seedbadfinal"}, 0, "1 downloaded",
     lambda r: [e["status"] for e in r.requests(SIGNED)] == [200], True),
    ("listed but 404", {"missing"}, 1, "HTTP 404 from " + DATA, None, False),
    ("duplicate with a newer production", {"duplicate"}, 0, "1 granules of MOD09GQ listed",
     lambda r: len(r.requests(SIGNED)) == 1, True),
    ("record without a checksum", {"nochecksum"}, 0, "accepted on size and grid probe", None, True),
    ("MD5 checksum", {"md5"}, 0, "1 downloaded", None, True),
    ("malformed record", {"badrecord"}, 1, "page 1 record 0 (" + GRANULES["h18v04"], None, False),
]


class TilefetchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cache = tempfile.mkdtemp(prefix="tilefetch-tiles-")
        for tile, ur in GRANULES.items():
            subprocess.run([os.path.join(BIN, "modis-tilegen"), "--tile", tile, "--date", DAY,
                            "--size", "240", os.path.join(cls.cache, ur + ".hdf")],
                           check=True, capture_output=True, timeout=120)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.cache, ignore_errors=True)

    def run_case(self, **kw):
        run = Run(self.cache, **kw)
        self.addCleanup(run.close)
        return run

    def test_faults(self):
        for name, faults, status, text, check, kept in FAULT_CASES:
            with self.subTest(name):
                run = self.run_case(faults={"h18v04": faults},
                                    password="wrong" if name.startswith("401") else "secret")
                seeds = {"range200": "part", "416": "part", "seedwhole": "whole",
                         "seedfinal": "final", "seedbadfinal": "badfinal"}
                for fault in faults & seeds.keys():
                    seed_part(run, self.cache, "h18v04", seeds[fault])
                r = run.fetch(tiles="h18v04")
                self.assertEqual(r.returncode, status, r.stdout + r.stderr)
                self.assertIn(text, r.stdout + r.stderr)
                if check:
                    self.assertTrue(check(run), run.archive.log)
                self.assertEqual(run.day_files(), [GRANULES["h18v04"] + ".hdf"] if kept else [])
                for e in run.requests(SIGNED):
                    self.assertIsNone(e["authorization"])

    def test_whole_run_paged_one_login_then_nothing_to_do(self):
        run = self.run_case(tiles=("h18v04", "h19v04"), extra="page_size = 1\n")
        tile_list = os.path.join(run.dir, "tiles.txt")
        with open(tile_list, "w") as f:
            f.write("h19v04\n")
        r = run.fetch("--tile-list", tile_list, tiles="h18v04")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("2 granules of MOD09GQ listed, 0 held already, 2 downloaded", r.stdout)
        self.assertEqual(len(run.requests(CATALOGUE)), 3)  # two pages and the empty end
        self.assertEqual(len(run.requests(LOGIN)), 1)      # the cookie jar carries the session
        jar = os.path.join(run.out, ".tilefetch-cookies")
        self.assertEqual(os.stat(jar).st_mode & 0o777, 0o600)
        self.assertTrue(all(e["user_agent"].startswith("vegcondition") for e in run.archive.log))
        self.assertEqual([e["authorization"] for e in run.requests(SIGNED) + run.requests(DATA)
                          if e["authorization"]], [])
        for tile in GRANULES:
            self.assertEqual(read(run.final(tile)),
                             read(os.path.join(run.store, GRANULES[tile] + ".hdf")))
        again = run.fetch()
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn("2 held already, 0 downloaded", again.stdout)
        self.assertEqual(len(run.requests(SIGNED)), 2)

    def test_bearer_token_goes_to_the_data_host_only(self):
        run = self.run_case()
        token = os.path.join(run.dir, "token")
        with open(token, "w") as f:
            f.write("token-1234\n")
        os.chmod(token, 0o600)
        r = run.fetch("--set", "token_file=" + token, tiles="h18v04")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(run.requests(LOGIN), [])
        self.assertEqual([e["authorization"] for e in run.requests(DATA)], ["Bearer token-1234"])
        self.assertEqual([e["authorization"] for e in run.requests(SIGNED)], [None])

    def test_newer_production_replaces_the_held_file(self):
        run = self.run_case()
        self.assertEqual(run.fetch(tiles="h18v04").returncode, 0)
        newer = GRANULES["h18v04"][:-13] + "2024200000000"
        shutil.copy(run.final("h18v04"), os.path.join(run.store, newer + ".hdf"))
        run.archive.records_cache = None
        r = run.fetch(tiles="h18v04")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(run.day_files(), [newer + ".hdf"])

    def test_mod09ga_granule(self):
        # The generator writes the 250 m grid only: served under a MOD09GA name, the probe of the
        # product's own grid refuses it, and the probe of the grid it has lets it land.
        ga = "MOD09GA" + GRANULES["h18v04"][len("MOD09GQ"):]
        for name, more, status, day_files in [
                ("the product's grid", (), 1, []),
                ("the grid named", ("--set", "probe_grid=MODIS_Grid_2D"), 0, [ga + ".hdf"])]:
            with self.subTest(name):
                run = self.run_case(tiles=())
                shutil.copy(os.path.join(self.cache, GRANULES["h18v04"] + ".hdf"),
                            os.path.join(run.store, ga + ".hdf"))
                r = run.fetch(*more, tiles="h18v04", product="MOD09GA")
                self.assertEqual(r.returncode, status, r.stdout + r.stderr)
                self.assertIn("1 granules of MOD09GA listed", r.stdout)
                if status:
                    self.assertIn("grid MODIS_Grid_1km_2D cannot be opened", r.stderr)
                self.assertEqual(run.day_files(), day_files)

    def test_full_disk_mid_file_then_the_next_run_resumes(self):
        run = self.run_case()
        size = os.path.getsize(os.path.join(run.store, GRANULES["h18v04"] + ".hdf"))
        limit = 'ulimit -f %d; exec "$@"' % (size // 2048)
        r = run.fetch(tiles="h18v04", prefix=["sh", "-c", limit, "sh"])
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("cannot write " + run.final("h18v04") + ".part", r.stderr)
        self.assertEqual(run.day_files(), [GRANULES["h18v04"] + ".hdf.part"])
        kept = os.path.getsize(run.final("h18v04") + ".part")
        self.assertTrue(0 < kept < size)
        r = run.fetch(tiles="h18v04")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(run.requests(SIGNED)[-1]["range"], "bytes=%d-" % kept)
        self.assertEqual(run.day_files(), [GRANULES["h18v04"] + ".hdf"])

    def test_bad_input(self):
        def loose_netrc(run):
            os.chmod(run.netrc, 0o644)

        def other_machine(run):
            with open(run.netrc, "w") as f:
                f.write("machine elsewhere login a password b\ndefault\n")

        def no_catalogue(run):
            run.archive.stop()

        def tiles_under_a_file(run):
            open(os.path.join(run.dir, "plain"), "w").close()
            run.out = os.path.join(run.dir, "plain", "tiles")

        # name, set-up, run faults, status, message
        cases = [
            (".netrc readable by others", loose_netrc, (), 2, "has mode 0644"),
            ("no credential for the login host", other_machine, (), 2,
             "no login and password for " + LOGIN),
            ("unreachable catalogue", no_catalogue, (), 1, "cannot reach " + CATALOGUE),
            ("catalogue page not JSON", None, ("badjson",), 1,
             "page 1 of the catalogue at %s: not valid JSON" % CATALOGUE),
            ("tiles folder not writable", tiles_under_a_file, (), 1,
             "cannot create the tiles folder"),
        ]
        for name, setup, run_faults, status, message in cases:
            with self.subTest(name):
                run = Run(self.cache, run_faults=run_faults)
                try:
                    if setup:
                        setup(run)
                    r = run.fetch(tiles="h18v04")
                    self.assertEqual(r.returncode, status, r.stderr)
                    self.assertIn(message, r.stderr)
                    self.assertEqual(run.day_files(), [])
                finally:
                    if setup is not no_catalogue:
                        run.archive.stop()
                    shutil.rmtree(run.dir, ignore_errors=True)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    args, rest = parser.parse_known_args()
    BIN = args.bin
    unittest.main(argv=[sys.argv[0]] + rest)
