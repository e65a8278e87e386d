"""Running one program of the chain for the workflow and judging its outcome.

The programs do not share one convention for success: `daymosaic` ends with status 1 when it made
its mosaic and 255 when it failed; the others end with 0. The runner knows the success status of
each program, keeps everything the program printed in the step's log, and on failure gives the
program's last messages so that they are visible where the workflow reports the failed step. It also
refuses a run that claims success without leaving its output files behind. The log ends with the
program's status and its wall time in seconds, which the run's page sums per program. A program
that runs past the step's time limit is killed and the step fails saying so; a program whose runner
is killed (a lost node, the out-of-memory killer) is killed with it instead of running on unowned.
"""

import ctypes
import os
import signal
import subprocess
import time

# Exit status that each program gives on success; every other status is a failure. The contract
# test of the workflow runs each program to success and compares.
SUCCESS_STATUS = {
    "daymosaic": 1,
    "zonegrid": 0,
    "periodlist": 0,
    "peakcomposite": 0,
    "periodextremes": 0,
    "conditionmap": 0,
    "tallyband": 0,
}

TAIL_LINES = 20


def success_status(program):
    return SUCCESS_STATUS.get(os.path.basename(program), 0)


def describe_status(status):
    if status < 0:
        return "was killed by signal %d" % -status
    return "ended with status %d" % status


def judge(program, status, expected_files, time_limit=None):
    """None when the run succeeded, else the reason it failed. `time_limit`: the seconds after
    which the program was killed, when it was."""
    want = success_status(program)
    name = os.path.basename(program)
    if time_limit is not None:
        return "%s ran past the step's time limit of %g s and was killed" % (name, time_limit)
    if status != want:
        return "%s %s (success is %d)" % (name, describe_status(status), want)
    missing = [f for f in expected_files if not os.path.isfile(f) or os.path.getsize(f) == 0]
    if missing:
        return "%s reported success but did not write %s" % (name, ", ".join(missing))
    return None


def section(log, title, text):
    log.write("--- %s\n%s" % (title, text))
    if text and not text.endswith("\n"):
        log.write("\n")


def _die_with_parent():
    """In the child before it runs the program: killed when the runner dies (Linux only), and in a
    process group of its own so that a time limit reaches the program's own children."""
    os.setsid()
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def _run(command, time_limit):
    """(status, stdout bytes, stderr bytes, timed out) of the command, its process group killed
    after `time_limit` seconds (None: no limit)."""
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=_die_with_parent)
    try:
        out, err = proc.communicate(timeout=time_limit)
        return proc.returncode, out, err, False
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except OSError:
            pass
        out, err = proc.communicate()
        return proc.returncode, out, err, True
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


class StepLog:
    """A step's log file. A write that fails (a full disk) is kept in `error` instead of ending the
    step before its verdict; the log is written no further."""

    def __init__(self, path):
        self.error = None
        self.handle = None
        try:
            if os.path.dirname(path):
                os.makedirs(os.path.dirname(path), exist_ok=True)
            self.handle = open(path, "w")
        except OSError as err:
            self.error = err.strerror

    def write(self, text):
        if self.handle is not None:
            try:
                self.handle.write(text)
                self.handle.flush()
            except OSError as err:
                self.error = err.strerror
                self.close()

    def close(self):
        if self.handle is not None:
            handle, self.handle = self.handle, None
            try:
                handle.close()
            except OSError as err:
                self.error = self.error or err.strerror


def run_logged(command, log_path, time_limit=None):
    """Runs the command with everything it prints kept in the log at `log_path` (its folder made
    when missing), killed after `time_limit` seconds when given. Returns (status, standard output,
    standard error, timed out, why the log could not be written or None); OSError, also noted in
    the log, when the program cannot start."""
    log = StepLog(log_path)
    log.write("$ %s\n" % " ".join(command))
    started = time.monotonic()
    try:
        status, out, err, timed_out = _run(command, time_limit)
    except OSError as err:
        log.write("cannot start %s: %s\n" % (command[0], err.strerror))
        log.close()
        raise
    out = out.decode("utf-8", "replace")
    err = err.decode("utf-8", "replace")
    section(log, "standard output", out)
    section(log, "standard error", err)
    if timed_out:
        log.write("--- killed past the time limit of %g s\n" % time_limit)
    log.write("--- status %d\n" % status)
    log.write("--- seconds %.3f\n" % (time.monotonic() - started))
    log.close()
    return status, out, err, timed_out, log.error


def failure_text(reason, log_path, out, err):
    """What the workflow shows of a failed step: the reason and the program's last messages."""
    lines = ["runstep: %s; its last messages (full log: %s):\n" % (reason, log_path)]
    for channel, text in (("standard output", out), ("standard error", err)):
        tail = text.rstrip("\n").splitlines()[-TAIL_LINES:]
        if tail:
            lines.append("  on %s:\n" % channel)
            lines += ["    %s\n" % line for line in tail]
    return "".join(lines)
