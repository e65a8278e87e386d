"""runstep --log LOG [--expect FILE]... -- PROGRAM ARG...: runs a program of the chain with its
messages kept in LOG; status 0 when it ended with its success status and left every expected file,
else 1 with the reason and the program's last messages on standard error."""

import argparse
import sys

from vegflow import steps


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow runstep")
    parser.add_argument("--log", required=True)
    parser.add_argument("--expect", action="append", default=[])
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program given")
    try:
        status, out, err = steps.run_logged(command, args.log)
    except OSError as err:
        sys.stderr.write("runstep: cannot start %s: %s (log: %s)\n"
                         % (command[0], err.strerror, args.log))
        return 1
    reason = steps.judge(command[0], status, args.expect)
    if reason is None:
        return 0
    sys.stderr.write(steps.failure_text(reason, args.log, out, err))
    return 1
