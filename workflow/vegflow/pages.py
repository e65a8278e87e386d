"""The run's HTML pages and text tables of the statistics reports.

The page shows the run's story when its configuration has one, the grid's cell size and the area
covered, then for every period and year of the run (latest first) the NDVI and VCI quicklooks each
beside its histogram table, read from the JSON reports that `tallyband` wrote, and last the time
each program took, summed from the step logs. The national page of a run with regions shows the
national mosaics' quicklooks beside the region tables of the national reports. All links are
relative to the page, so the output folder can be moved or copied as a whole.
"""

import html
import json
import os
import re

from vegflow import indicators, outputs
from vegflow.plan import date_text, period_dates
from vegflow.products import ACRES_PER_SQUARE_METRE, FILL, INDICATORS, KINDS

# The style of both pages: a run's quicklooks sit in panels beside their tables, the national
# mosaics in figures; quicklooks show a checkerboard where the area ends.
STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h2 { border-bottom: 1px solid #aaa; padding-bottom: 0.2em; margin-top: 1.6em; }
.pair { display: flex; flex-wrap: wrap; gap: 1.5em; align-items: flex-start; }
.panel { display: flex; gap: 1em; align-items: flex-start; }
.panel figure { margin: 0; }
figure img { max-width: 520px; border: 1px solid #999;
  background: repeating-conic-gradient(#ddd 0% 25%, #fff 0% 50%) 0 0 / 16px 16px; }
.panel img { max-width: 420px; }
table { border-collapse: collapse; font-size: 0.85em; }
td, th { border: 1px solid #bbb; padding: 0.15em 0.5em; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.total td { font-weight: bold; }
.legends img { margin-right: 2em; }
.story { max-width: 60em; line-height: 1.4; }
.charts img { max-width: 480px; margin: 0 1em 1em 0; border: 1px solid #ccc; }
"""

ACRES_PER_KM2 = ACRES_PER_SQUARE_METRE * 1e6


def load_report(path):
    """Rows (value, name, acreage, percentage) of a JSON report; raises ValueError when
    unreadable."""
    with open(path) as handle:
        try:
            doc = json.load(handle)
        except ValueError as err:
            raise ValueError("%s is not a complete report: %s" % (path, err))
    rows = doc.get("rows")
    if not isinstance(rows, list):
        raise ValueError("%s holds no rows" % path)
    return [(row.get("value"), row.get("name", ""), float(row.get("acreage", 0.0)),
             float(row.get("percentage", 0.0))) for row in rows]


def text_table(rows):
    """The histogram as aligned text: bin, class, acreage, share in percent."""
    header = ("bin", "class", "acres", "share %")
    body = [(str(v), str(n), "%.1f" % a, "%.2f" % (100.0 * p)) for v, n, a, p in rows]
    widths = [max(len(r[i]) for r in [header] + body) for i in range(4)]
    lines = []
    for i, row in enumerate([header] + body):
        cells = [row[0].rjust(widths[0]), row[1].ljust(widths[1]), row[2].rjust(widths[2]),
                 row[3].rjust(widths[3])]
        lines.append("  ".join(cells).rstrip())
        if i == 0:
            lines.append("  ".join("-" * w for w in widths))
    return "\n".join(lines) + "\n"


def html_table(rows):
    cells = "".join(
        "<tr><td class=num>%s</td><td>%s</td><td class=num>%.1f</td><td class=num>%.2f</td></tr>"
        % (html.escape(str(v)), html.escape(str(n)), a, 100.0 * p) for v, n, a, p in rows)
    return ("<table><tr><th>bin</th><th>class</th><th>acres</th><th>share %%</th></tr>%s</table>"
            % cells)


def panel(plan, kind, year, period, page_dir):
    image = os.path.relpath(plan.quicklook(kind, year, period), page_dir)
    report = plan.report(kind, year, period, "json")
    try:
        table = html_table(load_report(report))
    except (OSError, ValueError) as err:
        table = "<p>report unavailable: %s</p>" % html.escape(str(err))
    return ('<div class=panel><figure><a href="%s"><img src="%s" alt="%s quicklook"></a>'
            "<figcaption>%s</figcaption></figure>%s</div>"
            % (html.escape(image), html.escape(image), kind.upper(), kind.upper(), table))


def step_times(log_dir):
    """[(program, steps, total seconds, mean seconds)] from the step logs under `log_dir`, the
    program being the log's first folder (or its name without .log), most time first. Logs without
    a time (a step that could not start) are left out."""
    totals = {}
    for folder, _, files in os.walk(log_dir):
        for name in files:
            if not name.endswith(".log"):
                continue
            path = os.path.join(folder, name)
            seconds = None
            with open(path, errors="replace") as handle:
                for line in handle:
                    if line.startswith("--- seconds "):
                        try:
                            seconds = float(line.split()[2])
                        except (IndexError, ValueError):
                            seconds = None
            if seconds is None:
                continue
            program = os.path.relpath(path, log_dir).split(os.sep)[0]
            if program.endswith(".log"):
                program = program[:-len(".log")]
            count, total = totals.get(program, (0, 0.0))
            totals[program] = (count + 1, total + seconds)
    rows = [(p, n, t, t / n) for p, (n, t) in totals.items()]
    return sorted(rows, key=lambda row: (-row[2], row[0]))


def step_table(rows):
    if not rows:
        return "<p>No step logs with times.</p>"
    steps = sum(r[1] for r in rows)
    total = sum(r[2] for r in rows)
    body = "".join(
        "<tr><td>%s</td><td class=num>%d</td><td class=num>%.1f</td><td class=num>%.2f</td>"
        "<td class=num>%.1f</td></tr>"
        % (html.escape(p), n, t, m, 100.0 * t / total if total else 0) for p, n, t, m in rows)
    return ("<table class=steps><tr><th>program</th><th>steps</th><th>total s</th><th>mean s</th>"
            "<th>share %%</th></tr>%s<tr><th>all</th><th class=num>%d</th><th class=num>%.1f</th>"
            "<th></th><th></th></tr></table>" % (body, steps, total))


def grid_facts(path):
    """(cell width in m, cell height in m, cells inside the area) of a GIS-ready copy, whose fill
    value marks the cells outside the area; None when it cannot be read."""
    try:
        from osgeo import gdal
        gdal.UseExceptions()
        raster = gdal.Open(path)
        transform = raster.GetGeoTransform()
        band = raster.GetRasterBand(1)
        inside = 0
        for row in range(0, raster.RasterYSize, 512):  # a band of rows at a time, for any size
            rows = min(512, raster.RasterYSize - row)
            inside += int((band.ReadAsArray(0, row, raster.RasterXSize, rows) != FILL).sum())
        return abs(transform[1]), abs(transform[5]), inside
    except (ImportError, RuntimeError, AttributeError):
        return None


def grid_text(facts):
    width, height, inside = facts
    km2 = width * height / 1e6
    return ("<p>Cells of %.3g km x %.3g km (%.4g km&sup2;, %.0f acres each); the area of interest "
            "covers %d cells, %.0f km&sup2; (%.4g million acres).</p>"
            % (width / 1000, height / 1000, km2, km2 * ACRES_PER_KM2, inside, inside * km2,
               inside * km2 * ACRES_PER_KM2 / 1e6))


def page_head(title, plan):
    """The page's head with the style, and its heading."""
    return ("<!DOCTYPE html><html><head><meta charset=utf-8><title>%s %d-%d</title><style>%s"
            "</style></head><body><h1>%s, %d to %d</h1>"
            % (title, plan.first_year, plan.last_year, STYLE, title, plan.first_year,
               plan.last_year))


def legends(plan, page_dir):
    """The legends of both kinds, linked relative to the page."""
    return '<div class=legends>%s</div>' % "".join(
        '<img src="%s" alt="%s legend">'
        % (html.escape(os.path.relpath(plan.legend(k), page_dir)), k.upper()) for k in KINDS)


def latest_first(plan, composites):
    """(period, year, first day, last day) of the composites, the latest period first."""
    dated = [(p, y) + period_dates(y, p, plan.length, plan.actual) for p, y in composites]
    return sorted(dated, key=lambda entry: entry[2], reverse=True)


def period_heading(period, year, first, last):
    return "<h2>Period %02d of %d: %s to %s</h2>" % (period, year, date_text(first),
                                                     date_text(last))


def load_indicators(path):
    """An indicator document, or None (and the reason) when it cannot be read."""
    try:
        return indicators.load(path), None
    except (OSError, ValueError) as err:
        return None, "<p>indicators unavailable: %s</p>" % html.escape(str(err))


def indicator_table(doc):
    """A region's indicators of one period: value, cells, coverage and note."""
    what = {n: w for n, w, _, _ in INDICATORS}
    lines = "".join(
        "<tr><td title=\"%s\">%s</td><td class=num>%s</td><td class=num>%d</td>"
        "<td class=num>%.2f</td><td>%s</td></tr>"
        % (html.escape(what[r["indicator"]]), r["indicator"],
           indicators.value_text(r["indicator"], r["value"]), r["cells"], r["coverage"],
           html.escape(r["note"])) for r in doc["rows"])
    return ("<table class=indicators><tr><th>indicator</th><th>value</th><th>cells</th>"
            "<th>coverage %%</th><th>note</th></tr>%s</table><p>VCI below %g counts as poor; "
            "history years: %s.</p>" % (lines, doc["threshold"],
                                        ", ".join(map(str, doc["history_years"])) or "none"))


def charts(paths, series, page_dir):
    """The time-series charts and a link to the series, relative to the page."""
    series = html.escape(os.path.relpath(series, page_dir))
    return ("<h2>Indicators across periods and years</h2><p>The latest year against the range "
            'of the other years; the whole series: <a href="%s">%s</a>.</p><div class=charts>%s'
            "</div>" % (series, series, "".join('<img src="%s" alt="%s chart">' % (
                html.escape(os.path.relpath(p, page_dir)), html.escape(name))
                for name, p in paths)))


def story_html(story):
    """The configuration's story, paragraphs split by blank lines."""
    return "".join("<p class=story>%s</p>" % html.escape(part.strip())
                   for part in str(story or "").split("\n\n") if part.strip())


SCREENED_LINE = re.compile(r"^screened (\d+) of (\d+) cells with NDVI \(([\d.]+) %\)")


def screening_rows(plan):
    """[(day, screened cells, cells with NDVI, percent)] from the cloud screening logs of the days
    the run uses; a day without a readable summary shows None."""
    rows = []
    for day in plan.used_days():
        found = None
        try:
            with open(plan.path("logs", "cloudscreen", day + ".log"), errors="replace") as log:
                for line in log:
                    match = SCREENED_LINE.match(line)
                    if match:
                        found = (int(match.group(1)), int(match.group(2)), float(match.group(3)))
        except OSError:
            pass
        rows.append((day,) + (found or (None, None, None)))
    return rows


def screening_html(plan, page_dir):
    """The section on cloud screening: the rule, each day's screened share and, for the latest
    period, the VCI made without screening beside the screened one."""
    cells = "".join(
        "<tr><td>%s</td><td class=num>%s</td><td class=num>%s</td><td class=num>%s</td></tr>"
        % (day, "-" if n is None else n, "-" if m is None else m,
           "-" if p is None else "%.1f" % p) for day, n, m, p in screening_rows(plan))
    text = ("<h2>Cloud screening</h2><p>Every daily grid was screened with the day's 1 km state "
            "tiles by cloudscreen's rule <b>%s</b> before compositing: cells under cloud, shadow "
            "or without a state have no value.</p><table class=steps><tr><th>day</th>"
            "<th>screened cells</th><th>cells with NDVI</th><th>screened %%</th></tr>%s</table>"
            % (html.escape(plan.cloud_screen), cells))
    latest = plan.latest()
    if latest:
        period, year = latest
        image = html.escape(os.path.relpath(plan.unscreened("vci", year, period, "png"),
                                            page_dir))
        text += ("<p>The latest period's VCI without screening (left) and with it (right):</p>"
                 '<div class=pair><div class=panel><figure><a href="%s"><img src="%s" alt="VCI '
                 'without screening"></a><figcaption>VCI without screening</figcaption></figure>'
                 '</div>%s</div>' % (image, image, panel(plan, "vci", year, period, page_dir)))
    return text


def page_html(plan, story=None):
    page_dir = os.path.dirname(plan.page()) or "."
    parts = [page_head("Vegetation condition", plan),
             story_html(story),
             "<p>Periods of %d days, each covering %d days; extremes over %d-%d.</p>"
             % (plan.length, plan.actual, plan.first_year, plan.last_year),
             legends(plan, page_dir)]
    latest = plan.latest()
    facts = latest and grid_facts(plan.geotiff("vci", latest[1], latest[0]))
    if facts:
        parts.append(grid_text(facts))
    if plan.composites:
        parts.append(charts([(i, plan.chart(i)) for i in plan.charted()],
                            plan.timeseries("csv"), page_dir))
    for period, year, first, last in latest_first(plan, plan.composites):
        doc, problem = load_indicators(plan.indicators(year, period))
        parts.append("%s<div class=pair>%s%s</div>" % (
            period_heading(period, year, first, last),
            "".join(panel(plan, kind, year, period, page_dir) for kind in KINDS),
            problem or indicator_table(doc)))
    if getattr(plan, "cloud_screen", None):
        parts.append(screening_html(plan, page_dir))
    parts.append("<h2>Step times</h2><p>Wall time of every step of the run, from the step logs "
                 "(a step rerun later counts with its latest time).</p>%s"
                 % step_table(step_times(plan.path("logs"))))
    parts.append("</body></html>\n")
    return "".join(parts)


def write_page(plan, story=None):
    outputs.write_text(plan.page(), page_html(plan, story))


def latest_table(plan, kind):
    """Heading and histogram table of the report of the run's latest period."""
    period, year, first, last = plan.latest_period()
    report = plan.report(kind, year, period, "json")
    return "%s histogram of period %02d of %d (%s to %s), from %s:\n%s" % (
        kind.upper(), period, year, date_text(first), date_text(last), report,
        text_table(load_report(report)))


def mean_text(mean):
    return "" if mean is None else "%.3f" % mean


def region_table(plan, kind, year, period, page_dir):
    """The period's regions with their counted acres and mean, and the national line."""
    path = plan.national_report(kind, year, period, "json")
    try:
        with open(path) as handle:
            doc = json.load(handle)
    except (OSError, ValueError) as err:
        return "<p>report unavailable: %s</p>" % html.escape(str(err))
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


def national_page_html(plan):
    """The national page of a regions.NationalPlan."""
    page_dir = os.path.dirname(plan.page()) or "."
    no_tiles = [r.id for r in plan.regions if r.plan is None]
    parts = [page_head("National vegetation condition", plan), story_html(plan.config.get("story"))]
    parts.append("<p>%d regions; periods of %d days, each covering %d days; extremes over %d-%d. "
                 "Each region's own page is linked from the tables.</p>"
                 % (len(plan.regions), plan.length, plan.actual, plan.first_year, plan.last_year))
    if no_tiles:
        parts.append("<p>No tile overlaps the region(s) %s.</p>" % html.escape(", ".join(no_tiles)))
    parts.append(legends(plan, page_dir))
    if plan.national_composites:
        parts.append(charts([(i, plan.national_chart(i)) for i in plan.charted()],
                            plan.national_timeseries("csv"), page_dir))
    for period, year, first, last in latest_first(plan, plan.national_composites):
        panels = []
        for kind in KINDS:
            image = os.path.relpath(plan.national_quicklook(kind, year, period), page_dir)
            panels.append('<div><figure><img src="%s" alt="national %s mosaic"><figcaption>%s, '
                          'national mosaic</figcaption></figure>%s</div>'
                          % (html.escape(image), kind.upper(), kind.upper(),
                             region_table(plan, kind, year, period, page_dir)))
        parts.append("%s<div class=pair>%s</div>%s" % (
            period_heading(period, year, first, last), "".join(panels),
            national_indicator_html(plan, year, period)))
    parts.append("</body></html>\n")
    return "".join(parts)


# Columns of the national indicator tables: (indicator, heading).
NATIONAL_COLUMNS = (("vci_mean", "mean VCI"), ("vci_poor_share", "VCI poor %"),
                    ("crop_vci_poor_share", "crop VCI poor %"),
                    ("ndvi_anomaly_percent", "NDVI anomaly %"))


def national_lines(doc):
    """(region, name, [value texts], cells, coverage text, note) of each line of a national
    indicator table, the national line last; crop columns only when the table has them."""
    names = [n for n, _ in NATIONAL_COLUMNS if any(
        r["indicator"] == n for r in doc["national"]["rows"])]
    lines = []
    for line in doc["regions"] + [doc["national"]]:
        by_name = {r["indicator"]: r for r in line["rows"]}
        values = [indicators.value_text(n, by_name[n]["value"]) if n in by_name else ""
                  for n in names]
        vci = by_name.get("vci_mean", {"cells": 0, "coverage": 0.0})
        notes = [line.get("note", "")] + [r["note"] for r in line["rows"] if r["note"]]
        lines.append((line["region"], line["name"], values, vci["cells"],
                      "%.2f" % vci["coverage"], "; ".join(dict.fromkeys(n for n in notes if n))))
    return [h for n, h in NATIONAL_COLUMNS if n in names], lines


def national_indicator_html(plan, year, period):
    path = plan.national_indicators(year, period, "json")
    try:
        with open(path) as handle:
            doc = json.load(handle)
    except (OSError, ValueError) as err:
        return "<p>indicators unavailable: %s</p>" % html.escape(str(err))
    headings, lines = national_lines(doc)
    body = "".join(
        "<tr%s><td>%s</td><td>%s</td>%s<td class=num>%d</td><td class=num>%s</td><td>%s</td></tr>"
        % (" class=total" if rid == "national" else "", html.escape(rid), html.escape(name),
           "".join("<td class=num>%s</td>" % v for v in values), cells, coverage,
           html.escape(note)) for rid, name, values, cells, coverage, note in lines)
    return ("<h3>Indicators by region</h3><table class=indicators><tr><th>region</th><th>name</th>"
            "%s<th>cells</th><th>coverage %%</th><th>note</th></tr>%s</table><p>VCI below %g "
            "counts as poor; cells are those with a VCI, coverage their share of the region.</p>"
            % ("".join("<th>%s</th>" % h for h in headings), body, doc["national"]["threshold"]))


def national_indicator_text(plan):
    """The national indicator table of the latest period as aligned text."""
    period, year, first, last = plan.latest_period()
    path = plan.national_indicators(year, period, "json")
    with open(path) as handle:
        doc = json.load(handle)
    headings, lines = national_lines(doc)
    header = ["region"] + headings + ["cells", "coverage %", "note"]
    rows = [[rid] + values + [str(cells), coverage, note]
            for rid, _, values, cells, coverage, note in lines]
    widths = [max(len(r[i]) for r in [header] + rows) for i in range(len(header))]
    text = ["Indicators by region, period %02d of %d (%s to %s), from %s:" % (
        period, year, date_text(first), date_text(last), path)]
    for i, row in enumerate([header] + rows):
        text.append("  ".join([row[0].ljust(widths[0])] +
                              [c.rjust(w) for c, w in zip(row[1:-1], widths[1:-1])] +
                              [row[-1]]).rstrip())
        if i == 0:
            text.append("  ".join("-" * w for w in widths))
    return "\n".join(text) + "\n"


def write_national_page(plan):
    outputs.write_text(plan.page(), national_page_html(plan))


def national_table(plan, kind):
    """The national report of the latest period as aligned text: region, acres, mean, note."""
    period, year, first, last = plan.latest_period()
    path = plan.national_report(kind, year, period, "json")
    with open(path) as handle:
        doc = json.load(handle)
    lines = [(r["region"], "%.1f" % r["acreage"], mean_text(r["mean"]), r["note"])
             for r in doc["regions"]]
    lines.append(("national", "%.1f" % doc["national"]["acreage"],
                  mean_text(doc["national"]["mean"]), ""))
    header = ("region", "acres", "mean", "note")
    widths = [max(len(line[i]) for line in [header] + lines) for i in range(4)]
    text = ["%s by region, period %02d of %d (%s to %s), from %s:" % (
        kind.upper(), period, year, date_text(first), date_text(last), path)]
    for i, line in enumerate([header] + lines):
        text.append("  ".join([line[0].ljust(widths[0]), line[1].rjust(widths[1]),
                               line[2].rjust(widths[2]), line[3]]).rstrip())
        if i == 0:
            text.append("  ".join("-" * w for w in widths))
    return "\n".join(text) + "\n"
