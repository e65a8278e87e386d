"""national: the steps of a national run.

  national layer  --config JSON --output REGIONS.gpkg
      the region layer in the tiles' projection, one feature per region id (field "region")
  national area   --layer REGIONS.gpkg --id ID --extent XMIN YMIN XMAX YMAX --size COLS ROWS
                  --output AREA.tif
      the region's area raster (255 inside, 0 outside) on the tiles' grid, by gdal_rasterize
  national mosaic --kind ndvi|vci --output NATIONAL.tif COPY.tif...
      the regions' 8-bit copies joined through a VRT into a Cloud-Optimized GeoTIFF with overviews
  national report --workid ID --cell-acres A --csv FILE.csv --json FILE.json
                  [--region ID NAME REPORT.json]... [--missing ID NAME NOTE]...
      one row per region and the national totals of the regions' tallyband reports
  national page   --config JSON
      the national page: the mosaics' quicklooks and the region tables of every period
  national table  --kind ndvi|vci --config JSON
      prints the national table of the run's latest period
  national indicators --config JSON
      prints the indicators by region of the run's latest period
"""

import argparse
import json
import sys

from vegflow import national, pages
from vegflow.commands import fail
from vegflow.plan import PlanError
from vegflow.products import KINDS
from vegflow.regions import NationalPlan


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow national")
    parser.add_argument("what", choices=["layer", "area", "mosaic", "report", "page", "table",
                                         "indicators"])
    parser.add_argument("--config")
    parser.add_argument("--output")
    parser.add_argument("--layer")
    parser.add_argument("--id")
    parser.add_argument("--region", nargs=3, action="append", default=[])
    parser.add_argument("--missing", nargs=3, action="append", default=[])
    parser.add_argument("--extent", nargs=4, type=float)
    parser.add_argument("--size", nargs=2, type=int)
    parser.add_argument("--kind", choices=KINDS)
    parser.add_argument("--workid", default="")
    parser.add_argument("--cell-acres", type=float, default=1.0)
    parser.add_argument("--csv")
    parser.add_argument("--json")
    parser.add_argument("inputs", nargs="*")
    args = parser.parse_intermixed_args(argv)
    try:
        if args.what == "layer":
            national.write_layer(json.loads(args.config), args.output)
        elif args.what == "area":
            national.write_area(args.layer, args.id, args.extent, args.size, args.output)
        elif args.what == "mosaic":
            if not args.inputs:
                raise ValueError("no regional copy to join")
            national.write_mosaic(args.kind or "vci", args.inputs, args.output)
        elif args.what == "report":
            national.write_report(args.workid, args.cell_acres, args.region, args.missing,
                                  args.csv, args.json)
        elif args.what == "indicators":
            sys.stdout.write(pages.national_indicator_text(NationalPlan(json.loads(args.config))))
        elif args.what == "table":
            sys.stdout.write(pages.national_table(NationalPlan(json.loads(args.config)),
                                                  args.kind or "vci"))
        else:
            pages.write_national_page(NationalPlan(json.loads(args.config)))
    except (OSError, RuntimeError, ValueError, KeyError, PlanError) as err:
        return fail("national", args.output or args.csv or args.what, err)
    return 0
