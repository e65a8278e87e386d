"""composite-list PERIOD_LIST OUT DAILY...: writes a composite's input list OUT, the daily files of
the dates that PERIOD_LIST holds, in its order."""

import sys

from vegflow import plan
from vegflow.commands import fail


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: python3 -m vegflow composite-list PERIOD_LIST OUT DAILY...\n")
        return 2
    try:
        plan.write_composite_list(argv[0], argv[2:], argv[1])
    except (OSError, plan.PlanError) as err:
        return fail("composite-list", argv[1], err)
    return 0
