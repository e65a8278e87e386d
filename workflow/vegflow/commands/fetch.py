"""fetch --config JSON --bin DIR --log LOG --output STAMP: the fetch stage of a run with a source.
Runs tilefetch for the run's tiles (the source's `tiles`, else those its regions or its area of
interest reach into) and every day of its periods into the `tiles` folder, with everything
tilefetch printed kept in LOG; writes STAMP (tilefetch's summary and the days that arrived) when
every granule listed arrived, else status 1 with tilefetch's last messages on standard error."""

import argparse
import json
import os
import sys
import tempfile

from vegflow import outputs, plan, rasters, regions, sources, steps
from vegflow.commands import fail


def run_tiles(run):
    """The tiles the run needs: the source's list, else those its regions or its area of interest
    reach into."""
    if run.source["tiles"]:
        return run.source["tiles"]
    if isinstance(run, regions.NationalPlan):
        return sorted({k for r in run.regions for k in r.tile_keys})
    try:
        _, _, box = rasters.raster_box(run.aoi)
    except RuntimeError as err:
        raise plan.PlanError("cannot open the area of interest %s: %s" % (run.aoi, err))
    return sources.tiles_meeting(box)


def fetched_products(product, config):
    """The products a run fetches: the source's, and with cloud screening the day's 1 km state
    tiles (MOD09GA) beside it."""
    products = [product]
    if plan.cloud_screen_rule(config) and not plan.STATE_TILE.match(product + "."):
        products.append("MOD09GA")
    return products


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow fetch")
    for option in ("--config", "--bin", "--log", "--output"):
        parser.add_argument(option, required=True)
    args = parser.parse_args(argv)
    try:
        config = json.loads(args.config)
        run = regions.plan(config)
        if run.source is None:
            raise plan.PlanError("the configuration has no source section")
        tiles = run_tiles(run)
        days = run.source_days()
        folder = os.path.dirname(args.output)
        os.makedirs(folder, exist_ok=True)
        tile_list = os.path.join(folder, "fetch-tiles.txt")
        outputs.write_text(tile_list, "".join(t + "\n" for t in tiles))
        token = None
        variable = run.source.get("token_variable")
        if variable is not None:
            if not os.environ.get(variable):
                raise plan.PlanError("source: the variable %s holds no token" % variable)
            # tilefetch reads a token from a file only its owner may read; it lives for the fetch.
            handle, token = tempfile.mkstemp(prefix=".token-", dir=folder)
            with os.fdopen(handle, "w") as f:
                f.write(os.environ[variable] + "\n")
        try:
            config_file = os.path.join(folder, "tilefetch.conf")
            outputs.write_text(config_file, sources.tilefetch_config(run.source, token))
            out = ""
            for i, product in enumerate(fetched_products(run.source["product"], config)):
                # The first product's log is the stage's; another's lies beside it.
                log = args.log if i == 0 else "%s_%s.log" % (os.path.splitext(args.log)[0],
                                                             product)
                command = [os.path.join(args.bin, "tilefetch"), "--config", config_file,
                           "--product", product, "--tile-list", tile_list,
                           "--from", plan.date_text(days[0]), "--to", plan.date_text(days[-1]),
                           "--out", run.tiles]
                status, printed, err, _, _ = steps.run_logged(command, log)
                out += printed
                reason = steps.judge(command[0], status, [])
                if reason is not None:
                    sys.stderr.write(steps.failure_text(reason, log, printed, err))
                    return 1
        finally:
            if token is not None:
                outputs.remove(token)
        wanted = {plan.date_text(d) for d in days}
        arrived = sorted(d for d in plan.discover_days(run.tiles) if d in wanted)
        outputs.write_text(args.output, out + "days with tiles: %d of %d (%s)\n" % (
            len(arrived), len(wanted), " ".join(arrived)))
    except (OSError, ValueError, plan.PlanError) as err:
        return fail("fetch", args.log, err)
    return 0
