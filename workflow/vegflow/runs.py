"""One run of the workflow on an output folder at a time, and what a killed run leaves behind.

A run holds the lock file `.vegflow-run.lock` of its output folder: an exclusive flock, which the
system releases when the last process holding it ends however it ends (killed with SIGKILL
included), and in the file the holder's pid, start time, host and command for the messages (and,
on a file system without locks, to tell a live holder by its pid and start time). A
lock file with content that nobody holds is the mark of a run that was killed: its snakemake lock
(`.snakemake/locks/` of the run's folder) is stale and is removed, and so are the temporary files of
its killed steps that no live process holds open."""

import json
import os
import re
import socket
import time

LOCK_NAME = ".vegflow-run.lock"

# Temporary names: the programs' ".tmp" and eight hex digits (a file, or the private folder of a
# grid written under its own name) and the package's "<name>.tmp<8 hex>.<ext>", with whatever a
# library adds to it (GDAL's "<name>.tmp<8 hex>.tif.ovr.tmp").
TEMPORARY = re.compile(r"^(.*\.)?tmp[0-9a-f]{8}(\..*)?$")


class Busy(Exception):
    """The output folder is in use by a live run; the text says by which."""


def process_start(pid):
    """Start time of a process in clock ticks after boot (field 22 of /proc/<pid>/stat), or None."""
    try:
        with open("/proc/%d/stat" % pid) as handle:
            return int(handle.read().rsplit(")", 1)[1].split()[19])
    except (OSError, IndexError, ValueError):
        return None


def describe(holder):
    """A run of the lock file's record, in words."""
    when = holder.get("started")
    when = (time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(when)) if when
            else "at an unknown time")
    return "the run started %s (pid %s on %s: %s)" % (
        when, holder.get("pid", "?"), holder.get("host", "?"), holder.get("command", "?"))


class RunLock:
    """The output folder's lock, held from acquire() until release() or the holder's end. The
    descriptor stays open in children given `fd` (snakemake), so the lock lives as long as any of
    them."""

    def __init__(self, out):
        self.path = os.path.join(out, LOCK_NAME)
        self.fd = None

    def acquire(self):
        """Takes the lock; returns the record of a killed run that held it before ({} when the
        last run ended cleanly). Raises Busy when a live run holds it."""
        import fcntl
        os.makedirs(os.path.dirname(self.path) or ".", exist_ok=True)
        fd = os.open(self.path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o644)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            live = False
        except BlockingIOError:
            live = True
        except OSError:
            # A file system without locks: the record decides (its process on this host, same
            # start time; a record of another host cannot be checked and counts as live).
            holder = self._read(fd)
            live = bool(holder) and (holder.get("host") != socket.gethostname() or (
                isinstance(holder.get("pid"), int) and holder.get("start") is not None and
                process_start(holder["pid"]) == holder.get("start")))
        if live:
            holder = self._read(fd)
            os.close(fd)
            raise Busy("%s is in use by %s; wait for it to end (or stop it) before starting "
                       "another run on it" % (os.path.dirname(self.path), describe(holder)))
        self.fd = fd
        return self._read(fd)

    def record(self, command):
        """Writes this process's record into the held lock."""
        record = {"pid": os.getpid(), "start": process_start(os.getpid()),
                  "host": socket.gethostname(), "started": int(time.time()), "command": command}
        os.ftruncate(self.fd, 0)
        os.pwrite(self.fd, (json.dumps(record) + "\n").encode(), 0)
        os.fsync(self.fd)

    def drop(self):
        """Lets the lock go and leaves the record as it is."""
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def release(self):
        """Empties the record (a clean end) and lets the lock go. The file stays: removing it
        would let a run that opened it a moment before lock a file no longer in the folder."""
        if self.fd is not None:
            os.ftruncate(self.fd, 0)
            os.close(self.fd)
            self.fd = None

    @staticmethod
    def _read(fd):
        try:
            text = os.pread(fd, 65536, 0).decode("utf-8", "replace").strip()
            return json.loads(text) if text else {}
        except (OSError, ValueError):
            return {"command": "unreadable lock record"}


def open_paths():
    """Every path that a live process of this machine holds open (that we may look at)."""
    held = set()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        folder = "/proc/%s/fd" % pid
        try:
            names = os.listdir(folder)
        except OSError:
            continue
        for name in names:
            try:
                held.add(os.readlink(os.path.join(folder, name)))
            except OSError:
                pass
    return held


def stale_temporaries(out):
    """Temporary files and folders under `out` that no live process holds open (a folder counts as
    held when a file inside it is)."""
    found = []
    for folder, subfolders, files in os.walk(out):
        subfolders[:] = [d for d in subfolders if d != ".snakemake"]
        for name in subfolders + files:
            if TEMPORARY.match(name):
                found.append(os.path.abspath(os.path.join(folder, name)))
        subfolders[:] = [d for d in subfolders if not TEMPORARY.match(d)]
    if not found:
        return []
    held = open_paths()
    return [p for p in found
            if not any(h == p or h.startswith(p + os.sep) for h in held)]


def remove_tree(path):
    """Removes a file, or a folder and what it holds."""
    if os.path.isdir(path) and not os.path.islink(path):
        for name in os.listdir(path):
            remove_tree(os.path.join(path, name))
        os.rmdir(path)
    else:
        os.remove(path)


def engine_locks(directory):
    """The snakemake lock files of the run's folder."""
    folder = os.path.join(directory, ".snakemake", "locks")
    try:
        return [os.path.join(folder, n) for n in sorted(os.listdir(folder))]
    except OSError:
        return []


def live_engine(directory):
    """Pid of a live snakemake whose working folder is `directory` (one started by hand, outside
    the run command), or None."""
    directory = os.path.realpath(directory)
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            if os.path.realpath(os.readlink("/proc/%s/cwd" % pid)) != directory:
                continue
            with open("/proc/%s/cmdline" % pid, "rb") as handle:
                words = handle.read().split(b"\0")
        except OSError:
            continue
        if any(os.path.basename(w) == b"snakemake" for w in words[:2]):
            return int(pid)
    return None
