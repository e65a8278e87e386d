"""What the workflow's whole-run tests share: where the workflow lies, how its commands are run, the
programs a run needs, and the entry that reads --bin, skips (exit 77, saying what is missing) and
runs the file's tests. The workflow's package is found through PYTHONPATH (CTest sets it)."""

import argparse
import importlib
import os
import shutil
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))
SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
# The workflow's commands: VEGFLOW + ["sample", "aoi", ...].
VEGFLOW = [sys.executable, "-m", "vegflow"]
CHAIN_PROGRAMS = ["modis-tilegen", "zonegrid", "daymosaic", "periodlist", "peakcomposite",
                  "periodextremes", "conditionmap", "tallyband"]
SKIP = 77


def main(programs, modules, snakemake=True, options=(), failfast=True, start=None):
    """Runs the calling file's tests with the built programs of --bin. `modules` pairs an import
    name with what to call it when missing; `options` are more options taking a value. `start`
    receives the parsed arguments (bin made absolute) before the tests run. Returns the exit status:
    77 when a program, snakemake or a module is missing."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    for option in options:
        parser.add_argument(option)
    args, rest = parser.parse_known_args()
    args.bin = os.path.abspath(args.bin)
    missing = [p for p in programs if not os.access(os.path.join(args.bin, p), os.X_OK)]
    if snakemake and shutil.which("snakemake") is None:
        missing.append("snakemake")
    for module, what in modules:
        try:
            importlib.import_module(module)
        except ImportError:
            missing.append(what)
    if missing:
        print("skipped: missing %s" % ", ".join(missing))
        return SKIP
    if start:
        start(args)
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, failfast=failfast).result
    return 0 if result.wasSuccessful() else 1
