"""catalogue --config JSON: writes (or brings up to date) the STAC catalogue of the run that the
configuration describes, under <out>/stac/, and prints how many documents changed."""

import argparse
import json

from vegflow import catalogue, regions
from vegflow.commands import fail
from vegflow.plan import PlanError


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow catalogue")
    parser.add_argument("--config", required=True)
    args = parser.parse_args(argv)
    try:
        run = regions.plan(json.loads(args.config))
        written = catalogue.write_catalogue(run)
    except (OSError, RuntimeError, ValueError, KeyError, PlanError) as err:
        return fail("catalogue", "stac", err)
    print("catalogue: %d document(s) written under %s" % (len(written), run.path("stac")))
    return 0
