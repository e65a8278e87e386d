#!/usr/bin/env python3
"""The run's HTML page and text tables of the statistics reports.

The page shows the run's story when its configuration has one, the grid's cell size and the area
covered, then for every period and year of the run (latest first) the NDVI and VCI quicklooks each
beside its histogram table, read from the JSON reports that `tallyband` wrote, and last the time each
program took, summed from the step logs. All links are relative to the page, so the output folder can
be moved or copied as a whole.

Usage:
  page.py html  --config JSON            write the page of the run described by the configuration
  page.py table --report REPORT.json     print a report's histogram as a text table
  page.py latest --kind vci|ndvi --config JSON   print the histogram of the run's latest period
"""

import argparse
import html
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chainplan  # noqa: E402

STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h2 { border-bottom: 1px solid #aaa; padding-bottom: 0.2em; margin-top: 1.6em; }
.pair { display: flex; flex-wrap: wrap; gap: 1.5em; align-items: flex-start; }
.panel { display: flex; gap: 1em; align-items: flex-start; }
.panel figure { margin: 0; }
.panel img { max-width: 420px; border: 1px solid #999;
  background: repeating-conic-gradient(#ddd 0% 25%, #fff 0% 50%) 0 0 / 16px 16px; }
table { border-collapse: collapse; font-size: 0.85em; }
td, th { border: 1px solid #bbb; padding: 0.15em 0.5em; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
.legends img { margin-right: 2em; }
.story { max-width: 60em; line-height: 1.4; }
"""

FILL = 255
ACRES_PER_KM2 = 247.105381


def load_report(path):
    """Rows (value, name, acreage, percentage) of a JSON report; raises ValueError when unreadable."""
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
        "<td class=num>%.1f</td></tr>" % (html.escape(p), n, t, m, 100.0 * t / total if total else 0)
        for p, n, t, m in rows)
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


def page_html(plan, story=None):
    page_dir = os.path.dirname(plan.page()) or "."
    parts = ["<!DOCTYPE html><html><head><meta charset=utf-8><title>Vegetation condition %d-%d"
             "</title><style>%s</style></head><body>" % (plan.first_year, plan.last_year, STYLE),
             "<h1>Vegetation condition, %d to %d</h1>" % (plan.first_year, plan.last_year),
             "".join("<p class=story>%s</p>" % html.escape(part.strip())
                     for part in str(story or "").split("\n\n") if part.strip()),
             "<p>Periods of %d days, each covering %d days; extremes over %d-%d.</p>"
             % (plan.length, plan.actual, plan.first_year, plan.last_year),
             '<div class=legends>%s</div>' % "".join(
                 '<img src="%s" alt="%s legend">'
                 % (html.escape(os.path.relpath(plan.legend(k), page_dir)), k.upper())
                 for k in ("ndvi", "vci"))]
    latest = plan.latest()
    facts = latest and grid_facts(plan.geotiff("vci", latest[1], latest[0]))
    if facts:
        parts.append(grid_text(facts))
    order = sorted(plan.composites, key=lambda py: chainplan.period_dates(
        py[1], py[0], plan.length, plan.actual)[0], reverse=True)
    for period, year in order:
        first, last = chainplan.period_dates(year, period, plan.length, plan.actual)
        parts.append("<h2>Period %02d of %d: %s to %s</h2><div class=pair>%s%s</div>" % (
            period, year, chainplan.date_text(first), chainplan.date_text(last),
            panel(plan, "ndvi", year, period, page_dir), panel(plan, "vci", year, period, page_dir)))
    parts.append("<h2>Step times</h2><p>Wall time of every step of the run, from the step logs "
                 "(a step rerun later counts with its latest time).</p>%s"
                 % step_table(step_times(plan.path("logs"))))
    parts.append("</body></html>\n")
    return "".join(parts)


def latest_table(plan, kind):
    """Heading and histogram table of the report of the run's latest period."""
    period, year, first, last = plan.latest_period()
    report = plan.report(kind, year, period, "json")
    return "%s histogram of period %02d of %d (%s to %s), from %s:\n%s" % (
        kind.upper(), period, year, chainplan.date_text(first), chainplan.date_text(last), report,
        text_table(load_report(report)))


def main(argv):
    parser = argparse.ArgumentParser(prog="page.py")
    parser.add_argument("what", choices=["html", "table", "latest"])
    parser.add_argument("--kind", choices=["ndvi", "vci"], default="vci")
    parser.add_argument("--config")
    parser.add_argument("--report")
    args = parser.parse_args(argv)
    try:
        if args.what == "table":
            if not args.report:
                parser.error("table needs --report")
            sys.stdout.write(text_table(load_report(args.report)))
            return 0
        if not args.config:
            parser.error("%s needs --config" % args.what)
        config = json.loads(args.config)
        plan = chainplan.Plan(config)
        if args.what == "latest":
            sys.stdout.write(latest_table(plan, args.kind))
            return 0
        tmp = plan.page() + ".part"
        with open(tmp, "w") as handle:
            handle.write(page_html(plan, config.get("story")))
        os.replace(tmp, plan.page())
    except (OSError, ValueError, chainplan.PlanError) as err:
        sys.stderr.write("page: %s\n" % err)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
