#!/usr/bin/env python3
"""Steps of a national run: the regions' area rasters, the national mosaics, reports and page.

Usage:
  national.py layer  --config JSON --output REGIONS.gpkg
      the region layer in the tiles' projection, one feature per region id (field "region")
  national.py area   --layer REGIONS.gpkg --id ID --extent XMIN YMIN XMAX YMAX --size COLS ROWS
                     --output AREA.tif
      the region's area raster (255 inside, 0 outside) on the tiles' grid, by gdal_rasterize
  national.py mosaic --kind ndvi|vci --output NATIONAL.tif COPY.tif...
      the regions' 8-bit copies joined through a VRT into a Cloud-Optimized GeoTIFF with overviews
  national.py report --workid ID --cell-acres A --csv FILE.csv --json FILE.json
                     [--region ID NAME REPORT.json]... [--missing ID NAME NOTE]...
      one row per region and the national totals of the regions' tallyband reports
  national.py page   --config JSON
      the national page: the mosaics' quicklooks and the region tables of every period
  national.py table  --kind ndvi|vci --config JSON
      print the national table of the run's latest period

Every output is written under a temporary name beside it and renamed into place when complete.
"""

import argparse
import csv
import html
import io
import json
import math
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chainplan  # noqa: E402
import regionplan  # noqa: E402

FILL = 255


def run(command):
    proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise RuntimeError("%s failed with status %d: %s" % (
            command[0], proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))


def part_name(output):
    """Temporary name beside an output that keeps its extension (GDAL picks drivers by it)."""
    base, ext = os.path.splitext(output)
    return base + ".part" + ext


def commit(tmp, output):
    os.replace(tmp, output)


