"""The run's static STAC catalogue (STAC 1.1) under <out>/stac/.

A catalog links one collection per product kind (NDVI composites, VCI maps); each collection links
an item per period, year and region, and in a national run the national mosaics' items. An item's
assets are the Cloud-Optimized GeoTIFF (its band: data type, no data, scale and offset, unit and
statistics of the valid bytes), its quicklook and its reports, each with its size and SHA-256
multihash; its properties hold the projection (WKT2; the sinusoidal grid has no EPSG code, so
`proj:code` is null, and `proj:epsg` is null beside it for readers of the projection extension's
first version, GDAL 3.6's STACIT driver among them), the grid's shape and transform, and the
processing lineage and software; its links lead to the source products. Per kind, year and period,
an item collection of the regions' items (the area's, in a single run) opens in GDAL as one mosaic.

Every href is relative, so the output folder can be moved as a whole. A document is written
(atomically) only when its content changed; an item whose assets did not change keeps the software
it was made with. Checksums and statistics are cached in stac/.cache.json by file size and time.
"""

import hashlib
import json
import os
import subprocess

from vegflow import outputs
from vegflow.products import FILL, SCALE_OFFSET, VALID_MAX

STAC_VERSION = "1.1.0"
EXTENSIONS = {
    "proj": "https://stac-extensions.github.io/projection/v2.0.0/schema.json",
    "raster": "https://stac-extensions.github.io/raster/v2.0.0/schema.json",
    "file": "https://stac-extensions.github.io/file/v2.1.0/schema.json",
    "processing": "https://stac-extensions.github.io/processing/v1.2.0/schema.json",
}
COG_TYPE = "image/tiff; application=geotiff; profile=cloud-optimized"
KIND_TEXT = {"ndvi": ("NDVI composites", "Period maximum-value NDVI composites (8-bit)", "NDVI"),
             "vci": ("VCI maps", "Vegetation condition index of each period (8-bit)", "VCI")}
# Software fields that a rerun with unchanged assets does not rewrite.
SOFTWARE_KEYS = ("processing:software", "processing:version")


def multihash(digest):
    """The multihash of a SHA-256 digest: code 0x12, length 0x20, the digest; in hex."""
    return "1220" + digest


def file_facts(path, cache):
    """(size, SHA-256 hex, statistics or None) of a file, from the cache when its size and time
    are unchanged; statistics only for GeoTIFFs."""
    st = os.stat(path)
    key = os.path.abspath(path)
    known = cache.get(key)
    if known and known["size"] == st.st_size and known["mtime"] == st.st_mtime_ns:
        return known["size"], known["sha256"], known.get("stats")
    sha = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 20), b""):
            sha.update(block)
    stats = band_statistics(path) if path.endswith(".tif") else None
    cache[key] = {"size": st.st_size, "mtime": st.st_mtime_ns, "sha256": sha.hexdigest(),
                  "stats": stats}
    return st.st_size, sha.hexdigest(), stats


def band_statistics(path):
    """Statistics of the valid bytes (0..250) of band 1 and their percent of all cells."""
    import numpy as np
    from vegflow.rasters import gdal_module
    ds = gdal_module().Open(path)  # the dataset must outlive its band
    values = ds.GetRasterBand(1).ReadAsArray()
    valid = values[values <= VALID_MAX]
    if not valid.size:
        return {"valid_percent": 0.0}
    return {"minimum": int(valid.min()), "maximum": int(valid.max()),
            "mean": round(float(valid.mean(dtype=np.float64)), 4),
            "valid_percent": round(100.0 * valid.size / values.size, 4)}


