"""Indicators of a region and period, and their time series.

One pass over a period's 8-bit products (the GIS-ready copies of the VCI map and the NDVI composite,
and the NDVI composites of the same period in the history years) gives sums from which every
indicator follows: the mean VCI, the share of the counted area with VCI below a threshold, the same
two over a crop mask, and the NDVI of the period against its history mean. Sums add up over
regions, so the national indicators are those of the regions' sums, exactly as one pass over the
national mosaics would give.

The history of a period of year Y is every other year of the run's span with a composite of that
period. A cell's history mean is the mean of its NDVI over the history years in which it has a
value; a cell with fewer than `min_years` such years has none. The NDVI anomaly compares the mean
NDVI of the cells that have both a value this period and a history mean with the mean of their
history means.

Every indicator carries the cells it was computed from and their share of the region's cells (of
its crop cells, for the crop indicators); an indicator without a value says why in its note.
"""

import csv
import io
import json

from vegflow import outputs
from vegflow.products import (ANOMALY_MIN_YEARS, FILL, INDICATORS, POOR_VCI_THRESHOLD,
                              SCALE_OFFSET, VALID_MAX)

# Columns of the time series, one row per region, period, year and indicator.
SERIES_COLUMNS = ("region", "region name", "year", "period", "start", "end", "indicator",
                  "value", "cells", "coverage %", "note")
SUM_KEYS = ("area_cells", "vci_cells", "vci_sum", "poor_cells", "crop_cells", "crop_vci_cells",
            "crop_vci_sum", "crop_poor_cells", "ndvi_cells", "ndvi_sum", "history_sum")


def period_sums(vci, ndvi, history, crop=None, threshold=POOR_VCI_THRESHOLD,
                min_years=ANOMALY_MIN_YEARS):
    """Sums of one region and period from its 8-bit arrays (equal shapes): `vci` and `ndvi` of the
    period, `history` the NDVI of the same period in each history year, `crop` a boolean crop mask
    or None. Cells with the fill value in `vci` lie outside the region; bytes above the valid
    range (no data) are not counted. Sums of bytes; `history_sum` adds each cell's mean byte."""
    import numpy as np
    area = vci != FILL
    counted = vci <= VALID_MAX
    # VCI = byte / 250, so VCI < threshold is byte < threshold * 250.
    poor = counted & (vci < threshold * VALID_MAX)
    sums = {"area_cells": int(area.sum()), "vci_cells": int(counted.sum()),
            "vci_sum": int(vci[counted].sum(dtype=np.int64)), "poor_cells": int(poor.sum())}
    if crop is not None:
        crop = crop & area
        sums.update(crop_cells=int(crop.sum()), crop_vci_cells=int((counted & crop).sum()),
                    crop_vci_sum=int(vci[counted & crop].sum(dtype=np.int64)),
                    crop_poor_cells=int((poor & crop).sum()))
    total = np.zeros(vci.shape, dtype=np.int64)
    years = np.zeros(vci.shape, dtype=np.int32)
    for values in history:
        valid = values <= VALID_MAX
        total += np.where(valid, values, 0)
        years += valid
    both = (ndvi <= VALID_MAX) & area & (years >= max(1, min_years))
    sums.update(ndvi_cells=int(both.sum()), ndvi_sum=int(ndvi[both].sum(dtype=np.int64)),
                history_sum=float((total[both] / years[both]).sum()))
    return sums


def add_sums(many):
    """The sums of several regions; a crop sum is present when some region has it."""
    total = {}
    for sums in many:
        for key in SUM_KEYS:
            if key in sums:
                total[key] = total.get(key, 0) + sums[key]
    return total


