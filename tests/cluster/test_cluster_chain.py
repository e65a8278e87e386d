"""The workflow on a single-node Slurm started here: a small demo chain run on the machine's own
cores, then through the built-in executor's profile on the cluster, every product's field data and
every report compared with the local run; then one running job is cancelled (scancel) during a run
through the sbatch profile, and the resume with the run command (python3 -m vegflow run, which
passes --rerun-incomplete) must again give identical products; then a running job is killed with
SIGKILL together with the runner (a lost login node), and the same command must clear the lost
runner's lock, saying so, and again give identical products. The cluster is stopped at the end
whatever happened.

Usage: test_cluster_chain.py --bin <folder of the built programs> [--keep]
Exits with 77 (skipped), saying why, when the cluster cannot be started here (not root, Slurm,
munge or MariaDB missing, a daemon that does not come up) or a program or tool is missing.
"""

import argparse
import filecmp
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))
SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
PROFILES = os.path.join(REPO, "workflow", "profiles")
SLURM_LOCAL = os.path.join(REPO, "scripts", "slurm-local.sh")
PROGRAMS = ["modis-tilegen", "zonegrid", "daymosaic", "periodlist", "peakcomposite",
            "periodextremes", "conditionmap", "tallyband"]
SKIP = 77

# Three years of two weeks, two tiles of 40 x 40 cells, a day in seven without data.
YEARS = [2020, 2021, 2022]
WEEKS = [18, 19]
TILES = ["h18v04", "h19v04"]
RUN_LIMIT = 300  # seconds for one snakemake run
TEXT_SUFFIXES = (".txt", ".csv", ".json", ".svg", ".html")


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def days():
    import datetime
    found = []
    for year in YEARS:
        for week in WEEKS:
            for i in range(7):
                offset = (week - 1) * 7 + i
                if (offset + year) % 7 == 3:
                    continue
                found.append(datetime.date(year, 1, 1) + datetime.timedelta(days=offset))
    return found


def make_inputs(root, bin_dir):
    """Tiles, area of interest and a configuration in root/tiles, root/aoi.tif, root/config.yaml."""
    for day in days():
        folder = os.path.join(root, "tiles", day.strftime("%Y.%m.%d"))
        os.makedirs(folder)
        for tile in TILES:
            subprocess.run([os.path.join(bin_dir, "modis-tilegen"), "--tile", tile, "--date",
                            day.strftime("%Y.%m.%d"), "--size", "40", "--clouds", "0.25",
                            "--seed", "7", os.path.join(folder, tile + ".hdf")],
                           check=True, stdout=subprocess.DEVNULL)
    first = os.path.join(root, "tiles", days()[0].strftime("%Y.%m.%d"))
    subprocess.run([sys.executable, "-m", "vegflow", "sample", "aoi",
                    "--output", os.path.join(root, "aoi.tif")] +
                   [os.path.join(first, t + ".hdf") for t in TILES],
                   check=True, stdout=subprocess.DEVNULL)
    config = {"tiles": "tiles", "aoi": "aoi.tif",
              "reference": os.path.relpath(os.path.join(first, "h18v04.hdf"), root),
              "first_year": YEARS[0], "last_year": YEARS[-1], "period_length": 7,
              "actual_length": 7, "periods": WEEKS, "out": "results", "bin": bin_dir}
    with open(os.path.join(root, "config.yaml"), "w") as handle:
        json.dump(config, handle)


def work_dir(root, name):
    """A folder for one run that sees the shared inputs under the same relative names."""
    work = os.path.join(root, name)
    os.makedirs(work)
    for entry in ("tiles", "aoi.tif", "config.yaml"):
        os.symlink(os.path.join(root, entry), os.path.join(work, entry))
    return work


