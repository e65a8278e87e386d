#!/usr/bin/env python3
"""tilefetch against the local imitation of the archive: files per second and MB/s with 1, 4 and 8
parallel transfers beside a peer loop of `curl -n -L -c JAR -b JAR` over the same URLs, and the
bytes a rerun downloads again after a kill -9 in the middle of a large file.

usage: bench/fetch/fetch_bench.py [--build build] [--data DIR] [--files 16] [--size 1200]
                                  [--large-size 4800] [--rate 20000000] [--runs 3]
                                  [--link-rate 8000000]
Tiles are generated with modis-tilegen on first use and kept in DIR (default
<build>/bench-data/fetch).
"""

import argparse
import datetime
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "fetch"))
import archive_imitation as imitation  # noqa: E402


def generate(bin_dir, folder, files, size):
    """`files` tiles of one day each (h18v04 over successive days), named as the archive names
    them."""
    os.makedirs(folder, exist_ok=True)
    names = []
    for i in range(files):
        day = datetime.date(2024, 5, 1) + datetime.timedelta(i)
        ur = "MOD09GQ.A%04d%03d.h18v04.061.2024200%06d" % (day.year, day.timetuple().tm_yday, i)
        path = os.path.join(folder, ur + ".hdf")
        if not os.path.exists(path):
            subprocess.run([os.path.join(bin_dir, "modis-tilegen"), "--tile", "h18v04", "--date",
                            day.strftime("%Y.%m.%d"), "--size", str(size), path], check=True,
                           capture_output=True)
        names.append(ur)
    return names, (datetime.date(2024, 5, 1) + datetime.timedelta(files - 1)).strftime("%Y.%m.%d")


def setup(work, archive):
    netrc = os.path.join(work, "netrc")
    with open(netrc, "w") as f:
        f.write("machine %s login analyst password secret\n" % imitation.HOSTS["login"])
    os.chmod(netrc, 0o600)
    config = os.path.join(work, "tilefetch.conf")
    with open(config, "w") as f:
        f.write(archive.config_text() + "netrc = %s\n" % netrc)
    return netrc, config


def served(archive, host):
    """Bytes the imitation has served from `host` so far (0 before its first request ends)."""
    return sum(e["bytes"] for e in archive.log if e["host"] == host)