def indicator_rows(sums, history_years, min_years=ANOMALY_MIN_YEARS):
    """[{indicator, value, cells, coverage, note}] in the order of INDICATORS: value None (and a
    note) where it cannot be given; coverage is the cells' percent of the region's (crop) cells."""
    vci_scale = SCALE_OFFSET["vci"][0]
    ndvi_scale, ndvi_offset = SCALE_OFFSET["ndvi"]
    rows = []

    def row(name, value, cells, base, note=""):
        if value is None and not note:
            note = "no cell with a value"
        rows.append({"indicator": name, "value": value, "cells": int(cells),
                     "coverage": 100.0 * cells / base if base else 0.0, "note": note})

    area = sums.get("area_cells", 0)
    cells = sums.get("vci_cells", 0)
    row("vci_mean", sums["vci_sum"] * vci_scale / cells if cells else None, cells, area)
    row("vci_poor_share", 100.0 * sums["poor_cells"] / cells if cells else None, cells, area)
    if "crop_cells" in sums:
        crop, cells = sums["crop_cells"], sums["crop_vci_cells"]
        row("crop_vci_mean", sums["crop_vci_sum"] * vci_scale / cells if cells else None, cells,
            crop)
        row("crop_vci_poor_share", 100.0 * sums["crop_poor_cells"] / cells if cells else None,
            cells, crop)
    cells = sums.get("ndvi_cells", 0)
    note = ""
    if len(history_years) < min_years:
        note = ("history of %d year(s); the anomaly needs at least %d"
                % (len(history_years), min_years))
        cells = 0
    elif not cells:
        note = "no cell has a value in at least %d history years" % min_years
    now = history = None
    if cells:
        now = sums["ndvi_sum"] / cells * ndvi_scale + ndvi_offset
        history = sums["history_sum"] / cells * ndvi_scale + ndvi_offset
    row("ndvi_mean", now, cells, area, note)
    row("ndvi_history_mean", history, cells, area, note)
    row("ndvi_anomaly", None if now is None else now - history, cells, area, note)
    if now is not None and history <= 0:
        note = "the history mean NDVI is not above 0"
    row("ndvi_anomaly_percent", None if note else 100.0 * (now - history) / history, cells, area,
        note)
    return rows


def read_byte(path):
    """(array, geotransform, projection) of band 1 of an 8-bit raster."""
    from vegflow.rasters import gdal_module
    ds = gdal_module().Open(path)
    return ds.GetRasterBand(1).ReadAsArray(), ds.GetGeoTransform(), ds.GetProjection()


def crop_window(path, transform, projection, shape):
    """The crop mask (non-zero: crop) over the cells of a grid: a boolean array of `shape`. The
    mask must be on the tiles' grid (projection, cell size and cell edges); its cells outside the
    grid count as no crop. ValueError names the mask when it is on another grid."""
    import numpy as np
    from osgeo import osr
    mask, mask_transform, mask_projection = read_byte(path)
    ours, theirs = osr.SpatialReference(), osr.SpatialReference()
    ours.ImportFromWkt(projection)
    theirs.ImportFromWkt(mask_projection or "")
    if mask_projection == "" or not ours.IsSame(theirs):
        raise ValueError("the crop mask %s is not in the projection of the tiles' grid" % path)
    dx, dy = transform[1], transform[5]
    if abs(mask_transform[1] - dx) > 1e-6 * abs(dx) or abs(mask_transform[5] - dy) > 1e-6 * abs(dy):
        raise ValueError("the crop mask %s has cells of %g x %g, the tiles' grid %g x %g"
                         % (path, mask_transform[1], -mask_transform[5], dx, -dy))
    column = (transform[0] - mask_transform[0]) / dx
    row = (transform[3] - mask_transform[3]) / dy
    if abs(column - round(column)) > 1e-3 or abs(row - round(row)) > 1e-3:
        raise ValueError("the crop mask %s is not aligned on the cells of the tiles' grid" % path)
    column, row = int(round(column)), int(round(row))
    window = np.zeros(shape, dtype=bool)
    r0, c0 = max(0, -row), max(0, -column)
    r1 = min(shape[0], mask.shape[0] - row)
    c1 = min(shape[1], mask.shape[1] - column)
    if r1 > r0 and c1 > c0:
        window[r0:r1, c0:c1] = mask[row + r0:row + r1, column + c0:column + c1] != 0
    return window


def write_period(head, vci_path, ndvi_path, history, crop_path, threshold, min_years, output):
    """The indicator file of one region and period: `head` holds region, name, year, period, start
    and end; `history` pairs each history year with its NDVI copy."""
    vci, transform, projection = read_byte(vci_path)
    ndvi = read_byte(ndvi_path)[0]
    past = [read_byte(path)[0] for _, path in history]
    for path, values in [(ndvi_path, ndvi)] + [(p, v) for (_, p), v in zip(history, past)]:
        if values.shape != vci.shape:
            raise ValueError("%s has %d x %d cells, %s %d x %d" % (
                path, values.shape[1], values.shape[0], vci_path, vci.shape[1], vci.shape[0]))
    crop = None if not crop_path else crop_window(crop_path, transform, projection, vci.shape)
    sums = period_sums(vci, ndvi, past, crop, threshold, min_years)
    years = sorted(int(y) for y, _ in history)
    doc = dict(head, threshold=threshold, min_years=min_years, history_years=years, sums=sums,
               rows=indicator_rows(sums, years, min_years))
    outputs.write_text(output, json.dumps(doc, sort_keys=True, indent=1) + "\n")
    return doc