def snakemake(work, *args, env=None):
    command = ["snakemake", "-s", SNAKEFILE, "--directory", work, "--configfile",
               os.path.join(work, "config.yaml")] + list(args)
    start = time.monotonic()
    try:
        proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              env=env, timeout=RUN_LIMIT)
    except subprocess.TimeoutExpired:
        raise Failure("snakemake %s did not end within %d s" % (" ".join(args), RUN_LIMIT))
    return proc, time.monotonic() - start


def steps_line(text):
    done = [line for line in text.splitlines() if " steps (100%) done" in line]
    return done[-1].strip() if done else "?"


def expect_success(proc, what):
    if proc.returncode != 0:
        raise Failure("%s failed (status %d); the end of its output:\n%s"
                      % (what, proc.returncode, proc.stdout[-4000:]))


def products(out):
    """Relative paths of every file a run made, without logs and hidden files."""
    found = set()
    for folder, subfolders, files in os.walk(out):
        subfolders[:] = [d for d in subfolders if not d.startswith(".") and d != "logs"]
        rel = os.path.relpath(folder, out)
        if rel == "logs" or rel.startswith("logs" + os.sep):
            continue
        found.update(os.path.normpath(os.path.join(rel, f)) for f in files if not f.startswith("."))
    return found


def field_data(path):
    """{field name: raw values} of every raster in a file (each subdataset of an HDF file)."""
    from osgeo import gdal
    dataset = gdal.Open(path)
    sources = [name for name, _ in dataset.GetSubDatasets()] or [path]
    fields = {}
    for source in sources:
        part = gdal.Open(source) if source != path else dataset
        key = source.replace(path, "")
        for band in range(1, part.RasterCount + 1):
            fields["%s#%d" % (key, band)] = part.GetRasterBand(band).ReadRaster()
    return fields


def without_step_times(path):
    with open(path) as handle:
        return handle.read().split("<h2>Step times</h2>")[0]


def compare(local_out, cluster_out):
    """Number of products compared; raises Failure on the first difference."""
    want, got = products(local_out), products(cluster_out)
    if want != got:
        raise Failure("products differ: only local %s, only on the cluster %s"
                      % (sorted(want - got)[:10], sorted(got - want)[:10]))
    fields = 0
    for name in sorted(want):
        a, b = os.path.join(local_out, name), os.path.join(cluster_out, name)
        if name.endswith(".html"):
            # The page ends with the time each step took, which differs from run to run.
            if without_step_times(a) != without_step_times(b):
                raise Failure("%s differs between the local and the cluster run" % name)
            continue
        if name.endswith(TEXT_SUFFIXES):
            if not filecmp.cmp(a, b, shallow=False):
                raise Failure("%s differs between the local and the cluster run" % name)
            continue
        fa, fb = field_data(a), field_data(b)
        if fa.keys() != fb.keys() or not fa:
            raise Failure("%s has other fields on the cluster: %s / %s"
                          % (name, list(fa), list(fb)))
        for key in fa:
            if fa[key] != fb[key]:
                raise Failure("field %s of %s differs between the local and the cluster run"
                              % (key, name))
        fields += len(fa)
    return len(want), fields


def slurm(*args, timeout=30):
    proc = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout)
    return proc.stdout


