"""python3 -m vegflow <command> [argument...]: runs one command of the workflow (see USAGE)."""

import importlib
import sys

# Command name -> (module under vegflow.commands, what it does).
COMMANDS = {
    "run": ("run", "run the workflow (resumes a killed run; one run per output folder)"),
    "runstep": ("runstep", "run one program of the chain and judge its outcome"),
    "composite-list": ("compositelist", "write a composite's list of daily files"),
    "quicklook": ("quicklook", "GIS-ready copies, quicklook maps and legends"),
    "page": ("page", "a run's page and text tables of its reports"),
    "national": ("national", "the steps of a national run"),
    "indicators": ("indicators", "indicators per period, their time series and charts"),
    "catalogue": ("catalogue", "the run's STAC catalogue"),
    "sample": ("sample", "sample inputs: an area of interest, a region layer"),
    "fetch": ("fetch", "the fetch stage: the run's tiles from the archive (tilefetch)"),
}

USAGE = "usage: python3 -m vegflow <command> [argument...]; commands:\n" + "".join(
    "  %-15s %s\n" % (name, what) for name, (_, what) in COMMANDS.items())


def main(argv):
    if not argv or argv[0] not in COMMANDS:
        sys.stderr.write(USAGE)
        return 2
    module = importlib.import_module("vegflow.commands." + COMMANDS[argv[0]][0])
    return module.main(argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