def load(path):
    with open(path) as handle:
        try:
            return json.load(handle)
        except ValueError as err:
            raise ValueError("%s is not a complete indicator file: %s" % (path, err))


def national_doc(docs, head):
    """The national indicators of a period from the regions' indicator files: their sums added."""
    years = sorted({y for d in docs for y in d["history_years"]})
    counts = [len(d["history_years"]) for d in docs]
    sums = add_sums(d["sums"] for d in docs)
    threshold = docs[0]["threshold"] if docs else POOR_VCI_THRESHOLD
    min_years = docs[0]["min_years"] if docs else ANOMALY_MIN_YEARS
    # The regions' histories may differ; the national one is as long as the shortest.
    rows = indicator_rows(sums, years[:min(counts)] if counts else [], min_years)
    return dict(head, threshold=threshold, min_years=min_years, history_years=years, sums=sums,
                rows=rows)


def national_table(head, regions, missing):
    """The national indicators of a period: `regions` are the regions' indicator documents,
    `missing` (id, name, note) the regions without one; the national line adds their sums."""
    docs = sorted(regions, key=lambda d: d["region"])
    lines = docs + [dict(head, region=rid, name=name, note=note, rows=[], sums={},
                         history_years=[]) for rid, name, note in missing]
    lines.sort(key=lambda d: d["region"])
    return {"regions": lines,
            "national": national_doc(docs, dict(head, region="national", name=""))}


def national_csv(doc):
    """One line per region and a last line "national": each indicator's value, cells and coverage
    (percent of the region's cells), and the notes."""
    names = [n for n, _, _, _ in INDICATORS if any(
        r["indicator"] == n for r in doc["national"]["rows"])]
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["Region", "Name"] + [c % n for n in names for c in (
        "%s", "%s cells", "%s coverage %%")] + ["Note"])
    for line in doc["regions"] + [doc["national"]]:
        by_name = {r["indicator"]: r for r in line["rows"]}
        cells = []
        notes = [line["note"]] if line.get("note") else []
        for name in names:
            row = by_name.get(name)
            if row is None:
                cells += ["", "0", ""]
                continue
            cells += [value_text(name, row["value"]), str(row["cells"]), "%.2f" % row["coverage"]]
            if row["note"] and row["note"] not in notes:
                notes.append(row["note"])
        writer.writerow([line["region"], line["name"]] + cells + ["; ".join(notes)])
    return out.getvalue()


def write_national(head, region_args, missing_args, csv_path, json_path):
    doc = national_table(head, [load(path) for _, _, path in region_args],
                         [tuple(m) for m in missing_args])
    outputs.write_text(json_path, json.dumps(doc, sort_keys=True, indent=1) + "\n")
    outputs.write_text(csv_path, national_csv(doc))


def expand(doc):
    """The indicator documents of a file: a region's, or a national table's regions and total."""
    if "national" in doc:
        return [d for d in doc["regions"] if d["rows"]] + [doc["national"]]
    return [doc]


def value_text(name, value):
    if value is None:
        return ""
    decimals = {n: d for n, _, _, d in INDICATORS}[name]
    return "%.*f" % (decimals, value)


def series_rows(docs):
    """Time-series rows (dicts keyed by SERIES_COLUMNS) of indicator documents, ordered by region,
    indicator, year and period."""
    order = {n: i for i, (n, _, _, _) in enumerate(INDICATORS)}
    rows = []
    for doc in docs:
        for row in doc["rows"]:
            rows.append({"region": doc["region"], "region name": doc["name"],
                         "year": doc["year"], "period": doc["period"], "start": doc["start"],
                         "end": doc["end"], "indicator": row["indicator"], "value": row["value"],
                         "cells": row["cells"], "coverage %": round(row["coverage"], 2),
                         "note": row["note"]})
    rows.sort(key=lambda r: (r["region"] == "national", r["region"], order[r["indicator"]],
                             r["year"], r["period"]))
    return rows