def remove(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def write_layer(config, output):
    """The region layer with its features in the tiles' projection and one text field "region"
    holding each feature's region id, which gdal_rasterize selects on."""
    from osgeo import ogr, osr
    ogr.UseExceptions()
    plan = regionplan.NationalPlan(config)
    grid = plan.reference_grid()
    target = osr.SpatialReference()
    target.ImportFromWkt(grid.projection)
    target.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    source_ds = ogr.Open(plan.layer)
    layer = source_ds.GetLayerByName(str(plan.layer_name)) if plan.layer_name else \
        source_ds.GetLayer(0)
    tmp = part_name(output)
    remove(tmp)
    try:
        out_ds = ogr.GetDriverByName("GPKG").CreateDataSource(tmp)
        out_layer = out_ds.CreateLayer("regions", target, ogr.wkbUnknown)
        out_layer.CreateField(ogr.FieldDefn("region", ogr.OFTString))
        for feature, geometry in regionplan.projected_features(layer, grid.projection):
            out = ogr.Feature(out_layer.GetLayerDefn())
            out.SetField("region", regionplan.region_id(feature.GetField(plan.field), plan.layer))
            out.SetGeometry(geometry)
            out_layer.CreateFeature(out)
        out_ds = None
        commit(tmp, output)
    finally:
        remove(tmp)


def write_area(layer, region, extent, size, output):
    """The region's cells whose centre lies in one of its features are 255, all others 0."""
    tmp = part_name(output)
    try:
        run(["gdal_rasterize", "-q", "-l", "regions", "-where", "region = '%s'" % region,
             "-burn", "255", "-init", "0", "-ot", "Byte", "-of", "GTiff", "-co", "COMPRESS=DEFLATE",
             "-te"] + [repr(float(v)) for v in extent] + ["-ts"] + [str(int(v)) for v in size] +
            [layer, tmp])
        commit(tmp, output)
    finally:
        remove(tmp)


def write_mosaic(kind, copies, output):
    """The copies share the tiles' grid, so the VRT places them without resampling; cells outside
    a region (the fill value) let the neighbours' cells show. The COG is laid out like the
    regions' copies: the fill value as no data, the copies' colour table, the scale and offset of
    the kind, overviews by nearest value (the bytes are classes and sentinels)."""
    import quicklook
    scale, offset = quicklook.SCALE_OFFSET[kind]
    vrt = part_name(output) + ".vrt"
    tmp = part_name(output)
    try:
        run(["gdalbuildvrt", "-q", "-srcnodata", str(FILL), "-vrtnodata", str(FILL), vrt] +
            list(copies))
        run(["gdal_translate", "-q", "-of", "COG", "-co", "COMPRESS=DEFLATE", "-co",
             "BLOCKSIZE=%d" % quicklook.COG_BLOCK, "-co", "OVERVIEW_RESAMPLING=NEAREST",
             "-a_scale", repr(scale), "-a_offset", repr(offset), vrt, tmp])
        commit(tmp, output)
    finally:
        remove(vrt, tmp)


def read_report(path):
    """(mean, rows) of a tallyband JSON report; rows are (value, name, acres)."""
    with open(path) as handle:
        try:
            doc = json.load(handle)
        except ValueError as err:
            raise ValueError("%s is not a complete report: %s" % (path, err))
    if not doc.get("success") or not isinstance(doc.get("rows"), list):
        raise ValueError("%s reports no histogram" % path)
    mean = None
    parts = str(doc.get("fileName", "")).rsplit(",", 1)
    if len(parts) == 2:
        try:
            mean = float(parts[1])
        except ValueError:
            mean = None
    rows = [(row.get("value"), str(row.get("name", "")), float(row.get("acreage", 0.0)))
            for row in doc["rows"]]
    return mean, rows


def totals(entries):
    """National totals of region entries (mean, rows): acres summed per bin, the mean weighted by
    each region's counted cells. Every region has the tiles' cell size, so its counted acres stand
    for its counted cells."""
    bins = []
    for _, rows in entries:
        for value, name, _ in rows:
            if (value, name) not in bins:
                bins.append((value, name))
    acres = {b: 0.0 for b in bins}
    counted = 0.0
    weighted = 0.0
    for mean, rows in entries:
        region_acres = 0.0
        for value, name, acreage in rows:
            acres[(value, name)] += acreage
            region_acres += acreage
        if region_acres > 0 and mean is not None and math.isfinite(mean):
            counted += region_acres
            weighted += mean * region_acres
    return (weighted / counted if counted else None), [(v, n, acres[(v, n)]) for v, n in bins]


def shares(rows):
    """Each bin's share of the counted acres."""
    total = sum(a for _, _, a in rows)
    return [a / total if total else 0.0 for _, _, a in rows]


def report_doc(workid, cell_acres, regions, missing):
    """The national report: `regions` are (id, name, (mean, rows)); `missing` are (id, name, note)
    of regions without a report for the period; `cell_acres` is the area of one cell."""

    def section(entry):
        mean, rows = entry
        acreage = sum(a for _, _, a in rows)
        return {"cells": int(round(acreage / cell_acres)), "acreage": acreage, "mean": mean,
                "rows": [{"value": v, "name": n, "acreage": a, "percentage": s}
                         for (v, n, a), s in zip(rows, shares(rows))]}

    doc = {"workid": workid, "regions": [],
           "national": section(totals([entry for _, _, entry in regions]))}
    for rid, name, entry in regions:
        doc["regions"].append(dict(section(entry), region=rid, name=name, note=""))
    for rid, name, note in missing:
        doc["regions"].append({"region": rid, "name": name, "note": note, "cells": 0,
                               "acreage": 0.0, "mean": None, "rows": []})
    doc["regions"].sort(key=lambda r: r["region"])
    return doc


def report_csv(doc):
    """One line per region and a last line "national": cells, acres, mean, then each bin's acres
    and share of the region's counted acres."""
    bins = [(r["value"], r["name"]) for r in doc["national"]["rows"]]
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["Region", "Name", "Cells", "Acreage", "Mean"] +
                    ["%s acres" % n for _, n in bins] + ["%s share" % n for _, n in bins] +
                    ["Note"])

    def line(rid, name, section, note):
        by_bin = {(r["value"], r["name"]): r for r in section["rows"]}
        acres = [by_bin[b]["acreage"] if b in by_bin else 0.0 for b in bins]
        part = [by_bin[b]["percentage"] if b in by_bin else 0.0 for b in bins]
        mean = "" if section["mean"] is None else repr(section["mean"])
        writer.writerow([rid, name, section["cells"], repr(section["acreage"]), mean] +
                        [repr(a) for a in acres] + [repr(s) for s in part] + [note])

    for region in doc["regions"]:
        line(region["region"], region["name"], region, region["note"])
    line("national", "", doc["national"], "")
    return out.getvalue()


