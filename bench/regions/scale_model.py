#!/usr/bin/env python3
"""The scale model of a national run: what one region costs per cell in every step of the chain, and
the wall time of a national weekly run that follows from it on 1, 8 and 64 workers. It uses the
workflow's package: run it with PYTHONPATH=workflow from the repository's root.

  scale_model.py measure --build DIR --data DIR [--size N]
      runs one region of 2 x 2 generated tiles of N x N cells (default 4800, a real tile) through
      the chain's steps, with the workflow's own commands, under /usr/bin/time, and keeps CPU
      seconds and peak memory of each step in DATA/measure-N.json. A period of 7 days is composited
      from one daily mosaic listed under 7 dates, and the extremes read one composite under 20
      years: the programs' work per cell and input does not depend on the values.
  scale_model.py model --data DIR [--size N] [--cells COLUMNSxROWS] [--years Y]
      prints the per-cell table and the projected wall time of a weekly run over a national layout
      (default 36000x17000 cells in regions of 2 x 2 tiles, extremes over 20 years).
  scale_model.py check --build DIR --data DIR [--size N] [--check-size M] [--cores W] [--wait S]
      runs the workflow on two regions (rows of 2 generated tiles of M x M cells, 2 years of a
      3-day period) on W cores, and compares its CPU and wall time with what the model predicts
      for the same steps (--wait: seconds to wait for a measurement still running beside it).

The model: every step's CPU time is its CPU seconds per cell (per cell and input for the composite
and the extremes) times the region's cells; the maps cost the same at any size (they read the
copy's overviews). A step runs on one worker; workers take ready steps level by level (daily
mosaics, period lists, composites, extremes, VCI, copies, maps and reports, then the national
mosaics, maps and reports once every region's copies are done), and each step also costs the
scheduler's fixed time per job. Memory does not enter the wall time; the table shows what each
step holds per cell, so that the regions can be sized to the workers' memory.
"""

import argparse
import datetime
import heapq
import json
import math
import os
import shutil
import subprocess
import sys
import time

from vegflow import plan as chainplan
from vegflow.products import TILE_SIDE

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))

TILES = ["h18v04", "h19v04", "h18v05", "h19v05"]
DAY = datetime.date(2022, 6, 1)
PERIOD, LENGTH = 22, 7
WEEK_DAYS = 7
YEARS = 20
# Fixed wall time of one job of the workflow (starting the step's runner, the scheduler's work),
# from the miniature national layout: 92 steps of a few hundred cells in 52 s on 2 cores; and its
# CPU time, from a two-region run of 60 x 60 tiles: 73 steps in 36 CPU s.
JOB_SECONDS = 1.1
JOB_CPU_SECONDS = 0.5

# The maps read their raster at the size of the image (from the overviews of the copy), so they
# cost about the same for any area: their measured CPU time counts per step, not per cell.
FIXED_STEPS = ("map_ndvi", "map_vci")
# Twenty copies of one composite make extremes whose minimum and maximum coincide, so the measured
# VCI is nearly uniform and its copy and report compress and count faster than a real one: the
# model costs them as the NDVI's (the mosaic is measured on the NDVI copy for the same reason).
LIKE_NDVI = {"copy_vci": "copy_ndvi", "report_vci": "report_ndvi"}
# The VCI step itself writes its grid with deflate, which costs far more on a real VCI than on a
# uniform one: the model takes conditionmap's benchmark on realistic 4800 x 4800 grids instead
# (5.78 s, the median of bench/run on an idle machine: docs/benchmarks.md, latest table).
VCI_CPU_PER_CELL = 5.78 / (4800 * 4800)
# Steps of one region in order; "inputs" says what the step's CPU time is proportional to besides
# the cells.
STEPS = ["mask", "daily", "composite", "extremes", "vci", "copy_ndvi", "copy_vci", "map_ndvi",
         "map_vci", "report_ndvi", "report_vci", "mosaic"]


def timed(command, log, ok_status=0):
    """(wall s, CPU s, peak resident bytes) of a command run under /usr/bin/time."""
    stats = log + ".time"
    start = time.time()
    with open(log, "w") as out:
        proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", stats] + command,
                              stdout=out, stderr=subprocess.STDOUT)
    wall = time.time() - start
    if proc.returncode != ok_status:
        raise RuntimeError("%s ended with status %d (log: %s)" % (command[0], proc.returncode, log))
    with open(stats) as handle:
        user, system, peak_kb = handle.read().split()[-3:]
    return wall, float(user) + float(system), int(peak_kb) * 1024


