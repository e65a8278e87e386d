"""page: the run's page and text tables of its reports.

  page html   --config JSON                   writes the page of the run the configuration describes
  page table  --report REPORT.json            prints a report's histogram as a text table
  page latest --kind vci|ndvi --config JSON   prints the histogram of the run's latest period
"""

import argparse
import json
import sys

from vegflow import pages, plan
from vegflow.commands import fail
from vegflow.products import KINDS


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow page")
    parser.add_argument("what", choices=["html", "table", "latest"])
    parser.add_argument("--kind", choices=KINDS, default="vci")
    parser.add_argument("--config")
    parser.add_argument("--report")
    args = parser.parse_args(argv)
    if args.what == "table" and not args.report:
        parser.error("table needs --report")
    if args.what != "table" and not args.config:
        parser.error("%s needs --config" % args.what)
    try:
        if args.what == "table":
            sys.stdout.write(pages.text_table(pages.load_report(args.report)))
            return 0
        config = json.loads(args.config)
        run = plan.Plan(config)
        if args.what == "latest":
            sys.stdout.write(pages.latest_table(run, args.kind))
        else:
            pages.write_page(run, config.get("story"))
    except (OSError, ValueError, plan.PlanError) as err:
        return fail("page", args.report or args.what, err)
    return 0
