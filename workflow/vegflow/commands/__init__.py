"""The commands of `python3 -m vegflow`: one module per command, each a `main(argv)` that reads its
arguments, calls the package's functions and turns their failures into a message naming the file
and status 1."""

import sys


def fail(command, what, err):
    """Prints "<command>: <what>: <error>" on standard error; returns the failure status."""
    sys.stderr.write("%s: %s: %s\n" % (command, what, err))
    return 1
