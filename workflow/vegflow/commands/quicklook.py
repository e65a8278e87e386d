"""quicklook: the GIS-ready copy, the quicklook map and the legend of a product kind.

  quicklook gis    --kind ndvi|vci --input PRODUCT.hdf --output FILE.tif
  quicklook image  --kind ndvi|vci --input FILE.tif --output FILE.png [--title TEXT] [--width N]
  quicklook legend --kind ndvi|vci --output FILE.svg
"""

import argparse

from vegflow import maps, outputs
from vegflow.commands import fail
from vegflow.products import KINDS


def main(argv):
    parser = argparse.ArgumentParser(prog="vegflow quicklook")
    parser.add_argument("what", choices=["gis", "image", "legend"])
    parser.add_argument("--kind", choices=KINDS, required=True)
    parser.add_argument("--input")
    parser.add_argument("--output", required=True)
    parser.add_argument("--title")
    parser.add_argument("--width", type=int, default=1024)
    args = parser.parse_args(argv)
    if args.what != "legend" and not args.input:
        parser.error("%s needs --input" % args.what)
    try:
        if args.what == "legend":
            outputs.write_text(args.output, maps.legend_svg(args.kind))
        elif args.what == "gis":
            maps.make_cog(args.kind, args.input, args.output)
        else:
            maps.make_image(args.kind, args.input, args.output,
                            args.title or maps.LABELS[args.kind][0], max(400, args.width))
    except (OSError, RuntimeError, ValueError, KeyError) as err:
        return fail("quicklook", args.output, err)
    return 0
