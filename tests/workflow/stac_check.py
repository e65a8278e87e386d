"""What the whole-run tests check of a run's STAC catalogue: every document valid against the STAC
1.1 and extension schemas kept in schemas/ (by python3-jsonschema), every asset's size and SHA-256
multihash those of its file, every relative link leading to a file; and an item collection opened
as one mosaic by GDAL's STACIT driver."""

import glob
import hashlib
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
CORE = {"Feature": "item.json", "Collection": "collection.json", "Catalog": "catalog.json"}


def schemas():
    """{$id: schema} of the schemas kept in schemas/."""
    found = {}
    for path in glob.glob(os.path.join(HERE, "schemas", "*.json")):
        with open(path) as handle:
            schema = json.load(handle)
        found[schema["$id"]] = schema
    return found


def problems(stac_dir):
    """Every fault found in the documents under `stac_dir`, as texts naming the document."""
    from jsonschema import Draft7Validator
    known = schemas()
    core = {kind: known[next(i for i in known if i.endswith("/" + name))]
            for kind, name in CORE.items()}
    faults = []
    for path in sorted(glob.glob(os.path.join(stac_dir, "**", "*.json"), recursive=True)):
        with open(path) as handle:
            doc = json.load(handle)
        here = os.path.dirname(path)
        docs = doc["features"] if doc.get("type") == "FeatureCollection" else [doc]
        for part in docs:
            checks = [core.get(part.get("type"))] + [known.get(u) for u in
                                                     part.get("stac_extensions", [])]
            if None in checks:
                faults.append("%s: no schema for its type or an extension" % path)
                continue
            for schema in checks:
                for error in Draft7Validator(schema).iter_errors(part):
                    faults.append("%s: %s: %s at %s" % (path, schema["$id"], error.message,
                                                        list(error.absolute_path)))
            for asset in part.get("assets", {}).values():
                target = os.path.join(here, asset["href"])
                if not os.path.isfile(target):
                    faults.append("%s: asset %s is missing" % (path, asset["href"]))
                    continue
                with open(target, "rb") as handle:
                    digest = "1220" + hashlib.sha256(handle.read()).hexdigest()
                if (asset.get("file:size"), asset.get("file:checksum")) != (
                        os.path.getsize(target), digest):
                    faults.append("%s: asset %s has another size or checksum" % (
                        path, asset["href"]))
            for link in part.get("links", []):
                if not os.path.isfile(os.path.join(here, link["href"])):
                    faults.append("%s: link %s leads nowhere" % (path, link["href"]))
    return faults


def mosaic(items_path, asset="data"):
    """(values, geotransform) of an item collection's asset as GDAL's STACIT driver mosaics it.
    GDAL 3.6 takes relative hrefs from the current folder, so it is opened from its own."""
    from osgeo import gdal
    gdal.UseExceptions()
    cwd = os.getcwd()
    os.chdir(os.path.dirname(items_path))
    try:
        ds = gdal.Open('STACIT:"%s":asset=%s' % (os.path.basename(items_path), asset))
        return ds.ReadAsArray(), ds.GetGeoTransform()
    finally:
        os.chdir(cwd)