def cancel_and_rerun(work, local_out, env):
    """Removes one period's extremes, cancels the job that remakes them once it has made some of
    its products, and reruns."""
    out = os.path.join(work, "results")
    extremes = os.path.join(out, "extremes", "%d-%d" % (YEARS[0], YEARS[-1]),
                            "maxmin_%02d.hdf" % WEEKS[0])
    os.remove(extremes)
    profile = ["--profile", os.path.join(PROFILES, "slurm-sbatch")]
    command = ["snakemake", "-s", SNAKEFILE, "--directory", work, "--configfile",
               os.path.join(work, "config.yaml")] + profile
    with open(os.path.join(work, "cancelled-run.log"), "w") as output:
        run = subprocess.Popen(command, stdout=output, stderr=subprocess.STDOUT, env=env)
        try:
            jobid = None
            deadline = time.monotonic() + 120
            while jobid is None and time.monotonic() < deadline and run.poll() is None:
                if os.path.exists(extremes):
                    running = [line.split()[0] for line in
                               slurm("squeue", "-h", "-t", "RUNNING", "-o", "%i").splitlines()]
                    jobid = running[0] if running else None
                time.sleep(0.1)
            if jobid is None:
                raise Failure("no job of the run was seen running after its first product")
            slurm("scancel", jobid)
            log("   cancelled job %s while it ran" % jobid)
            status = run.wait(timeout=RUN_LIMIT)
        finally:
            if run.poll() is None:
                run.terminate()
                run.wait(timeout=60)
    with open(os.path.join(work, "cancelled-run.log")) as handle:
        text = handle.read()
    if status == 0:
        raise Failure("the run with a cancelled job reported success:\n" + text[-3000:])
    state = slurm("scontrol", "-o", "show", "job", jobid)
    if "JobState=CANCELLED" not in state:
        raise Failure("job %s is not cancelled: %s" % (jobid, state))
    if os.path.exists(extremes):
        raise Failure("the cancelled job's products were kept: " + extremes)
    # The documented resume: the run command, which passes --rerun-incomplete.
    start = time.monotonic()
    proc = subprocess.run(run_command(work, "slurm-sbatch"), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, env=env, timeout=RUN_LIMIT)
    expect_success(proc, "the rerun after the cancelled job")
    log("   resumed with python3 -m vegflow run: %s in %.0f s"
        % (steps_line(proc.stdout), time.monotonic() - start))
    return compare(local_out, out)


def run_command(work, profile):
    """The documented command that starts and resumes a run."""
    return [sys.executable, "-m", "vegflow", "run", "--directory", work, "--configfile",
            os.path.join(work, "config.yaml"), "--profile", os.path.join(PROFILES, profile)]


def lost_runner_and_killed_job(work, local_out, env):
    """Removes the other period's extremes; once a job remakes them, kills that job with SIGKILL
    (every process of it) and the runner with its whole process tree (a lost login node); waits
    for the run's other jobs to leave the queue; the same command resumes the run, saying that it
    cleared the lost runner's lock."""
    out = os.path.join(work, "results")
    extremes = os.path.join(out, "extremes", "%d-%d" % (YEARS[0], YEARS[-1]),
                            "maxmin_%02d.hdf" % WEEKS[1])
    os.remove(extremes)
    with open(os.path.join(work, "lost-run.log"), "w") as output:
        run = subprocess.Popen(run_command(work, "slurm-sbatch"), stdout=output,
                               stderr=subprocess.STDOUT, env=env, start_new_session=True)
        jobid = None
        deadline = time.monotonic() + 120
        while jobid is None and time.monotonic() < deadline and run.poll() is None:
            if os.path.exists(extremes):
                running = slurm("squeue", "-h", "-t", "RUNNING", "-o", "%i").split()
                jobid = running[0] if running else None
            time.sleep(0.1)
        if jobid is not None:
            slurm("scancel", "--signal=KILL", "--full", jobid)
        os.killpg(run.pid, signal.SIGKILL)
        run.wait(timeout=60)
    if jobid is None:
        raise Failure("no job of the run was seen running after its first product")
    log("   killed job %s with SIGKILL and the runner with its steps" % jobid)
    deadline = time.monotonic() + 180
    while slurm("squeue", "-h", "-o", "%i").split() and time.monotonic() < deadline:
        time.sleep(1)
    start = time.monotonic()
    proc = subprocess.run(run_command(work, "slurm-sbatch"), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, env=env, timeout=RUN_LIMIT)
    expect_success(proc, "the resume after the lost runner")
    if "its lock is cleared" not in proc.stdout:
        raise Failure("the resume did not say that it cleared the lost runner's lock:\n"
                      + proc.stdout[-3000:])
    log("   resumed with python3 -m vegflow run (the lost runner's lock cleared): %s in %.0f s"
        % (steps_line(proc.stdout), time.monotonic() - start))
    return compare(local_out, out)