def generate_tiles(bin_dir, folder, size, day, seed=7):
    """Tiles stored as the archive stores them (deflated chunks of 32 rows, level 8), made from
    the generator's tiles by tile_fields when it is built (the generator's own layout otherwise:
    each field one deflated stream)."""
    os.makedirs(folder, exist_ok=True)
    archive = os.path.join(bin_dir, "tile_fields")
    for tile in TILES:
        path = os.path.join(folder, tile + ".hdf")
        if not os.path.exists(path):
            generated = path + ".generated" if os.path.exists(archive) else path
            subprocess.run([os.path.join(bin_dir, "modis-tilegen"), "--tile", tile, "--date",
                            chainplan.date_text(day), "--size", str(size), "--clouds", "0.25",
                            "--seed", str(seed), generated], check=True, stdout=subprocess.DEVNULL)
            if generated != path:
                subprocess.run([archive, "archive", generated, path], check=True)
                os.remove(generated)
    return [os.path.join(folder, t + ".hdf") for t in TILES]


def area_raster(path, size, rows_of_tiles=(4, 5), columns_of_tiles=(18, 19)):
    """An area raster of whole tiles (all cells inside) on the grid of tiles of size x size
    cells."""
    cell = TILE_SIDE / size
    left = (columns_of_tiles[0] - 18) * TILE_SIDE
    top = (9 - rows_of_tiles[0]) * TILE_SIDE
    columns = size * (columns_of_tiles[1] - columns_of_tiles[0] + 1)
    rows = size * (rows_of_tiles[1] - rows_of_tiles[0] + 1)
    subprocess.run(["gdal_create", "-q", "-of", "GTiff", "-ot", "Byte", "-outsize", str(columns),
                    str(rows), "-burn", "255", "-co", "COMPRESS=DEFLATE", "-a_ullr", repr(left),
                    repr(top), repr(left + columns * cell), repr(top - rows * cell), path],
                   check=True)
    return columns * rows


def measure(args):
    bin_dir = os.path.abspath(os.path.join(args.build, "bin"))
    work = os.path.abspath(os.path.join(args.data, "region-%d" % args.size))
    os.makedirs(work, exist_ok=True)
    py = sys.executable
    tiles = generate_tiles(bin_dir, os.path.join(work, "tiles"), args.size, DAY)
    cells = area_raster(os.path.join(work, "aoi.tif"), args.size)
    logs = os.path.join(work, "logs")
    os.makedirs(logs, exist_ok=True)
    results = {"size": args.size, "cells": cells, "steps": {}}

    def step(name, command, inputs=1, ok_status=0):
        wall, cpu, peak = timed(command, os.path.join(logs, name + ".log"), ok_status)
        results["steps"][name] = {"wall": wall, "cpu": cpu, "peak": peak, "inputs": inputs}
        print("%-12s %8.1f s wall %8.1f s CPU %8.0f MB peak" % (name, wall, cpu, peak / 1e6),
              flush=True)

    mask = os.path.join(work, "mask.hdf")
    step("mask", [os.path.join(bin_dir, "zonegrid"), os.path.join(work, "aoi.tif"), mask, tiles[0]])
    tile_list = os.path.join(work, "tiles.txt")
    with open(tile_list, "w") as handle:
        handle.write("".join(t + "\n" for t in tiles))
    daily = os.path.join(work, "daily.hdf")
    step("daily", [os.path.join(bin_dir, "daymosaic"), tile_list, mask, daily], ok_status=1)
    # The week's daily grids: the one mosaic under each date of the period.
    first, _ = chainplan.period_dates(DAY.year, PERIOD, LENGTH, LENGTH)
    week = []
    for i in range(WEEK_DAYS):
        name = os.path.join(work, "week", "NDVI%s.hdf" % chainplan.date_text(
            first + datetime.timedelta(days=i)))
        os.makedirs(os.path.dirname(name), exist_ok=True)
        if not os.path.lexists(name):
            os.symlink(daily, name)
        week.append(name)
    week_list = os.path.join(work, "week.txt")
    with open(week_list, "w") as handle:
        handle.write("".join(w + "\n" for w in week))
    composite = os.path.join(work, "composite.hdf")
    step("composite", [os.path.join(bin_dir, "peakcomposite"), week_list, composite],
         inputs=WEEK_DAYS)
    # Twenty years of the period's composite, named as the compositor names them.
    source = os.path.join(work, "composites")
    last_year = DAY.year
    first_year = last_year - YEARS + 1
    for year in range(first_year, last_year + 1):
        name = os.path.join(source, str(year), "ndvi_%s.hdf" % chainplan.period_tag(
            year, PERIOD, LENGTH, LENGTH))
        os.makedirs(os.path.dirname(name), exist_ok=True)
        if not os.path.lexists(name):
            os.symlink(composite, name)
    extremes = os.path.join(work, "maxmin.hdf")
    step("extremes", [os.path.join(bin_dir, "periodextremes"), source, str(first_year),
                      str(last_year), extremes, str(PERIOD), str(LENGTH), str(LENGTH)],
         inputs=YEARS)
    vci = os.path.join(work, "vci.hdf")
    step("vci", [os.path.join(bin_dir, "conditionmap"), extremes, composite, vci])
    copies = {}
    for kind, product in (("ndvi", composite), ("vci", vci)):
        copies[kind] = os.path.join(work, "%s.tif" % kind)
        step("copy_" + kind, [py, "-m", "vegflow", "quicklook", "gis", "--kind", kind,
                              "--input", product, "--output", copies[kind]])
    for kind in ("ndvi", "vci"):
        step("map_" + kind, [py, "-m", "vegflow", "quicklook", "image", "--kind", kind,
                             "--input", copies[kind], "--output",
                             os.path.join(work, "%s.png" % kind)])
    for kind in ("ndvi", "vci"):
        step("report_" + kind, [os.path.join(bin_dir, "tallyband"), "-t", kind.upper(), "-w", kind,
                                "-c", os.path.join(work, kind + ".csv"), "-j",
                                os.path.join(work, kind + ".json"), copies[kind]])
    step("mosaic", [py, "-m", "vegflow", "national", "mosaic", "--kind", "ndvi",
                    "--output", os.path.join(work, "national-ndvi.tif"), copies["ndvi"]])
    results["load"] = os.getloadavg()
    out = os.path.join(args.data, "measure-%d.json" % args.size)
    with open(out, "w") as handle:
        json.dump(results, handle, indent=1)
    print("kept in %s (load average %.2f %.2f %.2f)" % ((out,) + tuple(results["load"])))