def series_csv(rows):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(SERIES_COLUMNS)
    for row in rows:
        writer.writerow([value_text(row["indicator"], row["value"]) if c == "value" else
                         "%.2f" % row[c] if c == "coverage %" else row[c]
                         for c in SERIES_COLUMNS])
    return out.getvalue()


def write_series(paths, csv_path, json_path):
    """The time series of a run from its indicator files: built anew from them every time, so a
    period rerun replaces its rows and no row appears twice."""
    rows = series_rows([d for p in paths for d in expand(load(p))])
    seen = set()
    for row in rows:
        key = (row["region"], row["year"], row["period"], row["indicator"])
        if key in seen:
            raise ValueError("two indicator files hold %s, period %s of %s"
                             % (key[0], key[2], key[1]))
        seen.add(key)
    outputs.write_text(json_path, json.dumps({"columns": list(SERIES_COLUMNS), "rows": rows},
                                             sort_keys=True, indent=1) + "\n")
    outputs.write_text(csv_path, series_csv(rows))


def chart_series(rows, region, indicator):
    """{year: [(period, value)]} of one region's indicator, values present only."""
    series = {}
    for row in rows:
        if row["region"] == region and row["indicator"] == indicator and row["value"] is not None:
            series.setdefault(row["year"], []).append((row["period"], row["value"]))
    return {y: sorted(v) for y, v in series.items()}


def draw_chart(rows, region, indicator, output, title, others=()):
    """PNG chart of one indicator across the periods: the latest year as a line against the range
    of the other years (shaded, their lines thin), and the latest year of each of `others`
    (region ids) as a dashed line."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure
    series = chart_series(rows, region, indicator)
    meaning = {n: (w, u) for n, w, u, _ in INDICATORS}[indicator]
    fig = Figure(figsize=(6.4, 3.6), dpi=100, facecolor="white")
    FigureCanvasAgg(fig)
    ax = fig.add_axes([0.12, 0.15, 0.62, 0.72])
    years = sorted(series)
    if years:
        latest = years[-1]
        periods = sorted({p for y in years[:-1] for p, _ in series[y]})
        if periods:
            lows = [min(v for y in years[:-1] for p, v in series[y] if p == q) for q in periods]
            highs = [max(v for y in years[:-1] for p, v in series[y] if p == q) for q in periods]
            ax.fill_between(periods, lows, highs, color="#9ecae1", alpha=0.5, step=None,
                            label="%d-%d range" % (years[0], years[-2]))
            for year in years[:-1]:
                ax.plot(*zip(*series[year]), color="#6b8fb3", linewidth=0.6, marker=".",
                        markersize=3)
        ax.plot(*zip(*series[latest]), color="#c0392b", linewidth=2, marker="o", markersize=5,
                label=str(latest))
        for other in others:
            mine = chart_series(rows, other, indicator).get(latest)
            if mine:
                ax.plot(*zip(*mine), linewidth=1, linestyle="--", marker="x", markersize=4,
                        label="%s %d" % (other, latest))
    else:
        ax.text(0.5, 0.5, "no values", ha="center", va="center", transform=ax.transAxes)
    if indicator == "vci_poor_share":
        ax.set_ylim(0, 100)
    elif indicator == "vci_mean":
        ax.set_ylim(0, 1)
    if indicator.startswith("ndvi_anomaly"):
        ax.axhline(0, color="#999999", linewidth=0.5)
    ax.set_xlabel("period", fontsize=8)
    ax.set_ylabel("%s (%s)" % (indicator, meaning[1]), fontsize=8)
    ax.tick_params(labelsize=7)
    ax.xaxis.get_major_locator().set_params(integer=True)
    ax.grid(True, linewidth=0.3)
    fig.text(0.5, 0.95, title, ha="center", va="center", fontsize=10, weight="bold")
    fig.text(0.5, 0.905, meaning[0], ha="center", va="center", fontsize=7)
    if years:
        ax.legend(loc="upper left", bbox_to_anchor=(1.02, 1.0), fontsize=7, frameon=False)
    with outputs.atomic_output(output) as tmp:
        fig.savefig(tmp, format="png", dpi=100, facecolor="white")


def write_charts(series_json, region, outputs_by_indicator, title, others=()):
    with open(series_json) as handle:
        rows = json.load(handle)["rows"]
    for indicator, output in outputs_by_indicator:
        draw_chart(rows, region, indicator, output, "%s: %s" % (title, indicator), others)