def missing_prerequisites(bin_dir):
    missing = [p for p in PROGRAMS if not os.access(os.path.join(bin_dir, p), os.X_OK)]
    for tool in ("snakemake", "munged", "slurmctld", "slurmd", "slurmdbd", "sbatch", "sacct",
                 "mariadbd"):
        if shutil.which(tool) is None:
            missing.append(tool)
    try:
        import numpy  # noqa: F401
        from osgeo import gdal  # noqa: F401
    except ImportError:
        missing.append("GDAL's Python bindings with numpy")
    return missing


def stop_on_signal(signum, frame):
    raise SystemExit("stopped by signal %d" % signum)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the run folders")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    missing = missing_prerequisites(bin_dir)
    if missing:
        log("skipped: missing %s (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return SKIP
    if os.geteuid() != 0:
        log("skipped: the local cluster's daemons run as root; run this test as root")
        return SKIP

    # A time limit ends the test with SIGTERM: the cluster is still stopped on the way out.
    signal.signal(signal.SIGTERM, stop_on_signal)
    # A short folder: the cluster keeps Unix sockets in it.
    root = tempfile.mkdtemp(prefix="vegcl-")
    cluster_dir = os.path.join(root, "slurm")
    os.environ["SLURM_CONF"] = os.path.join(cluster_dir, "etc", "slurm.conf")
    os.environ.setdefault("USER", "root")  # the built-in executor looks the user's jobs up by name
    env = os.environ.copy()
    started = False
    try:
        make_inputs(root, bin_dir)
        local = work_dir(root, "local")
        proc, seconds = snakemake(local, "--cores", "2", "--keep-going", "--scheduler", "greedy")
        expect_success(proc, "the local run")
        log("== local run: %s in %.0f s" % (steps_line(proc.stdout), seconds))

        start = time.monotonic()
        started = True
        proc = subprocess.run(["bash", SLURM_LOCAL, "start", cluster_dir], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, timeout=240)
        if proc.returncode != 0:
            log("skipped: the local cluster did not start:\n" + proc.stdout)
            for name in sorted(os.listdir(os.path.join(cluster_dir, "log"))):
                with open(os.path.join(cluster_dir, "log", name), errors="replace") as handle:
                    log("-- %s (end)\n%s" % (name, "".join(handle.readlines()[-10:])))
            return SKIP
        log("== cluster started in %.0f s" % (time.monotonic() - start))

        work = work_dir(root, "cluster")
        proc, seconds = snakemake(work, "--profile", os.path.join(PROFILES, "slurm"), env=env)
        expect_success(proc, "the run through the built-in executor's profile")
        log("== cluster run (profile slurm): %s in %.0f s" % (steps_line(proc.stdout), seconds))
        count, fields = compare(os.path.join(local, "results"), os.path.join(work, "results"))
        log("   %d products identical to the local run (%d fields)" % (count, fields))

        log("== cancelled job (profile slurm-sbatch)")
        count, fields = cancel_and_rerun(work, os.path.join(local, "results"), env)
        log("   %d products identical to the local run (%d fields)" % (count, fields))

        log("== a job killed with SIGKILL and the runner lost (profile slurm-sbatch)")
        count, fields = lost_runner_and_killed_job(work, os.path.join(local, "results"), env)
        log("   %d products identical to the local run (%d fields)" % (count, fields))
        return 0
    except (Failure, subprocess.SubprocessError) as failure:
        log("FAILED: %s" % failure)
        return 1
    finally:
        if started:
            proc = subprocess.run(["bash", SLURM_LOCAL, "stop", cluster_dir],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                  timeout=180)
            if proc.stdout:
                log(proc.stdout.rstrip())
        if args.keep:
            log("kept " + root)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