def grid_of(path):
    """(transform, shape, WKT2, lon/lat footprint ring, bbox) of a GeoTIFF."""
    from osgeo import osr
    from vegflow.rasters import gdal_module
    ds = gdal_module().Open(path)
    g = ds.GetGeoTransform()
    cols, rows = ds.RasterXSize, ds.RasterYSize
    srs = osr.SpatialReference(wkt=ds.GetProjection())
    wkt2 = srs.ExportToWkt(["FORMAT=WKT2_2019"])
    lonlat = osr.SpatialReference()
    lonlat.ImportFromEPSG(4326)
    for ref in (srs, lonlat):
        ref.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_lonlat = osr.CoordinateTransformation(srs, lonlat)
    # The grid's outline, ten points a side, counter-clockwise from the lower left corner.
    steps = [i / 10.0 for i in range(10)]
    outline = ([(t * cols, rows) for t in steps] + [(cols, (1 - t) * rows) for t in steps] +
               [((1 - t) * cols, 0) for t in steps] + [(0, t * rows) for t in steps])
    ring = []
    for c, r in outline:
        x, y = g[0] + c * g[1] + r * g[2], g[3] + c * g[4] + r * g[5]
        lon, lat = to_lonlat.TransformPoint(x, y)[:2]
        ring.append([round(lon, 7), round(lat, 7)])
    ring.append(ring[0])
    lons, lats = [p[0] for p in ring], [p[1] for p in ring]
    bbox = [min(lons), min(lats), max(lons), max(lats)]
    # proj:transform holds the first six coefficients of the affine matrix, row by row.
    transform = [g[1], g[2], g[0], g[4], g[5], g[3]]
    return transform, [rows, cols], wkt2, ring, bbox