def per_cell(measured):
    """{step: (CPU s per cell and input, peak bytes per cell)}; for the fixed steps, CPU s per
    step."""
    cells = measured["cells"]
    steps = measured["steps"]
    costs = {name: ((s["cpu"] if name in FIXED_STEPS else
                     steps[LIKE_NDVI.get(name, name)]["cpu"] / cells / s["inputs"]),
                    s["peak"] / cells)
             for name, s in steps.items()}
    costs["vci"] = (VCI_CPU_PER_CELL, costs["vci"][1])
    return costs


class Task:
    """A step: its wall time on a worker of its own (CPU time plus the job's fixed wall time) and
    the steps it waits for."""

    def __init__(self, name, seconds, after=()):
        self.name, self.seconds, self.after = name, seconds, list(after)

    @property
    def cpu(self):
        return self.seconds - JOB_SECONDS + JOB_CPU_SECONDS


def region_tasks(costs, prefix, cells, days, years, history):
    """The steps of one region's run: `days` daily mosaics for each of `years` composites, the
    extremes over `history` years, a VCI, and per composite and VCI its GIS-ready copy, map and
    report. Also returns the copies, which the national mosaics wait for."""
    def cost(step, inputs=1):
        if step in FIXED_STEPS:
            return costs[step][0] + JOB_SECONDS
        return costs[step][0] * cells * inputs + JOB_SECONDS

    # The mask, the legends and the page of the region; a period list beside each composite.
    tasks = [Task(prefix + "mask", cost("mask"))] + [
        Task(prefix + name, JOB_SECONDS) for name in ("legend_ndvi", "legend_vci")]
    vcis, maps = [], []
    composites = []
    for y in range(years):
        dailies = [Task("%sdaily%d.%d" % (prefix, y, d), cost("daily"), [tasks[0]])
                   for d in range(days)]
        period_list = Task("%speriod_list%d" % (prefix, y), JOB_SECONDS, dailies)
        composite = Task("%scomposite%d" % (prefix, y), cost("composite", days), [period_list])
        tasks += dailies + [period_list, composite]
        composites.append(composite)
    extremes = Task(prefix + "extremes", cost("extremes", history), composites)
    tasks.append(extremes)
    for y, composite in enumerate(composites):
        vci = Task("%svci%d" % (prefix, y), cost("vci"), [extremes, composite])
        tasks.append(vci)
        for kind, product in (("ndvi", composite), ("vci", vci)):
            copy = Task("%scopy_%s%d" % (prefix, kind, y), cost("copy_" + kind), [product])
            tasks += [copy,
                      Task("%smap_%s%d" % (prefix, kind, y), cost("map_" + kind), [copy]),
                      Task("%sreport_%s%d" % (prefix, kind, y), cost("report_" + kind), [copy])]
            maps.append(copy)
        vcis.append(vci)
    tasks.append(Task(prefix + "page", JOB_SECONDS, tasks[-6:]))
    return tasks, maps


