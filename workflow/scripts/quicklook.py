#!/usr/bin/env python3
"""Quicklook images and legends of the 8-bit NDVI and VCI fields.

A byte value is coloured by a ramp over the valid range 0..250; the no-data value 254 is grey and the
fill value 255 (outside the area of interest) is transparent. The image is drawn by GDAL's tools:
gdal_translate resamples the field to a viewable size and gdaldem color-relief applies the colour table
(one entry per byte value) and writes the PNG with an alpha band. With --geotiff the field is
also kept at full resolution as a GeoTIFF, which the statistics reports read.

Usage:
  quicklook.py image  --kind ndvi|vci --input PRODUCT.hdf --output FILE.png [--geotiff FILE.tif]
                      [--width N]
  quicklook.py legend --kind ndvi|vci --output FILE.svg
"""

import argparse
import json
import math
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chainplan  # noqa: E402

NO_DATA = 254
FILL = 255
VALID_MAX = 250
NO_DATA_RGBA = (160, 160, 160, 255)
FILL_RGBA = (0, 0, 0, 0)

# Colour stops over the byte value (0..250) of each product kind.
RAMPS = {
    # NDVI = (v - 125) / 125: water and bare ground blue to beige, vegetation yellow to dark green.
    "ndvi": [(0, (33, 64, 154)), (110, (190, 200, 225)), (125, (240, 230, 200)),
             (150, (210, 180, 120)), (175, (200, 210, 90)), (200, (100, 170, 60)),
             (225, (30, 120, 40)), (250, (0, 68, 27))],
    # VCI = v / 250: poor condition red, normal pale yellow, good green.
    "vci": [(0, (165, 0, 38)), (50, (244, 109, 67)), (88, (253, 174, 97)), (125, (255, 255, 191)),
            (163, (166, 217, 106)), (200, (26, 152, 80)), (250, (0, 104, 55))],
}

LABELS = {
    "ndvi": ("NDVI", [(0, "-1"), (62.5, "-0.5"), (125, "0"), (187.5, "0.5"), (250, "1")]),
    "vci": ("VCI", [(0, "0"), (62.5, "0.25"), (125, "0.5"), (187.5, "0.75"), (250, "1")]),
}


def colour(kind, value):
    """RGBA of a byte value of the given product kind."""
    if value == FILL:
        return FILL_RGBA
    if value > VALID_MAX:
        return NO_DATA_RGBA
    stops = RAMPS[kind]
    for (v0, c0), (v1, c1) in zip(stops, stops[1:]):
        if v0 <= value <= v1:
            t = (value - v0) / float(v1 - v0)
            return tuple(int(a + (b - a) * t + 0.5) for a, b in zip(c0, c1)) + (255,)
    raise ValueError("value %d outside the ramp" % value)


def colour_table(kind):
    """gdaldem colour file text: one entry per byte value, so that interpolation between entries
    never mixes colours, and "nv" for cells that the raster marks as no data (the fill value)."""
    return "".join("%d %d %d %d %d\n" % ((v,) + colour(kind, v)) for v in range(256)) + \
        "nv %d %d %d %d\n" % FILL_RGBA


def output_size(width, height, smallest=256, largest=1024):
    """Size of the image: large fields are shrunk to `largest` columns, small ones enlarged by a whole
    factor to at least `smallest` columns so that single cells stay sharp."""
    if width <= 0 or height <= 0:
        raise ValueError("empty field %dx%d" % (width, height))
    if width > largest:
        return largest, max(1, int(round(height * largest / float(width))))
    factor = max(1, int(math.ceil(smallest / float(width))))
    return width * factor, height * factor


def run(command):
    proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise RuntimeError("%s failed with status %d: %s" % (
            command[0], proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))
    return proc.stdout.decode("utf-8", "replace")


def make_geotiff(kind, product, output):
    """The product's 8-bit field as a deflate-compressed GeoTIFF with the grid's georeferencing."""
    tmp = output + ".part.tif"
    try:
        run(["gdal_translate", "-q", "-of", "GTiff", "-co", "COMPRESS=DEFLATE", "-co", "TILED=YES",
             chainplan.subdataset(product, kind), tmp])
        os.replace(tmp, output)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)


