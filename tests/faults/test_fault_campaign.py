"""The fault campaign: the chain run with the project's run command (`python3 -m vegflow run`) as a
user's bad day would have it.

Every run fetches its tiles first (its fetch stage: tilefetch) from the archive's imitation served
on the loopback, so the chain under test starts from the archive.

kills: the run is killed with SIGKILL at seeded random moments, either the runner with every step
  (a lost node, the out-of-memory killer) or one step's program and, moments later, the runner;
  each time the same command resumes it; the first kill of a cycle in turn lands while tilefetch
  downloads (the imitation serving slowly), and the resumed fetch must continue the partial files
  where they stopped. At every kill no file under a final name may differ from an uninterrupted
  run's (products and tiles; a tile's `.part` is not under a final name); files that were finished
  at a kill are never redone; the last run's products and tiles are the uninterrupted run's byte
  for byte and no temporary file is left. On the way: a second run started on a live run's folder
  is refused, and a step that hangs is killed at its time limit and reported, and the rerun
  completes.
disk: the output folder on a small tmpfs (root only) that fills at varied points: every failed
  step fails with its program's message (never "O.K." with a failure), nothing differs under a
  final name, no temporary file remains; after space is freed, the same command completes with
  identical products. The tiles stay outside the tmpfs.

Usage: test_fault_campaign.py --bin DIR --part kills|disk [--size small|demo] [--kills N]
                              [--disk-points N] [--seed S] [--keep DIR]
Prints the figures (kills tried and survived, full-disk points, hangs bounded). Exits with 77
(skipped), saying why, when something it needs is missing, or for the disk part when not root.
"""

import argparse
import datetime
import filecmp
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from base64 import urlsafe_b64decode

import harness
from vegflow import runs, steps

sys.path.insert(0, os.path.join(harness.REPO, "tests", "fetch"))
import archive_imitation as imitation  # noqa: E402

# Chain sizes: tiles per day, cells per tile side, years, weeks.
SIZES = {
    "small": (["h18v04", "h19v04"], 40, [2020, 2021, 2022], [18, 19]),
    "demo": (["h18v04", "h19v04", "h18v05", "h19v05"], 160, [2020, 2021, 2022, 2023, 2024],
             [18, 19, 20]),
}
OUT = "results"
TILES = "tiles"  # each run's own, filled by its fetch stage
MANIFEST = "tilefetch-manifest.tsv"
FETCH_RATE = 20000  # bytes per second of each download while a kill waits for the fetch
RUN_LIMIT = 900  # seconds for one run to end by itself
# What each kill takes, in turn: the runner with every step, or first one step's program. The
# first kill of a cycle takes the runner while tilefetch downloads.
KILL_KINDS = ["runner", "program", "runner"]
CLEARED = "ended without finishing (killed or lost); its lock is cleared"


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def granule(tile, day):
    """The archive's name of a tile's granule of a day (produced two days later)."""
    return "MOD09GQ.A%s.%s.061.%s031501.hdf" % (
        day.strftime("%Y%j"), tile, (day + datetime.timedelta(days=2)).strftime("%Y%j"))


