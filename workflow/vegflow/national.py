"""Steps of a national run: the region layer in the tiles' projection, the regions' area rasters,
the national mosaics of the regions' 8-bit copies and the national reports.
"""

import csv
import io
import json
import math
import subprocess

from vegflow import outputs
from vegflow.maps import COG_BLOCK
from vegflow.products import FILL, SCALE_OFFSET
from vegflow.regions import NationalPlan, projected_features, region_id


def run(command):
    proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise RuntimeError("%s failed with status %d: %s" % (
            command[0], proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))


def write_layer(config, output):
    """The region layer with its features in the tiles' projection and one text field "region"
    holding each feature's region id, which gdal_rasterize selects on."""
    from osgeo import ogr, osr
    ogr.UseExceptions()
    plan = NationalPlan(config)
    grid = plan.reference_grid()
    target = osr.SpatialReference()
    target.ImportFromWkt(grid.projection)
    target.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    source_ds = ogr.Open(plan.layer)
    layer = source_ds.GetLayerByName(str(plan.layer_name)) if plan.layer_name else \
        source_ds.GetLayer(0)
    with outputs.atomic_output(output) as tmp:
        out_ds = ogr.GetDriverByName("GPKG").CreateDataSource(tmp)
        out_layer = out_ds.CreateLayer("regions", target, ogr.wkbUnknown)
        out_layer.CreateField(ogr.FieldDefn("region", ogr.OFTString))
        for feature, geometry in projected_features(layer, grid.projection):
            out = ogr.Feature(out_layer.GetLayerDefn())
            out.SetField("region", region_id(feature.GetField(plan.field), plan.layer))
            out.SetGeometry(geometry)
            out_layer.CreateFeature(out)
        out_ds = None


def write_area(layer, region, extent, size, output):
    """The region's cells whose centre lies in one of its features are 255, all others 0."""
    with outputs.atomic_output(output) as tmp:
        run(["gdal_rasterize", "-q", "-l", "regions", "-where", "region = '%s'" % region,
             "-burn", "255", "-init", "0", "-ot", "Byte", "-of", "GTiff", "-co", "COMPRESS=DEFLATE",
             "-te"] + [repr(float(v)) for v in extent] + ["-ts"] + [str(int(v)) for v in size] +
            [layer, tmp])


def write_mosaic(kind, copies, output):
    """The copies share the tiles' grid, so the VRT places them without resampling; cells outside
    a region (the fill value) let the neighbours' cells show. The COG is laid out like the
    regions' copies: the fill value as no data, the copies' colour table, the scale and offset of
    the kind, overviews by nearest value (the bytes are classes and sentinels)."""
    scale, offset = SCALE_OFFSET[kind]
    with outputs.atomic_output(output) as tmp:
        vrt = tmp + ".vrt"
        try:
            run(["gdalbuildvrt", "-q", "-srcnodata", str(FILL), "-vrtnodata", str(FILL), vrt] +
                list(copies))
            run(["gdal_translate", "-q", "-of", "COG", "-co", "COMPRESS=DEFLATE", "-co",
                 "BLOCKSIZE=%d" % COG_BLOCK, "-co", "OVERVIEW_RESAMPLING=NEAREST",
                 "-a_scale", repr(scale), "-a_offset", repr(offset), vrt, tmp])
        finally:
            outputs.remove(vrt)


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
    and share in percent of the region's counted acres, rounded as the pages' tables are (acres to
    0.1, shares to 0.01 %, the mean to 0.001)."""
    bins = [(r["value"], r["name"]) for r in doc["national"]["rows"]]
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["Region", "Name", "Cells", "Acreage", "Mean"] +
                    ["%s acres" % n for _, n in bins] + ["%s share %%" % n for _, n in bins] +
                    ["Note"])

    def line(rid, name, section, note):
        by_bin = {(r["value"], r["name"]): r for r in section["rows"]}
        acres = [by_bin[b]["acreage"] if b in by_bin else 0.0 for b in bins]
        part = [by_bin[b]["percentage"] if b in by_bin else 0.0 for b in bins]
        mean = "" if section["mean"] is None else "%.3f" % section["mean"]
        writer.writerow([rid, name, section["cells"], "%.1f" % section["acreage"], mean] +
                        ["%.1f" % a for a in acres] + ["%.2f" % (100.0 * s) for s in part] +
                        [note])

    for region in doc["regions"]:
        line(region["region"], region["name"], region, region["note"])
    line("national", "", doc["national"], "")
    return out.getvalue()


def write_report(workid, cell_acres, region_args, missing_args, csv_path, json_path):
    regions = [(rid, name, read_report(path)) for rid, name, path in region_args]
    doc = report_doc(workid, cell_acres, regions, [tuple(m) for m in missing_args])
    outputs.write_text(json_path, json.dumps(doc, sort_keys=True) + "\n")
    outputs.write_text(csv_path, report_csv(doc))