def software():
    """(version, {name: version}) of the software that made the products: the repository's
    description by git (tag, commits since, commit), and GDAL's version."""
    from vegflow.rasters import gdal_module
    repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    try:
        proc = subprocess.run(["git", "-C", repo, "describe", "--always", "--tags", "--dirty"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        version = proc.stdout.strip() if proc.returncode == 0 else ""
    except OSError:
        version = ""
    version = version or "unknown"
    return version, {"vegcondition": version, "GDAL": gdal_module().__version__}


class Writer:
    """Writes documents under the catalogue's folder, each only when its text changed."""

    def __init__(self, root):
        self.root = root
        self.written = []

    def write(self, path, doc, keep=()):
        """Writes `doc` to `path` unless the file holds it already (the `keep` properties aside:
        when the rest is equal, the file is left as it is)."""
        text = json.dumps(doc, indent=1, sort_keys=True) + "\n"
        try:
            with open(path) as handle:
                old_text = handle.read()
            old = json.loads(old_text)
        except (OSError, ValueError):
            old_text, old = None, None
        if old_text == text:
            return
        if old is not None and keep and strip(old, keep) == strip(doc, keep):
            return
        os.makedirs(os.path.dirname(path), exist_ok=True)
        outputs.write_text(path, text)
        self.written.append(path)


def strip(doc, keys):
    doc = json.loads(json.dumps(doc))
    for key in keys:
        doc.get("properties", {}).pop(key, None)
    return doc


def rel(path, start):
    return os.path.relpath(path, os.path.dirname(start))


def link(rel_type, href, media="application/json", title=None):
    out = {"rel": rel_type, "href": href, "type": media}
    if title:
        out["title"] = title
    return out


def entries(plan):
    """Every item of a run: dicts of kind, year, period, region id and name, the COG, quicklook,
    reports and source products."""
    found = []
    runs = [(r.id, r.name, r.plan) for r in plan.active_regions()] if hasattr(
        plan, "active_regions") else [(plan.region_id, plan.region_name, plan)]
    for rid, name, run in runs:
        for period, year in run.composites:
            for kind in ("ndvi", "vci"):
                sources = [run.composite(year, period)]
                if kind == "vci":
                    sources = [run.vci(year, period), run.composite(year, period),
                               run.extremes(period)]
                found.append({"kind": kind, "year": year, "period": period, "region": rid,
                              "name": name, "cog": run.geotiff(kind, year, period),
                              "quicklook": run.quicklook(kind, year, period),
                              "reports": [run.report(kind, year, period, e)
                                          for e in ("csv", "json")],
                              "sources": sources, "plan": run})
    if hasattr(plan, "active_regions"):
        for period, year in plan.national_composites:
            for kind in ("ndvi", "vci"):
                found.append({"kind": kind, "year": year, "period": period, "region": "national",
                              "name": "national mosaic", "cog": plan.national(kind, year, period),
                              "quicklook": plan.national_quicklook(kind, year, period),
                              "reports": [plan.national_report(kind, year, period, e)
                                          for e in ("csv", "json")],
                              "sources": plan.region_copies(kind, year, period), "plan": plan})
    return found


def item_path(plan, entry):
    return plan.path("stac", entry["kind"], str(entry["year"]), "%s_%s_%s.json" % (
        entry["region"], entry["kind"], plan.tag(entry["year"], entry["period"])))


def item_collection_path(plan, kind, year, period):
    return plan.path("stac", kind, str(year), "%s_%s_items.json" % (kind, plan.tag(year, period)))


def lineage(entry):
    if entry["region"] == "national":
        return ("The regions' 8-bit copies joined through a VRT (gdalbuildvrt) into a "
                "Cloud-Optimized GeoTIFF (gdal_translate).")
    if entry["kind"] == "vci":
        return ("Daily NDVI grids (daymosaic) from the reflectance tiles, folded into the "
                "period's maximum-value composite (peakcomposite); the extremes of the period "
                "over the span of years (periodextremes); the VCI (conditionmap); its 8-bit field "
                "copied to a Cloud-Optimized GeoTIFF with GDAL.")
    return ("Daily NDVI grids (daymosaic) from the reflectance tiles, folded into the period's "
            "maximum-value composite (peakcomposite); its 8-bit field copied to a "
            "Cloud-Optimized GeoTIFF with GDAL.")


def make_item(plan, entry, cache, version, tools):
    from vegflow.plan import period_dates
    path = item_path(plan, entry)
    kind, year, period = entry["kind"], entry["year"], entry["period"]
    first, last = period_dates(year, period, plan.length, plan.actual)
    transform, shape, wkt2, ring, bbox = grid_of(entry["cog"])
    scale, offset = SCALE_OFFSET[kind]
    size, sha, stats = file_facts(entry["cog"], cache)
    band = {"name": kind, "data_type": "uint8", "nodata": FILL, "raster:scale": scale,
            "raster:offset": offset, "unit": KIND_TEXT[kind][2],
            "statistics": stats or {}}
    assets = {"data": {"href": rel(entry["cog"], path), "type": COG_TYPE, "roles": ["data"],
                       "title": "%s, 8-bit (value = byte x %g + %g; 254 no data, 255 outside)"
                       % (KIND_TEXT[kind][2], scale, offset),
                       "file:size": size, "file:checksum": multihash(sha), "bands": [band]}}
    for key, file, media, roles in (("quicklook", entry["quicklook"], "image/png", ["overview"]),
                                    ("report_csv", entry["reports"][0], "text/csv", ["metadata"]),
                                    ("report_json", entry["reports"][1], "application/json",
                                     ["metadata"])):
        if os.path.isfile(file):
            fsize, fsha, _ = file_facts(file, cache)
            assets[key] = {"href": rel(file, path), "type": media, "roles": roles,
                           "file:size": fsize, "file:checksum": multihash(fsha)}
    links = [link("root", rel(plan.catalogue(), path)),
             link("parent", rel(plan.path("stac", kind, "collection.json"), path)),
             link("collection", rel(plan.path("stac", kind, "collection.json"), path)),
             link("self", os.path.basename(path))]
    for source in entry["sources"]:
        media = COG_TYPE if source.endswith(".tif") else "application/x-hdf"
        links.append(link("derived_from", rel(source, path), media))
    properties = {
        "title": "%s, %s, period %02d of %d" % (KIND_TEXT[kind][2], entry["name"], period, year),
        "datetime": None,
        "start_datetime": "%sT00:00:00Z" % first.isoformat(),
        "end_datetime": "%sT23:59:59Z" % last.isoformat(),
        "region": entry["region"],
        "proj:code": None,
        "proj:epsg": None,
        "proj:wkt2": wkt2,
        "proj:shape": shape,
        "proj:transform": transform,
        "processing:level": "L3",
        "processing:lineage": lineage(entry),
        "processing:software": tools,
        "processing:version": version,
    }
    item = {"type": "Feature", "stac_version": STAC_VERSION,
            "stac_extensions": sorted(EXTENSIONS.values()),
            "id": "%s_%s_%s" % (entry["region"], kind, plan.tag(year, period)),
            "collection": kind, "geometry": {"type": "Polygon", "coordinates": [ring]},
            "bbox": bbox, "properties": properties, "assets": assets, "links": links}
    return path, item


def write_catalogue(plan):
    """Writes the run's catalogue (see the module's description); returns the files written."""
    root = plan.path("stac")
    os.makedirs(root, exist_ok=True)
    cache_path = os.path.join(root, ".cache.json")
    try:
        with open(cache_path) as handle:
            cache = json.load(handle)
    except (OSError, ValueError):
        cache = {}
    version, tools = software()
    writer = Writer(root)
    items = {}
    for entry in entries(plan):
        path, item = make_item(plan, entry, cache, version, tools)
        writer.write(path, item, keep=SOFTWARE_KEYS)
        with open(path) as handle:  # the item as kept, with the software it was made with
            item = json.load(handle)
        items.setdefault(entry["kind"], []).append((entry, path, item))
    for kind, kind_items in sorted(items.items()):
        collection = plan.path("stac", kind, "collection.json")
        groups = {}
        for entry, path, item in kind_items:
            if entry["region"] != "national":
                groups.setdefault((entry["year"], entry["period"]), []).append((path, item))
        for (year, period), members in sorted(groups.items()):
            target = item_collection_path(plan, kind, year, period)
            features = []
            for path, item in sorted(members):
                feature = json.loads(json.dumps(item))
                for asset in feature["assets"].values():
                    asset["href"] = rel(os.path.join(os.path.dirname(path), asset["href"]),
                                        target)
                feature["links"] = [link("collection", rel(collection, target))]
                features.append(feature)
            writer.write(target, {"type": "FeatureCollection", "features": features})
        boxes = [i["bbox"] for _, _, i in kind_items]
        starts = sorted(i["properties"]["start_datetime"] for _, _, i in kind_items)
        ends = sorted(i["properties"]["end_datetime"] for _, _, i in kind_items)
        writer.write(collection, {
            "type": "Collection", "stac_version": STAC_VERSION,
            "stac_extensions": sorted(EXTENSIONS.values()), "id": kind,
            "title": KIND_TEXT[kind][0], "description": KIND_TEXT[kind][1] + ", %d-%d."
            % (plan.first_year, plan.last_year), "license": "other",
            "extent": {"spatial": {"bbox": [[min(b[0] for b in boxes), min(b[1] for b in boxes),
                                             max(b[2] for b in boxes), max(b[3] for b in boxes)]]},
                       "temporal": {"interval": [[starts[0], ends[-1]]]}},
            "links": [link("root", rel(plan.catalogue(), collection)),
                      link("parent", rel(plan.catalogue(), collection)),
                      link("self", "collection.json")] +
            [link("item", rel(path, collection), "application/geo+json")
             for _, path, _ in sorted(kind_items, key=lambda e: e[1])]})
    writer.write(plan.catalogue(), {
        "type": "Catalog", "stac_version": STAC_VERSION, "id": "vegetation-condition",
        "title": "Vegetation condition %d-%d" % (plan.first_year, plan.last_year),
        "description": "NDVI composites and VCI maps of the run, per period, year and region.",
        "links": [link("root", "catalog.json"), link("self", "catalog.json")] +
        [link("child", "%s/collection.json" % kind, title=KIND_TEXT[kind][0])
         for kind in sorted(items)]})
    outputs.write_text(cache_path, json.dumps(cache, sort_keys=True) + "\n")
    # The catalog is the workflow's mark of a catalogue up to date with the products: its time
    # moves on even when its text stays.
    os.utime(plan.catalogue())
    return writer.written