def tilefetch(bin_dir, config, out, last, parallel, timeout=None):
    return subprocess.Popen([os.path.join(bin_dir, "tilefetch"), "--config", config, "--product",
                             "MOD09GQ", "--tiles", "h18v04", "--from", "2024.05.01", "--to", last,
                             "--out", out, "--set", "parallel=%d" % parallel,
                             "--set", "per_host=%d" % parallel],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def timed(fn):
    t = time.monotonic()
    fn()
    return time.monotonic() - t


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", default="build")
    p.add_argument("--data")
    p.add_argument("--files", type=int, default=16)
    p.add_argument("--size", type=int, default=1200)
    p.add_argument("--large-size", type=int, default=4800)
    p.add_argument("--rate", type=int, default=20_000_000,
                   help="bytes/s of the large file's transfer")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--link-rate", type=int, default=8_000_000,
                   help="bytes/s of each transfer in the second table (a long line, not loopback)")
    a = p.parse_args()
    bin_dir = os.path.join(a.build, "bin")
    data = a.data or os.path.join(a.build, "bench-data", "fetch")
    names, last = generate(bin_dir, os.path.join(data, "small-%d" % a.size), a.files, a.size)
    store = os.path.join(data, "small-%d" % a.size)
    total = sum(os.path.getsize(os.path.join(store, n + ".hdf")) for n in names[:a.files])
    work = tempfile.mkdtemp(prefix="fetch-bench-")
    view = os.path.join(work, "store")
    os.mkdir(view)
    for n in names:
        os.symlink(os.path.abspath(os.path.join(store, n + ".hdf")), os.path.join(view, n + ".hdf"))
    archive = imitation.Archive(view).start()
    netrc, config = setup(work, archive)
    resolve = sum((["--resolve", "%s:%d:127.0.0.1" % (h, archive.port)]
                   for h in imitation.HOSTS.values()), [])
    urls = [r["umm"]["RelatedUrls"][0]["URL"] for r in archive.records()]

    def peer():
        out = os.path.join(work, "peer")
        shutil.rmtree(out, ignore_errors=True)
        os.mkdir(out)
        jar = os.path.join(out, "cookies")
        for url in urls:
            subprocess.run(["curl", "-sS", "-f", "--netrc-file", netrc, "-L", "-c", jar, "-b", jar]
                           + resolve + ["-o", os.path.join(out, url.rsplit("/", 1)[1]), url],
                           check=True)

    def ours(parallel):
        def go():
            out = os.path.join(work, "out")
            shutil.rmtree(out, ignore_errors=True)
            proc = tilefetch(bin_dir, config, out, last, parallel)
            o, e = proc.communicate()
            if proc.returncode != 0:
                raise SystemExit("tilefetch failed: " + o + e)
        return go

    for link in (None, a.link_rate):
        archive.throttle = link
        rows = {"curl -n -L -c -b loop": [], "tilefetch, 1 transfer": [],
                "tilefetch, 4 transfers": [], "tilefetch, 8 transfers": []}
        for _ in range(a.runs):  # alternate, so every contender sees the same load
            rows["curl -n -L -c -b loop"].append(timed(peer))
            for n in (1, 4, 8):
                rows["tilefetch, %d transfer%s" % (n, "" if n == 1 else "s")].append(timed(ours(n)))
        print("%d files of %.1f MB (%dx%d tiles), medians of %d runs, loopback imitation, %s" %
              (a.files, total / a.files / 1e6, a.size, a.size, a.runs,
               "each transfer limited to %.0f MB/s" % (link / 1e6) if link
               else "no limit per transfer"))
        print("| client | seconds | files/s | MB/s |\n|---|---:|---:|---:|")
        for name, times in rows.items():
            m = statistics.median(times)
            print("| %s | %.2f | %.1f | %.1f |" % (name, m, a.files / m, total / 1e6 / m))
        print(flush=True)
    archive.stop()

    # kill -9 in the middle of a large file, then a rerun
    big_names, _ = generate(bin_dir, os.path.join(data, "large-%d" % a.large_size), 1, a.large_size)
    big_store = os.path.join(data, "large-%d" % a.large_size)
    size = os.path.getsize(os.path.join(big_store, big_names[0] + ".hdf"))
    archive = imitation.Archive(big_store, throttle=a.rate).start()
    netrc, config = setup(work, archive)
    out = os.path.join(work, "resume")
    proc = tilefetch(bin_dir, config, out, "2024.05.01", 1)
    part = os.path.join(out, "2024.05.01", big_names[0] + ".hdf.part")
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline and (not os.path.exists(part)
                                           or os.path.getsize(part) < size // 2):
        time.sleep(0.05)
    proc.kill()
    proc.wait()
    kept = os.path.getsize(part) if os.path.exists(part) else 0
    deadline = time.monotonic() + 10  # the server logs the cut transfer when its next write fails
    while time.monotonic() < deadline and not served(archive, imitation.HOSTS["signed"]):
        time.sleep(0.05)
    served_before = served(archive, imitation.HOSTS["signed"])
    archive.throttle = None
    proc = tilefetch(bin_dir, config, out, "2024.05.01", 1)
    o, e = proc.communicate()
    served_after = served(archive, imitation.HOSTS["signed"]) - served_before
    archive.stop()
    print("kill -9 in the middle of a %.1f MB file (%dx%d), then a rerun:"
          % (size / 1e6, a.large_size, a.large_size))
    print("| partial file kept | missing part | bytes served to the rerun | rerun status |\n"
          "|---:|---:|---:|---:|")
    print("| %d | %d | %d | %d |" % (kept, size - kept, served_after, proc.returncode))
    print(o.strip())
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