def national_steps(costs, total, years, maps):
    """Per composite and kind the national mosaic, its map and report; the legends and the
    page."""
    tasks = [Task(name, JOB_SECONDS) for name in ("legend_ndvi", "legend_vci")]
    for y in range(years):
        for kind in ("ndvi", "vci"):
            mosaic = Task("mosaic_%s%d" % (kind, y), costs["mosaic"][0] * total + JOB_SECONDS, maps)
            tasks += [mosaic,
                      Task("quicklook_%s%d" % (kind, y), costs["map_" + kind][0] + JOB_SECONDS,
                           [mosaic]),
                      Task("report_%s%d" % (kind, y), JOB_SECONDS, [mosaic])]
    return tasks + [Task("page", JOB_SECONDS, tasks[-3:])]


def national_tasks(costs, region_cells, days, years, history):
    tasks, maps = [], []
    for i, cells in enumerate(region_cells):
        t, m = region_tasks(costs, "r%d." % i, cells, days, years, history)
        tasks += t
        maps += m
    return tasks + national_steps(costs, sum(region_cells), years, maps)


def makespan(tasks, workers):
    """Wall time of the tasks (listed after what they need) on `workers` workers: each task starts
    when its inputs are done and a worker is free."""
    # Steps are taken level by level (every step whose inputs are ready before the next ones), as
    # the workflow's scheduler starts whatever is ready.
    level = {}
    for task in tasks:
        level[task.name] = 1 + max([0] + [level[a.name] for a in task.after])
    free = [0.0] * workers
    done_at = {}
    for task in sorted(tasks, key=lambda t: level[t.name]):
        ready = max([0.0] + [done_at[a.name] for a in task.after])
        start = max(ready, heapq.heappop(free))
        done_at[task.name] = start + task.seconds
        heapq.heappush(free, done_at[task.name])
    return max(done_at.values())


def layout(columns, rows, region_cells):
    """Cells of each region of a national layout cut into regions of at most `region_cells`."""
    total = columns * rows
    count = max(1, math.ceil(total / region_cells))
    return [total / count] * count