def write_text(output, text):
    tmp = output + ".part"
    try:
        with open(tmp, "w") as handle:
            handle.write(text)
        commit(tmp, output)
    finally:
        remove(tmp)


def write_report(workid, cell_acres, region_args, missing_args, csv_path, json_path):
    regions = [(rid, name, read_report(path)) for rid, name, path in region_args]
    doc = report_doc(workid, cell_acres, regions, [tuple(m) for m in missing_args])
    write_text(json_path, json.dumps(doc, sort_keys=True) + "\n")
    write_text(csv_path, report_csv(doc))


STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h2 { border-bottom: 1px solid #aaa; padding-bottom: 0.2em; margin-top: 1.6em; }
.pair { display: flex; flex-wrap: wrap; gap: 1.5em; align-items: flex-start; }
figure img { max-width: 520px; border: 1px solid #999;
  background: repeating-conic-gradient(#ddd 0% 25%, #fff 0% 50%) 0 0 / 16px 16px; }
table { border-collapse: collapse; font-size: 0.85em; }
td, th { border: 1px solid #bbb; padding: 0.15em 0.5em; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.total td { font-weight: bold; }
"""


def region_table(plan, kind, year, period, page_dir):
    """The period's regions with their counted acres and mean, and the national line."""
    path = plan.national_report(kind, year, period, "json")
    try:
        with open(path) as handle:
            doc = json.load(handle)
    except (OSError, ValueError) as err:
        return "<p>report unavailable: %s</p>" % html.escape(str(err))

    def mean_text(mean):
        return "" if mean is None else "%.3f" % mean

    lines = []
    for region in doc["regions"]:
        try:
            link = os.path.relpath(plan.region(region["region"]).plan.page(), page_dir)
            label = '<a href="%s">%s</a>' % (html.escape(link), html.escape(region["region"]))
        except (KeyError, AttributeError):
            label = html.escape(region["region"])
        lines.append("<tr><td>%s</td><td>%s</td><td class=num>%.1f</td><td class=num>%s</td>"
                     "<td>%s</td></tr>" % (label, html.escape(str(region["name"])),
                                           region["acreage"], mean_text(region["mean"]),
                                           html.escape(region["note"])))
    national = doc["national"]
    lines.append("<tr class=total><td>national</td><td></td><td class=num>%.1f</td>"
                 "<td class=num>%s</td><td></td></tr>" % (national["acreage"],
                                                          mean_text(national["mean"])))
    return ("<table><tr><th>region</th><th>name</th><th>acres</th><th>mean %s</th><th>note</th>"
            "</tr>%s</table>" % (kind.upper(), "".join(lines)))


def page_html(plan):
    page_dir = os.path.dirname(plan.page()) or "."
    no_tiles = [r.id for r in plan.regions if r.plan is None]
    parts = ["<!DOCTYPE html><html><head><meta charset=utf-8><title>National vegetation condition "
             "%d-%d</title><style>%s</style></head><body>" % (plan.first_year, plan.last_year, STYLE),
             "<h1>National vegetation condition, %d to %d</h1>" % (plan.first_year, plan.last_year),
             "<p>%d regions; periods of %d days, each covering %d days; extremes over %d-%d. "
             "Each region's own page is linked from the tables.</p>"
             % (len(plan.regions), plan.length, plan.actual, plan.first_year, plan.last_year)]
    if no_tiles:
        parts.append("<p>No tile overlaps the region(s) %s.</p>" % html.escape(", ".join(no_tiles)))
    parts.append('<div class=legends>%s</div>' % "".join(
        '<img src="%s" alt="%s legend">'
        % (html.escape(os.path.relpath(plan.legend(k), page_dir)), k.upper())
        for k in ("ndvi", "vci")))
    order = sorted(plan.national_composites, key=lambda py: chainplan.period_dates(
        py[1], py[0], plan.length, plan.actual)[0], reverse=True)
    for period, year in order:
        first, last = chainplan.period_dates(year, period, plan.length, plan.actual)
        panels = []
        for kind in ("ndvi", "vci"):
            image = os.path.relpath(plan.national_quicklook(kind, year, period), page_dir)
            panels.append('<div><figure><img src="%s" alt="national %s mosaic"><figcaption>%s, '
                          'national mosaic</figcaption></figure>%s</div>'
                          % (html.escape(image), kind.upper(), kind.upper(),
                             region_table(plan, kind, year, period, page_dir)))
        parts.append("<h2>Period %02d of %d: %s to %s</h2><div class=pair>%s</div>" % (
            period, year, chainplan.date_text(first), chainplan.date_text(last), "".join(panels)))
    parts.append("</body></html>\n")
    return "".join(parts)


def text_table(plan, kind):
    """The national report of the latest period as aligned text: region, acres, mean, note."""
    period, year, first, last = plan.latest_period()
    path = plan.national_report(kind, year, period, "json")
    with open(path) as handle:
        doc = json.load(handle)
    lines = [(r["region"], "%.1f" % r["acreage"], "" if r["mean"] is None else "%.3f" % r["mean"],
              r["note"]) for r in doc["regions"]]
    national = doc["national"]
    lines.append(("national", "%.1f" % national["acreage"],
                  "" if national["mean"] is None else "%.3f" % national["mean"], ""))
    header = ("region", "acres", "mean", "note")
    widths = [max(len(line[i]) for line in [header] + lines) for i in range(4)]
    text = ["%s by region, period %02d of %d (%s to %s), from %s:" % (
        kind.upper(), period, year, chainplan.date_text(first), chainplan.date_text(last), path)]
    for i, line in enumerate([header] + lines):
        text.append("  ".join([line[0].ljust(widths[0]), line[1].rjust(widths[1]),
                               line[2].rjust(widths[2]), line[3]]).rstrip())
        if i == 0:
            text.append("  ".join("-" * w for w in widths))
    return "\n".join(text) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(prog="national.py")
    parser.add_argument("what", choices=["layer", "area", "mosaic", "report", "page", "table"])
    parser.add_argument("--config")
    parser.add_argument("--output")
    parser.add_argument("--layer")
    parser.add_argument("--id")
    parser.add_argument("--region", nargs=3, action="append", default=[])
    parser.add_argument("--missing", nargs=3, action="append", default=[])
    parser.add_argument("--extent", nargs=4, type=float)
    parser.add_argument("--size", nargs=2, type=int)
    parser.add_argument("--kind", choices=["ndvi", "vci"])
    parser.add_argument("--workid", default="")
    parser.add_argument("--cell-acres", type=float, default=1.0)
    parser.add_argument("--csv")
    parser.add_argument("--json")
    parser.add_argument("inputs", nargs="*")
    args = parser.parse_intermixed_args(argv)
    try:
        if args.what == "layer":
            write_layer(json.loads(args.config), args.output)
        elif args.what == "area":
            write_area(args.layer, args.id, args.extent, args.size, args.output)
        elif args.what == "mosaic":
            if not args.inputs:
                raise ValueError("no regional copy to join")
            write_mosaic(args.kind or "vci", args.inputs, args.output)
        elif args.what == "report":
            write_report(args.workid, args.cell_acres, args.region, args.missing, args.csv, args.json)
        elif args.what == "table":
            sys.stdout.write(text_table(regionplan.NationalPlan(json.loads(args.config)),
                                        args.kind or "vci"))
        else:
            plan = regionplan.NationalPlan(json.loads(args.config))
            write_text(plan.page(), page_html(plan))
    except (OSError, RuntimeError, ValueError, KeyError, chainplan.PlanError) as err:
        sys.stderr.write("national: %s: %s\n" % (args.output or args.csv or args.what, err))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