def make_image(kind, source, output, largest):
    """PNG of a byte raster coloured by the kind's table, shrunk or enlarged to a viewable size."""
    info = json.loads(run(["gdalinfo", "-json", source]))
    width, height = output_size(int(info["size"][0]), int(info["size"][1]), largest=largest)
    base = output + ".part"
    vrt, colours, png = base + ".vrt", base + ".txt", base + ".png"
    env = dict(os.environ, GDAL_PAM_ENABLED="NO")
    try:
        with open(colours, "w") as handle:
            handle.write(colour_table(kind))
        run(["gdal_translate", "-q", "-of", "VRT", "-r", "nearest", "-outsize", str(width),
             str(height), source, vrt])
        proc = subprocess.run(["gdaldem", "color-relief", "-q", "-of", "PNG", "-alpha", vrt,
                               colours, png],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        if proc.returncode != 0 or not os.path.isfile(png):
            raise RuntimeError("gdaldem failed with status %d: %s" % (
                proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))
        os.replace(png, output)
    finally:
        for leftover in (vrt, colours, png, png + ".aux.xml"):
            if os.path.exists(leftover):
                os.remove(leftover)


def legend_svg(kind):
    """A horizontal colour bar with value labels and the two sentinel swatches."""
    title, ticks = LABELS[kind]
    bar_x, bar_w, bar_y, bar_h = 10, 300, 24, 18
    stops = "".join(
        '<stop offset="%.4f" stop-color="rgb(%d,%d,%d)"/>' % ((v / 250.0,) + colour(kind, v)[:3])
        for v in range(0, 251, 10))
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="520" height="70" font-family="sans-serif" '
        'font-size="12">',
        '<defs><linearGradient id="ramp">%s</linearGradient>' % stops,
        '<pattern id="checker" width="8" height="8" patternUnits="userSpaceOnUse">'
        '<rect width="8" height="8" fill="#fff"/><rect width="4" height="4" fill="#ccc"/>'
        '<rect x="4" y="4" width="4" height="4" fill="#ccc"/></pattern></defs>',
        '<text x="%d" y="16">%s</text>' % (bar_x, title),
        '<rect x="%d" y="%d" width="%d" height="%d" fill="url(#ramp)" stroke="#333"/>'
        % (bar_x, bar_y, bar_w, bar_h),
    ]
    for value, text in ticks:
        x = bar_x + bar_w * value / 250.0
        parts.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#333"/>'
                     % (x, bar_y + bar_h, x, bar_y + bar_h + 4))
        parts.append('<text x="%.1f" y="%d" text-anchor="middle">%s</text>'
                     % (x, bar_y + bar_h + 17, text))
    grey = "rgb(%d,%d,%d)" % NO_DATA_RGBA[:3]
    parts += [
        '<rect x="330" y="%d" width="18" height="18" fill="%s" stroke="#333"/>' % (bar_y, grey),
        '<text x="354" y="%d">no data</text>' % (bar_y + 13),
        '<rect x="420" y="%d" width="18" height="18" fill="url(#checker)" stroke="#333"/>' % bar_y,
        '<text x="444" y="%d">outside area</text>' % (bar_y + 13),
        "</svg>\n",
    ]
    return "\n".join(parts)


def main(argv):
    parser = argparse.ArgumentParser(prog="quicklook.py")
    parser.add_argument("what", choices=["image", "legend"])
    parser.add_argument("--kind", choices=sorted(RAMPS), required=True)
    parser.add_argument("--input")
    parser.add_argument("--output", required=True)
    parser.add_argument("--geotiff")
    parser.add_argument("--width", type=int, default=1024)
    args = parser.parse_args(argv)
    try:
        if args.what == "legend":
            tmp = args.output + ".part"
            with open(tmp, "w") as handle:
                handle.write(legend_svg(args.kind))
            os.replace(tmp, args.output)
        else:
            if not args.input:
                parser.error("image needs --input")
            source = chainplan.subdataset(args.input, args.kind)
            if args.geotiff:
                make_geotiff(args.kind, args.input, args.geotiff)
                source = args.geotiff
            make_image(args.kind, source, args.output, max(16, args.width))
    except (OSError, RuntimeError, ValueError, KeyError) as err:
        sys.stderr.write("quicklook: %s: %s\n" % (args.output, err))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
