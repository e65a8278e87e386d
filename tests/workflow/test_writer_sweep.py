"""The workflow's own writers under a lowered file size limit: each command is run once without a
limit (the reference bytes), then with the limit at every byte of the last 64 below the size of its
output and at coarser points down to a few hundred bytes. A run must not end by a signal; a failed
run has a non-zero status and leaves neither the output nor a temporary file beside it; a run with
status 0 leaves the whole output, byte for byte the reference.

Usage: test_writer_sweep.py --bin <folder of the built programs>
Exits with 77 (skipped) when GDAL's Python bindings, matplotlib or a program is missing.
"""

import concurrent.futures
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import VEGFLOW
import harness

# Writer name -> (its command with {in} for the inputs' folder, its output's name).
WRITERS = {
    "composite list": (["composite-list", "{in}/period.txt", "list.txt",
                        "{in}/NDVI2024.05.13.hdf", "{in}/NDVI2024.05.15.hdf"], "list.txt"),
    "legend": (["quicklook", "legend", "--kind", "vci", "--output", "legend.svg"], "legend.svg"),
    "GIS-ready copy": (["quicklook", "gis", "--kind", "ndvi", "--input", "{in}/ndvi.hdf",
                        "--output", "ndvi.tif"], "ndvi.tif"),
    "quicklook image": (["quicklook", "image", "--kind", "ndvi", "--input", "{in}/ndvi.tif",
                         "--output", "ndvi.png", "--width", "400"], "ndvi.png"),
}


def limits(size):
    """Every limit of the last 64 bytes below `size`, then about 8 coarser ones down to 300."""
    fine = list(range(size - 1, max(size - 65, 0), -1))
    coarse = [int(300 * (fine[-1] / 300.0) ** (k / 8.0)) for k in range(7, -1, -1)]
    return fine + sorted({c for c in coarse if c < fine[-1]}, reverse=True)


def run(argv, folder, limit=None):
    """Runs a vegflow command in `folder` under a file size limit; returns its process."""
    def lower():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return subprocess.run(VEGFLOW + argv, cwd=folder, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True, preexec_fn=lower if limit else None)


class WriterSweep(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="writer-sweep-")
        cls.inputs = os.path.join(cls.root, "in")
        os.mkdir(cls.inputs)
        tile = os.path.join(cls.inputs, "h18v04.hdf")
        for argv in (["modis-tilegen", "--tile", "h18v04", "--date", "2024.05.13", "--size", "40",
                      "--seed", "5", tile], ["zonegrid", "aoi.tif", "mask.hdf", tile],
                     ["daymosaic", "tiles.txt", "mask.hdf", "ndvi.hdf"]):
            if argv[0] == "zonegrid":
                assert run(["sample", "aoi", "--output", "aoi.tif", tile],
                           cls.inputs).returncode == 0
                with open(os.path.join(cls.inputs, "tiles.txt"), "w") as handle:
                    handle.write(tile + "\n")
            status = subprocess.run([os.path.join(cls.bin, argv[0])] + argv[1:], cwd=cls.inputs,
                                    stdout=subprocess.DEVNULL).returncode
            assert status in (0, 1), "%s ended with %d" % (argv[0], status)
        with open(os.path.join(cls.inputs, "period.txt"), "w") as handle:
            handle.write("2024.05.13\n2024.05.14\n2024.05.15\n")
        gis = [a.replace("{in}", ".") for a in WRITERS["GIS-ready copy"][0]]
        assert run(gis, cls.inputs).returncode == 0

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def sweep(self, name):
        """Runs one writer without a limit and at every limit of limits(); returns the failures."""
        argv, output = WRITERS[name]
        argv = [a.replace("{in}", self.inputs) for a in argv]
        folder = os.path.join(self.root, name.replace(" ", "-"))
        os.mkdir(folder)
        proc = run(argv, folder)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(os.path.join(folder, output), "rb") as handle:
            reference = handle.read()
        os.remove(os.path.join(folder, output))

        def one(limit):
            where = os.path.join(folder, str(limit))
            os.mkdir(where)
            proc = run(argv, where, limit)
            left = sorted(os.listdir(where))
            if proc.returncode < 0:
                return "%d: killed by signal %d" % (limit, -proc.returncode)
            if proc.returncode != 0:
                if left:
                    return "%d: failed (%d) and left %s" % (limit, proc.returncode, left)
                if output not in proc.stderr:
                    return "%d: failed without naming %s: %s" % (limit, output, proc.stderr)
                return None
            if left != [output]:
                return "%d: succeeded and left %s" % (limit, left)
            with open(os.path.join(where, output), "rb") as handle:
                if handle.read() != reference:
                    return "%d: succeeded with a product unlike the reference" % limit
            return None

        tried = limits(len(reference))
        with concurrent.futures.ThreadPoolExecutor(max(2, os.cpu_count() or 1)) as pool:
            faults = [f for f in pool.map(one, tried) if f]
        print("%s: %d bytes, %d limits, %d faults"
              % (name, len(reference), len(tried), len(faults)), file=sys.stderr)
        return faults

    def test_every_writer_fails_cleanly_or_writes_the_whole_output(self):
        for name in WRITERS:
            with self.subTest(writer=name):
                self.assertEqual(self.sweep(name), [])


def main():
    return harness.main(["modis-tilegen", "zonegrid", "daymosaic"],
                        [("numpy", "numpy"), ("osgeo.gdal", "GDAL's Python bindings"),
                         ("matplotlib", "matplotlib")], snakemake=False, failfast=False,
                        start=lambda args: setattr(WriterSweep, "bin", args.bin))


if __name__ == "__main__":
    sys.exit(main())