def clock(seconds):
    seconds = int(round(seconds))
    return "%d:%02d:%02d" % (seconds // 3600, seconds % 3600 // 60, seconds % 60)


def model(args):
    with open(os.path.join(args.data, "measure-%d.json" % args.size)) as handle:
        measured = json.load(handle)
    costs = per_cell(measured)
    print("Per step, one region of %d cells (load average during the run: %s):"
          % (measured["cells"], " ".join("%.2f" % v for v in measured.get("load", []))))
    print("| step | CPU s | CPU s per million cells | peak memory | bytes per cell |")
    print("|---|---|---|---|---|")
    for name in STEPS:
        s = measured["steps"][name]
        if name in FIXED_STEPS:
            rate = "(per step)"
        elif name in LIKE_NDVI:
            rate = "%.3f (as %s)" % (costs[name][0] * 1e6, LIKE_NDVI[name])
        elif name == "vci":
            rate = "%.3f (benchmark table)" % (costs[name][0] * 1e6)
        else:
            rate = "%.3f%s" % (costs[name][0] * 1e6, "" if s["inputs"] == 1 else
                               " per input (%d)" % s["inputs"])
        print("| %s | %.1f | %s | %.0f MB | %.2f |" % (
            name, s["cpu"], rate, s["peak"] / 1e6, costs[name][1]))
    columns, rows = (int(v) for v in args.cells.lower().split("x"))
    regions = layout(columns, rows, measured["cells"])
    tasks = national_tasks(costs, regions, WEEK_DAYS, 1, args.years)
    cpu = sum(t.cpu for t in tasks)
    print("\nNational weekly run: %d x %d cells in %d regions of %.0f cells, %d daily mosaics per "
          "region, extremes over %d years; %d steps, %.0f CPU s in all:"
          % (columns, rows, len(regions), regions[0], WEEK_DAYS, args.years, len(tasks), cpu))
    print("| workers | projected wall time |")
    print("|---|---|")
    for workers in (1, 8, 64):
        print("| %d | %s |" % (workers, clock(makespan(tasks, workers))))


def check(args):
    """Two regions (the upper and the lower row of 2 x 2 tiles) over a few days and years."""
    bin_dir = os.path.abspath(os.path.join(args.build, "bin"))
    work = os.path.abspath(os.path.join(args.data, "check-%d" % args.check_size))
    years = [2021, 2022]
    days = 3
    for year in years:
        first, _ = chainplan.period_dates(year, 1, days, days)
        for i in range(days):
            day = first + datetime.timedelta(days=i)
            generate_tiles(bin_dir, os.path.join(work, "tiles", chainplan.date_text(day)),
                           args.check_size, day)
    cells = []
    for name, row in (("north", 4), ("south", 5)):
        cells.append(area_raster(os.path.join(work, name + ".tif"), args.check_size, (row, row)))
    config = {"tiles": "tiles", "regions": ["north.tif", "south.tif"],
              "reference": "tiles/%s/h18v04.hdf" % chainplan.date_text(
                  chainplan.period_dates(years[0], 1, days, days)[0]),
              "first_year": years[0], "last_year": years[-1], "period_length": days,
              "periods": [1], "out": "results", "bin": bin_dir}
    with open(os.path.join(work, "config.yaml"), "w") as handle:
        json.dump(config, handle)
    shutil.rmtree(os.path.join(work, "results"), ignore_errors=True)
    start = time.time()
    stats = os.path.join(work, "workflow.time")
    with open(os.path.join(work, "workflow.log"), "w") as log:
        proc = subprocess.run(["/usr/bin/time", "-f", "%U %S", "-o", stats, "snakemake", "-s",
                               os.path.join(REPO, "workflow", "Snakefile"),
                               "--directory", work, "--configfile",
                               os.path.join(work, "config.yaml"), "--cores",
                               str(args.cores), "--scheduler", "greedy"], stdout=log,
                              stderr=subprocess.STDOUT)
    wall = time.time() - start
    if proc.returncode != 0:
        raise RuntimeError("the check run failed (log: %s)" % os.path.join(work, "workflow.log"))
    with open(stats) as handle:
        cpu = sum(float(v) for v in handle.read().split()[-2:])
    measured = os.path.join(args.data, "measure-%d.json" % args.size)
    # A measurement still running beside the check leaves its file when done.
    while not os.path.exists(measured) and args.wait > 0:
        time.sleep(10)
        args.wait -= 10
    with open(measured) as handle:
        costs = per_cell(json.load(handle))
    tasks = national_tasks(costs, cells, days, len(years), len(years))
    predicted = makespan(tasks, args.cores)
    predicted_cpu = sum(t.cpu for t in tasks)
    # The CPU time does not depend on what else runs on the machine; the wall time does.
    print("Check: two regions of %s cells, %d years of %d days, %d steps on %d cores "
          "(load average %.2f before, %.2f after):\n"
          "  CPU time:  measured %.0f s, model %.0f s, ratio %.2f\n"
          "  wall time: measured %.0f s, model %.0f s, ratio %.2f"
          % (" and ".join(str(c) for c in cells), len(years), days, len(tasks), args.cores,
             args.load_before, os.getloadavg()[0], cpu, predicted_cpu, cpu / predicted_cpu,
             wall, predicted, wall / predicted))


def main(argv):
    parser = argparse.ArgumentParser(prog="scale_model.py")
    parser.add_argument("what", choices=["measure", "model", "check"])
    parser.add_argument("--build", default="build")
    parser.add_argument("--data", required=True)
    parser.add_argument("--size", type=int, default=4800)
    parser.add_argument("--check-size", type=int, default=1200)
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--cells", default="36000x17000")
    parser.add_argument("--years", type=int, default=YEARS)
    parser.add_argument("--wait", type=int, default=0,
                        help="check: seconds to wait for the measurement's file")
    args = parser.parse_args(argv)
    args.load_before = os.getloadavg()[0]
    os.makedirs(args.data, exist_ok=True)
    try:
        {"measure": measure, "model": model, "check": check}[args.what](args)
    except (OSError, RuntimeError, subprocess.CalledProcessError) as err:
        sys.stderr.write("scale_model: %s\n" % err)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
