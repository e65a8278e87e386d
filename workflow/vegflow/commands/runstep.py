"""runstep --log LOG [--expect FILE]... [--time-limit SECONDS] [--list OUTPUT ITEM...] -- PROGRAM
ARG...: runs a program of the chain with its messages kept in LOG; status 0 when it ended with its
success status within the time limit and left every expected file, else 1 with the reason and the
program's last messages on standard error. --list first writes OUTPUT, one ITEM a line, whole or
not at all (a day's tile list)."""

import argparse
import os
import sys

from vegflow import outputs, steps


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow runstep")
    parser.add_argument("--log", required=True)
    parser.add_argument("--expect", action="append", default=[])
    parser.add_argument("--time-limit", type=float)
    parser.add_argument("--list", nargs="+", metavar="OUTPUT ITEM")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program given")
    try:
        if args.list:
            outputs.write_text(args.list[0], "".join(item + "\n" for item in args.list[1:]))
    except OSError as err:
        sys.stderr.write("runstep: cannot write %s: %s\n" % (args.list[0], err.strerror))
        return 1
    try:
        status, out, err, timed_out, log_error = steps.run_logged(command, args.log,
                                                                  args.time_limit)
    except OSError as err:
        sys.stderr.write("runstep: cannot start %s: %s (log: %s)\n"
                         % (command[0], err.strerror, args.log))
        return 1
    reason = steps.judge(command[0], status, args.expect, args.time_limit if timed_out else None)
    if log_error:
        # A step whose record is lost fails, so that a rerun makes it again with its log.
        reason = "%s%s's log could not be written: %s" % (
            reason + "; " if reason else "", os.path.basename(command[0]), log_error)
    if reason is None:
        return 0
    sys.stderr.write(steps.failure_text(reason, args.log, out, err))
    return 1
