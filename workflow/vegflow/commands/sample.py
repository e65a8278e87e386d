"""sample: sample inputs for demos and tests.

  sample aoi     --output AOI.tif [--fraction F] TILE.hdf...
      an area of interest on the tiles' grid that cuts every one of them
  sample regions --output REGIONS.gpkg --reference TILE.hdf
      four regions over the tiles h18v04, h19v04, h18v05 and h19v05, names in the field "code"
"""

import argparse

from vegflow import samples
from vegflow.commands import fail


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow sample")
    parser.add_argument("what", choices=["aoi", "regions"])
    parser.add_argument("--output", required=True)
    parser.add_argument("--fraction", type=float, default=0.6)
    parser.add_argument("--reference")
    parser.add_argument("tiles", nargs="*")
    args = parser.parse_intermixed_args(argv)
    try:
        if args.what == "aoi":
            if not args.tiles:
                parser.error("aoi needs the tiles")
            width, height, x, y = samples.write_aoi(args.output, args.tiles, args.fraction)
            print("%s: %dx%d cells, upper left (%.3f, %.3f)" % (args.output, width, height, x, y))
        else:
            if not args.reference:
                parser.error("regions needs --reference")
            samples.write_regions(args.output, args.reference)
            print("%s: %d regions (%s), field \"code\"" % (
                args.output, len(samples.REGIONS), ", ".join(n for n, _ in samples.REGIONS)))
    except (OSError, RuntimeError) as err:
        return fail("sample", args.output, err)
    return 0
