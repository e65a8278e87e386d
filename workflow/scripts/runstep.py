#!/usr/bin/env python3
"""Run one program of the chain for the workflow and judge its outcome.

The programs do not share one convention for success: `daymosaic` ends with status 1 when it made its
mosaic and 255 when it failed; the others end with 0. This runner knows the success status of each
program, keeps everything the program printed in the step's log, and on failure repeats the program's
own messages on standard error so that they are visible where the workflow reports the failed step.
It also refuses a run that claims success without leaving its output files behind. The log ends with
the program's status and its wall time in seconds, which the run's page sums per program.

Usage: runstep.py --log LOG [--expect FILE]... -- PROGRAM ARG...
"""

import argparse
import os
import subprocess
import sys
import time

# Exit status that each program gives on success; every other status is a failure.
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


def judge(program, status, expected_files):
    """None when the run succeeded, else the reason it failed."""
    want = success_status(program)
    name = os.path.basename(program)
    if status != want:
        return "%s %s (success is %d)" % (name, describe_status(status), want)
    missing = [f for f in expected_files if not os.path.isfile(f) or os.path.getsize(f) == 0]
    if missing:
        return "%s reported success but did not write %s" % (name, ", ".join(missing))
    return None


def main(argv):
    parser = argparse.ArgumentParser(prog="runstep.py")
    parser.add_argument("--log", required=True)
    parser.add_argument("--expect", action="append", default=[])
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program given")

    log_dir = os.path.dirname(args.log)
    if log_dir:
        os.makedirs(log_dir, exist_ok=True)
    with open(args.log, "w") as log:
        log.write("$ %s\n" % " ".join(command))
        log.flush()
        started = time.monotonic()
        try:
            proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except OSError as err:
            message = "cannot start %s: %s" % (command[0], err.strerror)
            log.write(message + "\n")
            sys.stderr.write("runstep: %s (log: %s)\n" % (message, args.log))
            return 1
        out = proc.stdout.decode("utf-8", "replace")
        err = proc.stderr.decode("utf-8", "replace")
        log.write("--- standard output\n%s" % out)
        if out and not out.endswith("\n"):
            log.write("\n")
        log.write("--- standard error\n%s" % err)
        if err and not err.endswith("\n"):
            log.write("\n")
        log.write("--- status %d\n" % proc.returncode)
        log.write("--- seconds %.3f\n" % (time.monotonic() - started))

    reason = judge(command[0], proc.returncode, args.expect)
    if reason is None:
        return 0
    sys.stderr.write("runstep: %s; its last messages (full log: %s):\n" % (reason, args.log))
    for channel, text in (("standard output", out), ("standard error", err)):
        lines = text.rstrip("\n").splitlines()[-TAIL_LINES:]
        if lines:
            sys.stderr.write("  on %s:\n" % channel)
            sys.stderr.write("".join("    %s\n" % line for line in lines))
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
