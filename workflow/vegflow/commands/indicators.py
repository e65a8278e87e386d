"""indicators: the indicators of a period, the time series and its charts.

  indicators period   --head JSON --vci VCI.tif --ndvi NDVI.tif [--history YEAR NDVI.tif]...
                      [--crop CROP.tif] --threshold T --min-years N --output FILE.json
      one region's indicators of one period (head: region, name, year, period, start, end)
  indicators national --head JSON --csv FILE.csv --json FILE.json
                      [--region ID NAME FILE.json]... [--missing ID NAME NOTE]...
      the regions' indicators of a period and the national ones
  indicators series   --csv FILE.csv --json FILE.json INDICATORS.json...
      the long-format time series of indicator files (a region's or national ones)
  indicators chart    --series FILE.json --region ID --title TEXT [--others ID...]
                      --chart INDICATOR FILE.png...
      a chart per indicator across the periods: the latest year against the others' range
"""

import argparse
import json

from vegflow import indicators
from vegflow.commands import fail


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow indicators")
    parser.add_argument("what", choices=["period", "national", "series", "chart"])
    parser.add_argument("--head", type=json.loads, default={})
    parser.add_argument("--vci")
    parser.add_argument("--ndvi")
    parser.add_argument("--history", nargs=2, action="append", default=[])
    parser.add_argument("--crop")
    parser.add_argument("--threshold", type=float)
    parser.add_argument("--min-years", type=int)
    parser.add_argument("--output")
    parser.add_argument("--csv")
    parser.add_argument("--json")
    parser.add_argument("--region", nargs="+", action="append", default=[])
    parser.add_argument("--missing", nargs=3, action="append", default=[])
    parser.add_argument("--series")
    parser.add_argument("--title", default="")
    parser.add_argument("--others", nargs="*", default=[])
    parser.add_argument("--chart", nargs=2, action="append", default=[])
    parser.add_argument("inputs", nargs="*")
    args = parser.parse_intermixed_args(argv)
    try:
        if args.what == "period":
            indicators.write_period(args.head, args.vci, args.ndvi, args.history, args.crop,
                                    args.threshold, args.min_years, args.output)
        elif args.what == "national":
            if any(len(r) != 3 for r in args.region):
                parser.error("--region takes ID NAME FILE.json")
            indicators.write_national(args.head, args.region, args.missing, args.csv, args.json)
        elif args.what == "series":
            indicators.write_series(args.inputs, args.csv, args.json)
        else:
            region = args.region[0][0] if args.region else "area"
            indicators.write_charts(args.series, region, args.chart, args.title, args.others)
    except (OSError, RuntimeError, ValueError, KeyError) as err:
        return fail("indicators", args.output or args.json or args.series or args.what, err)
    return 0