def make_inputs(root, bin_dir, size, archive):
    """Tiles (a day in seven without data) in the folder that `archive` serves, under the archive's
    names; area of interest and configuration under root, whose source is `archive`."""
    tiles, side, years, weeks = SIZES[size]
    first = None
    os.makedirs(archive.folder)
    for year in years:
        for week in weeks:
            for i in range(7):
                offset = (week - 1) * 7 + i
                if (offset + year) % 7 == 3:
                    continue
                day = (datetime.date(year, 1, 1) + datetime.timedelta(days=offset))
                names = [os.path.join(archive.folder, granule(t, day)) for t in tiles]
                first = first or names
                for tile, name in zip(tiles, names):
                    subprocess.run([os.path.join(bin_dir, "modis-tilegen"), "--tile", tile,
                                    "--date", day.strftime("%Y.%m.%d"), "--size", str(side),
                                    "--clouds", "0.25", "--seed", "7", name],
                                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(harness.VEGFLOW + ["sample", "aoi", "--output", os.path.join(root, "aoi.tif")]
                   + first, check=True, stdout=subprocess.DEVNULL)
    netrc = os.path.join(root, "netrc")
    with open(netrc, "w") as handle:
        handle.write("machine %s login analyst password secret\n" % imitation.HOSTS["login"])
    os.chmod(netrc, 0o600)
    source = dict(line.split(" = ", 1) for line in archive.config_text().splitlines()
                  if not line.startswith("resolve"))
    source.update(resolve=[r.split(" = ")[1] for r in archive.resolve_lines()], netrc=netrc)
    config = {"tiles": TILES, "aoi": "aoi.tif", "source": source,
              "reference": os.path.relpath(first[0], root),
              "first_year": years[0], "last_year": years[-1], "period_length": 7,
              "actual_length": 7, "periods": weeks, "out": OUT, "bin": bin_dir,
              "quicklook_width": 400}
    with open(os.path.join(root, "config.yaml"), "w") as handle:
        json.dump(config, handle)
    return config


def work_dir(root, name, config=None):
    """A run's folder that sees the shared inputs under the same relative names."""
    work = os.path.join(root, name)
    os.makedirs(work)
    for entry in ("archive", "aoi.tif", "config.yaml"):
        os.symlink(os.path.join(root, entry), os.path.join(work, entry))
    return work


def run_command(work, config="config.yaml"):
    """The documented command: the same one starts, and resumes, a run."""
    return harness.VEGFLOW + ["run", "--directory", work, "--configfile",
                              os.path.join(work, config), "--cores", "2", "--keep-going",
                              "--scheduler", "greedy"]


def start(work, config="config.yaml"):
    output = open(os.path.join(work, "run-%d.log" % time.monotonic_ns()), "w+")
    proc = subprocess.Popen(run_command(work, config), stdout=output, stderr=subprocess.STDOUT,
                            start_new_session=True)
    proc.output = output
    return proc


def finish(proc):
    """(status, everything the run printed)."""
    try:
        status = proc.wait(timeout=RUN_LIMIT)
    except subprocess.TimeoutExpired:
        kill_tree(proc.pid)
        raise Failure("a run did not end within %d s" % RUN_LIMIT)
    proc.output.seek(0)
    text = proc.output.read()
    proc.output.close()
    return status, text


def run(work, config="config.yaml"):
    return finish(start(work, config))


def children():
    """{pid: [child pids]} of every process."""
    tree = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open("/proc/%s/stat" % name) as handle:
                    ppid = int(handle.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            tree.setdefault(ppid, []).append(int(name))
    return tree


def descendants(pid):
    tree, found, todo = children(), [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo += tree.get(p, [])
    return found


def kill_tree(pid):
    """SIGKILL to a process and all its descendants, stopped first so that none escapes by starting
    a child meanwhile (a node that is lost takes every process with it)."""
    stopped = set()
    for _ in range(20):
        new = [p for p in descendants(pid) if p not in stopped]
        if not new:
            break
        for p in new:
            try:
                os.kill(p, signal.SIGSTOP)
            except OSError:
                pass
        stopped.update(new)
    for p in stopped:
        try:
            os.kill(p, signal.SIGKILL)
        except OSError:
            pass


def step_programs(pid):
    """Pids of the programs that the run's step runners are running now."""
    found = []
    tree = children()
    for p in descendants(pid):
        try:
            with open("/proc/%d/cmdline" % p, "rb") as handle:
                words = handle.read().split(b"\0")
        except OSError:
            continue
        if b"runstep" in words:
            found += tree.get(p, [])
    return found


def final_files(out):
    """Relative paths of the files under final names (not logs, hidden files, temporaries or
    partial tiles)."""
    found = []
    for folder, subfolders, files in os.walk(out):
        rel = os.path.relpath(folder, out)
        subfolders[:] = [d for d in subfolders if not d.startswith(".") and
                         not (rel == "." and d == "logs")]
        found += [os.path.normpath(os.path.join(rel, f)) for f in files
                  if not f.startswith(".") and not temporary(f)]
    return sorted(found)


def temporary(name):
    return runs.TEMPORARY.match(name) or name.endswith(".part")


def temporaries(out):
    found = []
    for folder, subfolders, files in os.walk(out):
        found += [os.path.join(folder, n) for n in subfolders + files if temporary(n)]
    return found


def read(path):
    with open(path) as handle:
        return handle.read()


def same(reference, work, name, ended):
    """Whether a file equals the uninterrupted run's: the page but for its step times, the fetch's
    stamp but for what that fetch found held already; at a kill (not `ended`), the manifest of
    tiles may hold a part of the uninterrupted run's lines."""
    a, b = os.path.join(reference, name), os.path.join(work, name)
    if not os.path.exists(a):
        return False
    if name == "index.html":
        return read(a).split("<h2>Step times</h2>")[0] == read(b).split("<h2>Step times</h2>")[0]
    if name.startswith(os.path.join("lists", "fetch", "MOD09GQ_")):
        return read(a).splitlines()[-1] == read(b).splitlines()[-1]
    if name == MANIFEST and not ended:
        return set(read(b).splitlines()) <= set(read(a).splitlines())
    return filecmp.cmp(a, b, shallow=False)


def check_tree(reference, work, when, ended=False):
    """Every file under a final name, product or tile, equals the uninterrupted run's."""
    wrong = [os.path.join(tree, n) for tree in (OUT, TILES)
             for n in final_files(os.path.join(work, tree))
             if not same(os.path.join(reference, tree), os.path.join(work, tree), n, ended)]
    if wrong:
        raise Failure("%s: files under final names differ from the uninterrupted run's: %s"
                      % (when, wrong[:5]))


def incomplete(work):
    """Outputs that snakemake marked as being made (relative to the output folder)."""
    found = set()
    root = os.path.join(work, ".snakemake", "incomplete")
    for folder, _, files in os.walk(root):
        for name in files:
            parts = os.path.relpath(os.path.join(folder, name), root).split(os.sep)
            try:
                path = urlsafe_b64decode("".join(p.lstrip("@") for p in parts)).decode()
            except ValueError:
                continue
            found.add(os.path.relpath(os.path.join(work, path), os.path.join(work, OUT)))
    return found


def finished(work):
    """{name: (inode, mtime)} of the products under final names that no step is making (the fetch
    stage's files but its stamp are made anew with it) and of the tiles that tilefetch's manifest
    holds (one moved into place just before a kill, before the manifest says so, is fetched
    again)."""
    making = incomplete(work)
    fetch_files = os.path.join("lists", "fetch", "")
    names = [os.path.join(OUT, n) for n in final_files(os.path.join(work, OUT))
             if n not in making and (not n.startswith(fetch_files) or "MOD09GQ_" in n)]
    manifest = os.path.join(work, TILES, MANIFEST)
    if os.path.exists(manifest):
        names += [os.path.join(TILES, line.split("\t")[-1])
                  for line in read(manifest).splitlines()[1:]]
    return {n: (os.stat(os.path.join(work, n)).st_ino, os.stat(os.path.join(work, n)).st_mtime_ns)
            for n in names}


def compare_all(reference, work, when):
    """Products and tiles those of the uninterrupted run, no temporary file; returns their count."""
    count = 0
    for tree in (OUT, TILES):
        want = final_files(os.path.join(reference, tree))
        got = final_files(os.path.join(work, tree))
        if want != got:
            raise Failure("%s: other files than the uninterrupted run's in %s: missing %s, extra %s"
                          % (when, tree, sorted(set(want) - set(got))[:5],
                             sorted(set(got) - set(want))[:5]))
        left = temporaries(os.path.join(work, tree))
        if left:
            raise Failure("%s: temporary files remain: %s" % (when, left[:5]))
        count += len(want)
    check_tree(reference, work, when, ended=True)
    return count


def refuse_second_run(work, first):
    """A second run on the folder of a live one is refused, saying by which run."""
    lock = os.path.join(work, OUT, runs.LOCK_NAME)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and first.poll() is None:
        if os.path.exists(lock) and os.path.getsize(lock) > 0:
            break
        time.sleep(0.05)
    status, text = run(work)
    if status == 0 or "is in use by the run started" not in text:
        raise Failure("a second run on a live run's folder was not refused (status %d):\n%s"
                      % (status, text[-2000:]))
    log("   a second run on the live run's folder: refused (%s)" % text.strip().splitlines()[-1])


def check_resumed(reference, work, status, text, stale, kept, when):
    """The run that completed after kills: success, the killed run's lock cleared and said so,
    nothing finished made again, every product the uninterrupted run's."""
    if status != 0:
        raise Failure("%s: the resumed run failed (status %d):\n%s" % (when, status, text[-3000:]))
    if stale and CLEARED not in text:
        raise Failure("%s: the resumed run did not say that it cleared the killed run's lock:\n%s"
                      % (when, text[-3000:]))
    redone = [n for n, stamp in kept.items() if finished(work).get(n) != stamp]
    if redone:
        raise Failure("%s: the resumed run made finished files again: %s" % (when, redone[:5]))
    return compare_all(reference, work, when)


def fetching(pid):
    """Whether tilefetch runs among a process's descendants."""
    for p in descendants(pid):
        try:
            with open("/proc/%d/cmdline" % p, "rb") as handle:
                if os.path.basename(handle.read().split(b"\0")[0]) == b"tilefetch":
                    return True
        except OSError:
            pass
    return False


def parts(work):
    """{granule: bytes} of the tiles being downloaded."""
    found = {}
    for folder, _, files in os.walk(os.path.join(work, TILES)):
        found.update({n[:-len(".hdf.part")]: os.path.getsize(os.path.join(folder, n))
                      for n in files if n.endswith(".part")})
    return found


def check_continued(work, archive, pending):
    """Partial tiles of a kill in the fetch ({granule: (bytes, requests served before the kill)})
    that are now whole: each was fetched on from where it stopped, not anew. Drops them."""
    held = parts(work)
    for name, (size, mark) in list(pending.items()):
        if name in held:
            continue
        asked = [e["range"] for e in archive.log[mark:]
                 if e["host"] == imitation.HOSTS["signed"] and "/%s.hdf" % name in e["path"]]
        # (the killed run's transfer of it may be logged after the kill, without a range)
        if "bytes=%d-" % size not in asked:
            raise Failure("the partial tile %s (%d bytes) was not continued: asked for %s"
                          % (name, size, asked))
        del pending[name]


def kill_campaign(root, reference, rng, kills, duration, archive):
    """Kills until `kills` were tried; a run that completes before its kill is checked and the
    next cycle starts from empty output and tiles folders. Returns (the run's folder, kills
    tried)."""
    work = work_dir(root, "killed")
    out = os.path.join(work, OUT)
    tried = cycles = in_fetch = 0
    kept = {}  # files finished at a kill of this cycle: (inode, mtime)
    pending = {}  # partial tiles of a kill in the fetch, to be continued
    stale = False  # a killed run's lock that no run has cleared yet
    for round_ in range(3 * kills):
        if tried == kills:
            break
        kind = "fetch" if not os.path.exists(out) else KILL_KINDS[tried % len(KILL_KINDS)]
        archive.throttle = FETCH_RATE if kind == "fetch" else None
        proc = start(work)
        if round_ == 0:
            refuse_second_run(work, proc)
        if kind == "fetch":  # a moment after the first bytes of a tile have arrived
            limit = time.monotonic() + 60
            while (time.monotonic() < limit and proc.poll() is None
                   and not any(parts(work).values())):
                time.sleep(0.02)
            delay = rng.uniform(0.1, 1)
        else:
            delay = rng.uniform(1, 0.4 * duration)
        deadline = time.monotonic() + delay
        while time.monotonic() < deadline and proc.poll() is None:
            time.sleep(0.05)
        if proc.poll() is not None:
            archive.throttle = None
            status, text = finish(proc)
            check_continued(work, archive, pending)
            count = check_resumed(reference, work, status, text, stale, kept,
                                  "cycle %d" % (cycles + 1))
            cycles += 1
            log("   cycle %d complete before a kill at %.1f s: %d products and tiles identical; "
                "the next cycle starts from empty output and tiles folders"
                % (cycles, delay, count))
            for folder in (out, os.path.join(work, ".snakemake"), os.path.join(work, TILES)):
                shutil.rmtree(folder)
            kept, stale = {}, False
            continue
        what = "runner and steps"
        programs = step_programs(proc.pid) if kind == "program" else []
        if programs:
            later = rng.uniform(0.2, 2)
            try:
                os.kill(rng.choice(sorted(programs)), signal.SIGKILL)
                what = "a step's program, %.1f s later runner and steps" % later
                time.sleep(later)
            except OSError:
                pass
        if fetching(proc.pid):
            in_fetch += 1
            what += ", tilefetch downloading"
        kill_tree(proc.pid)
        archive.throttle = None
        status, text = finish(proc)
        lock = os.path.join(out, runs.LOCK_NAME)
        stale = os.path.exists(lock) and os.path.getsize(lock) > 0  # a record left to clear
        tried += 1
        check_tree(reference, work, "kill %d" % tried)
        check_continued(work, archive, pending)
        now = finished(work)
        redone = [n for n, stamp in kept.items() if now.get(n) != stamp]
        if redone:
            raise Failure("kill %d: finished files were made again: %s" % (tried, redone[:5]))
        kept.update(now)
        partial = {n: (size, len(archive.log)) for n, size in parts(work).items() if size}
        pending.update(partial)
        log("   kill %d at %.1f s (%s): %d files finished, none partial, %d temporary files%s"
            % (tried, delay, what, len(now), len(temporaries(out)),
               ", %d tiles partial" % len(partial) if partial else ""))
    if tried and not in_fetch:
        raise Failure("no kill landed while tilefetch downloaded")
    status, text = run(work)
    check_continued(work, archive, pending)
    count = check_resumed(reference, work, status, text, stale, kept, "after %d kills" % tried)
    log("== %d of %d kills survived, %d of them while tilefetch downloaded (%d cycles of kills and "
        "resumes to a complete run): %d products and tiles identical to the uninterrupted run's, "
        "no temporary file left, nothing done by hand"
        % (tried, tried, in_fetch, cycles + 1, count))
    return work, tried


def hang(root, reference, work, bin_dir):
    """A step that hangs is killed at its time limit and reported; the rerun completes."""
    fake = os.path.join(root, "bin-hanging")
    os.makedirs(fake)
    for name in os.listdir(bin_dir):
        os.symlink(os.path.join(bin_dir, name), os.path.join(fake, name))
    os.remove(os.path.join(fake, "conditionmap"))
    with open(os.path.join(fake, "conditionmap"), "w") as handle:
        handle.write("#!/bin/sh\nexec sleep 600\n")
    os.chmod(os.path.join(fake, "conditionmap"), 0o755)
    with open(os.path.join(work, "config.yaml")) as handle:
        config = json.load(handle)
    with open(os.path.join(work, "config-hang.yaml"), "w") as handle:
        json.dump(dict(config, bin=fake, runtimes={"vci": 0.1}), handle)
    victims = sorted(n for n in final_files(os.path.join(work, OUT))
                     if n.startswith("vci" + os.sep))
    os.remove(os.path.join(work, OUT, victims[0]))
    started = time.monotonic()
    status, text = run(work, "config-hang.yaml")
    seconds = time.monotonic() - started
    message = "conditionmap ran past the step's time limit of 6 s and was killed"
    if status == 0 or message not in text:
        raise Failure("a hung step was not killed and reported (status %d):\n%s"
                      % (status, text[-3000:]))
    status, text = run(work)
    if status != 0:
        raise Failure("the rerun after a hung step failed:\n" + text[-3000:])
    compare_all(reference, work, "after the hung step")
    log("== a hung step: killed at its time limit of 6 s and reported, the run ended in %.0f s; "
        "the rerun gave identical products" % seconds)


def failed_steps(out):
    """Logs of the steps that failed; raises Failure for one that failed without a message or
    printed its program's "O.K." with a failure status."""
    failed = []
    for folder, _, files in os.walk(os.path.join(out, "logs")):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, errors="replace") as handle:
                text = handle.read()
            match = re.search(r"--- standard output\n(.*)--- standard error\n(.*)"
                              r"--- status (-?\d+)", text, re.S)
            program = os.path.relpath(path, os.path.join(out, "logs")).split(os.sep)[0]
            if not match or int(match.group(3)) == steps.success_status(program.split(".")[0]):
                continue
            failed.append(path)
            if "O.K." in match.group(1) or not (match.group(1) + match.group(2)).strip():
                raise Failure("%s: a failed step printed O.K. or no message:\n%s" % (path, text))
    return failed


def disk_campaign(root, reference, points):
    """Returns the number of fill points tried."""
    usage = int(subprocess.run(["du", "-s", "--block-size=1", os.path.join(reference, OUT)],
                               check=True, stdout=subprocess.PIPE, text=True).stdout.split()[0])
    tried = 0
    for i in range(points):
        size = int(usage * (i + 0.5) / points) // 4096 * 4096 + 4096
        work = work_dir(root, "disk-%d" % i)
        out = os.path.join(work, OUT)
        os.makedirs(out)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", out], check=True)
        try:
            status, text = run(work)
            if status == 0:
                raise Failure("the run on a file system of %d bytes succeeded" % size)
            check_tree(reference, work, "disk full at %d bytes" % size)
            left = temporaries(out)
            if left:
                raise Failure("disk full at %d bytes: temporary files remain: %s" % (size, left))
            failed = failed_steps(out)
            subprocess.run(["mount", "-o", "remount,size=%d" % (usage * 3), out], check=True)
            status, text = run(work)
            if status != 0:
                raise Failure("the rerun after space was freed failed:\n" + text[-3000:])
            count = compare_all(reference, work, "after the disk at %d bytes was freed" % size)
            tried += 1
            programs = sorted({os.path.relpath(p, os.path.join(out, "logs")).split(os.sep)[0]
                               for p in failed})
            log("   disk full at %d of %d bytes: %d steps failed with their messages (%s), "
                "nothing partial; freed, the rerun gave %d identical products and tiles"
                % (size, usage, len(failed), ", ".join(programs) or "none", count))
        finally:
            subprocess.run(["umount", "-l", out])
    log("== %d full-disk points tried, all survived" % tried)
    return tried


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--part", choices=["kills", "disk"], required=True)
    parser.add_argument("--size", choices=sorted(SIZES), default="small")
    parser.add_argument("--kills", type=int, default=6)
    parser.add_argument("--disk-points", type=int, default=3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    missing = [p for p in harness.CHAIN_PROGRAMS
               if not os.access(os.path.join(bin_dir, p), os.X_OK)]
    if shutil.which("snakemake") is None:
        missing.append("snakemake")
    if missing:
        log("skipped: missing %s" % ", ".join(missing))
        return harness.SKIP
    if args.part == "disk" and os.geteuid() != 0:
        log("skipped: the full-disk points mount a small tmpfs, which needs root")
        return harness.SKIP
    root = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="faults-")
    if args.keep:
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
    rng = random.Random(args.seed)
    archive = imitation.Archive(os.path.join(root, "archive")).start()
    try:
        make_inputs(root, bin_dir, args.size, archive)
        reference = work_dir(root, "reference")
        started = time.monotonic()
        status, text = run(reference)
        duration = time.monotonic() - started
        if status != 0:
            raise Failure("the uninterrupted run failed:\n" + text[-3000:])
        log("== uninterrupted run (%s chain): %d products in %.0f s"
            % (args.size, len(final_files(os.path.join(reference, OUT))), duration))
        if args.part == "kills":
            work, _ = kill_campaign(root, reference, rng, args.kills, duration, archive)
            hang(root, reference, work, bin_dir)
        else:
            disk_campaign(root, reference, args.disk_points)
        return 0
    except (Failure, subprocess.SubprocessError) as failure:
        log("FAILED: %s" % failure)
        return 1
    finally:
        archive.stop()
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
