"""Plan of the main chain: periods, file names and the days that feed each composite.

Standard library only. Every name built here follows the patterns the programs themselves use, so
that `periodextremes` finds the composites that `peakcomposite` wrote and `periodlist` writes the
list file the workflow expects; the workflow's contract test asks the built period programs for the
same tags and names.
"""

import datetime
import os
import re

from vegflow import outputs, sources
from vegflow.products import ANOMALY_MIN_YEARS, CHARTED, KINDS, POOR_VCI_THRESHOLD

DAY_FOLDER = re.compile(r"^(\d{4})\.(\d{2})\.(\d{2})$")
TILE_INDEX = re.compile(r"h\d\dv\d\d")
# The day's 1 km state tiles, which lie in the day folders beside the reflectance tiles.
STATE_TILE = re.compile(r"^M[OY]D09GA[._]", re.I)
CLOUD_SCREEN_RULES = ("standard", "strict")

# Paths end up in list files read token by token into 256-character slots.
MAX_LIST_PATH = 255
# `daymosaic` takes at most this many tiles per day.
MAX_TILES_PER_DAY = 32


class PlanError(Exception):
    """A configuration or input layout that the chain cannot run on; the text names the culprit."""


def date_text(day):
    """The system's date text "yyyy.mm.dd" of a datetime.date."""
    return "%04d.%02d.%02d" % (day.year, day.month, day.day)


def period_dates(year, period, length, actual):
    """First and last day of period `period` of `year`: it starts length*(period-1) days after
    1 January and covers `actual` days, running into the next year when it must."""
    first = datetime.date(year, 1, 1) + datetime.timedelta(days=length * (period - 1))
    last = first + datetime.timedelta(days=actual - 1)
    return first, last


def period_tag(year, period, length, actual):
    """The period tag "%02i_<first date>_<last date>", e.g. 01_2019.01.01_2019.01.07."""
    first, last = period_dates(year, period, length, actual)
    return "%02d_%d.%02d.%02d_%d.%02d.%02d" % (
        period, first.year, first.month, first.day, last.year, last.month, last.day)


def period_days(year, period, length, actual):
    first, last = period_dates(year, period, length, actual)
    return [first + datetime.timedelta(days=i) for i in range((last - first).days + 1)]


def tile_key(path):
    """What names one tile of the grid across days: its "hXXvYY" index when the file name carries
    one, else the file name without its extension."""
    name = os.path.basename(path)
    match = TILE_INDEX.search(name)
    return match.group(0) if match else os.path.splitext(name)[0]


def discover_days(tiles_dir, keys=None):
    """Map of date text -> sorted tile paths, one entry per day folder "yyyy.mm.dd" under tiles_dir
    that holds at least one .hdf file (only tiles whose tile_key is in `keys`, when given). Other
    folders and files are ignored."""
    if not os.path.isdir(tiles_dir):
        raise PlanError("tile folder %s does not exist" % tiles_dir)
    days = {}
    for name in sorted(os.listdir(tiles_dir)):
        match = DAY_FOLDER.match(name)
        folder = os.path.join(tiles_dir, name)
        if not match or not os.path.isdir(folder):
            continue
        try:
            datetime.date(int(match.group(1)), int(match.group(2)), int(match.group(3)))
        except ValueError:
            continue
        tiles = sorted(os.path.join(folder, f) for f in os.listdir(folder)
                       if f.lower().endswith(".hdf") and os.path.isfile(os.path.join(folder, f))
                       and (keys is None or tile_key(f) in keys) and not STATE_TILE.match(f))
        if tiles:
            days[name] = tiles
    return days


def state_tiles(tiles_dir, days, keys=None):
    """Map of date text -> sorted paths of the day's 1 km state tiles (names starting with
    MOD09GA or MYD09GA), for the days given."""
    found = {}
    for day in days:
        folder = os.path.join(tiles_dir, day)
        found[day] = sorted(os.path.join(folder, f) for f in os.listdir(folder)
                            if STATE_TILE.match(f) and f.lower().endswith(".hdf")
                            and (keys is None or tile_key(f) in keys))
    return found


def cloud_screen_rule(config):
    """The cloud screening rule of the run, or None when `cloud_screen` is off or absent."""
    value = config.get("cloud_screen", "off")
    if value in (None, False, "off"):
        return None
    if value not in CLOUD_SCREEN_RULES:
        raise PlanError("cloud_screen must be off or one of %s, not %r"
                        % (", ".join(CLOUD_SCREEN_RULES), value))
    return value


def whole_number(config, key, default=None):
    """An integer configuration value; PlanError names the key when it is not one."""
    value = config.get(key, default)
    try:
        if isinstance(value, bool) or float(value) != int(value):
            raise ValueError
        return int(value)
    except (TypeError, ValueError):
        raise PlanError("%s must be a whole number, not %r" % (key, value))


def check_list_path(path, what):
    """Refuse a path that a list file cannot carry (white space, or longer than a list slot)."""
    if any(ch.isspace() for ch in path):
        raise PlanError("%s %s contains white space, which list files cannot carry" % (what, path))
    if len(path) > MAX_LIST_PATH:
        raise PlanError("%s %s is longer than %d characters" % (what, path, MAX_LIST_PATH))


class Plan:
    """What the chain produces for one configuration, and the names of every file."""

    def __init__(self, config):
        missing = [k for k in ("tiles", "aoi", "reference", "first_year", "last_year")
                   if k not in config]
        if missing:
            raise PlanError("configuration lacks the key '%s'" % missing[0])
        self.tiles = str(config["tiles"])
        self.aoi = str(config["aoi"])
        self.reference = str(config["reference"])
        self.out = str(config.get("out", "results")).rstrip("/") or "."
        self.period_name = str(config.get("period_name", "week"))
        self.first_year = whole_number(config, "first_year")
        self.last_year = whole_number(config, "last_year")
        self.length = whole_number(config, "period_length", 7)
        self.actual = whole_number(config, "actual_length", self.length)
        if not 1 <= self.first_year <= 9000 or not 1 <= self.last_year <= 9000:
            raise PlanError("years must lie between 1 and 9000")
        if self.first_year > self.last_year:
            raise PlanError("first_year %d is after last_year %d"
                            % (self.first_year, self.last_year))
        if self.length < 1 or self.actual < 1:
            raise PlanError("period_length and actual_length must be at least 1 day")
        if not re.match(r"^[A-Za-z0-9-]+$", self.period_name):
            raise PlanError("period_name %r must be letters, digits or '-'" % self.period_name)
        for what, path in (("output folder", self.out), ("tile folder", self.tiles)):
            check_list_path(path, what)
        # The indicators: the region this run covers (a national run names its regions), the poor
        # condition threshold, the history an anomaly needs and the crop mask.
        self.region_id = str(config.get("region_id", "area"))
        self.region_name = str(config.get("region_name", "area of interest"))
        try:
            self.threshold = float(config.get("poor_vci_threshold", POOR_VCI_THRESHOLD))
        except (TypeError, ValueError):
            raise PlanError("poor_vci_threshold must be a number, not %r"
                            % (config.get("poor_vci_threshold"),))
        if not 0 < self.threshold <= 1:
            raise PlanError("poor_vci_threshold must lie above 0 and at most 1, not %g"
                            % self.threshold)
        self.min_years = whole_number(config, "anomaly_min_years", ANOMALY_MIN_YEARS)
        if self.min_years < 1:
            raise PlanError("anomaly_min_years must be at least 1")
        self.crop_mask = str(config["crop_mask"]) if config.get("crop_mask") else None
        # Daily grids are listed for the compositor, so their names must fit a list slot too.
        check_list_path(self.daily("2000.01.01"), "daily grid name")

        # A region of a national run takes only the tiles that overlap it.
        keys = config.get("tile_keys")
        self.keys = None if keys is None else set(keys)
        try:
            self.source = sources.read(config)
        except sources.SourceError as err:
            raise PlanError(str(err))
        if self.source is not None and config.get("periods") is None:
            raise PlanError("source: name the periods to fetch and make with the key periods")

        # With cloud screening, each day's screened grid feeds the composites.
        self.cloud_screen = cloud_screen_rule(config)
        self._state_tiles = {}

        wanted = config.get("periods")
        if wanted is None:
            candidates = range(1, 366 // self.length + 2)
        else:
            try:
                candidates = sorted({int(p) for p in (
                    wanted if isinstance(wanted, list) else str(wanted).split())})
            except (TypeError, ValueError):
                raise PlanError("periods must be whole numbers, not %r" % (wanted,))
            if any(not 1 <= p <= 100000 // self.length for p in candidates):
                raise PlanError("period numbers run from 1 to %d" % (100000 // self.length))
        self.candidates = candidates
        # With a source (or as a region of a national run with one: `fetch_stamp`), every day of
        # the periods is planned until the fetch's stamp is there; then the days that arrived.
        self.stamp = self.fetch_stamp() if self.source is not None else config.get("fetch_stamp")
        if self.stamp is None or os.path.isfile(self.stamp):
            self.refresh()
        else:
            self._days = {date_text(d): [] for d in self.source_days()}
            self.plan_composites()

    @property
    def days(self):
        """Date text -> sorted tile paths of each day with tiles (taken anew, once, when the
        fetch's stamp appears)."""
        if self.stamp is not None and os.path.isfile(self.stamp):
            self.refresh()
        return self._days

    @property
    def composites(self):
        """(period, year) of every composite, for the days as they are now."""
        self.days  # taken anew when the fetch's stamp has appeared
        return self._composites

    @property
    def periods(self):
        self.days
        return self._periods

    def refresh(self):
        """Takes the days from the tiles folder (with a source, once the fetch has brought them)
        and plans the composites they make."""
        self.stamp = None
        self._days = discover_days(self.tiles, self.keys)
        for day, tiles in self._days.items():
            if len(tiles) > MAX_TILES_PER_DAY:
                raise PlanError("day folder %s holds %d tiles; at most %d fit one daily mosaic"
                                % (os.path.join(self.tiles, day), len(tiles), MAX_TILES_PER_DAY))
            for tile in tiles:
                check_list_path(tile, "tile")
        self._state_tiles = {}
        if self.cloud_screen:
            self._state_tiles = state_tiles(self.tiles, self._days, self.keys)
            for day, tiles in self._state_tiles.items():
                if not tiles:
                    raise PlanError("day folder %s holds no state tile (MOD09GA...hdf), which "
                                    "cloud_screen %s needs" % (os.path.join(self.tiles, day),
                                                               self.cloud_screen))
                for tile in tiles:
                    check_list_path(tile, "state tile")
        self.plan_composites()

    @property
    def state_tiles(self):
        """Date text -> sorted paths of the day's 1 km state tiles (with cloud screening; taken
        with the days)."""
        self.days
        return self._state_tiles

    def plan_composites(self):
        # A composite exists for every period and year with at least one day of tiles.
        self._composites = []
        for p in self.candidates:
            for year in self.years():
                if self.present_days(year, p):
                    self._composites.append((p, year))
        self._periods = sorted({p for p, _ in self._composites})

    def source_days(self):
        """Every day of the requested periods of every year: what a run with a source fetches."""
        return sorted({d for p in self.candidates for y in self.years()
                       for d in period_days(y, p, self.length, self.actual)})

    def fetch_stamp(self):
        """The fetch stage's stamp: written when the tiles of the run's days have arrived."""
        days = self.source_days()
        return self.path("lists", "fetch", "%s_%s_%s.txt" % (
            self.source["product"], date_text(days[0]), date_text(days[-1])))

    def years(self):
        return range(self.first_year, self.last_year + 1)

    def tag(self, year, period):
        return period_tag(year, period, self.length, self.actual)

    def present_days(self, year, period):
        """Date texts of the period's days that have tiles, in date order."""
        return [d for d in map(date_text, period_days(year, period, self.length, self.actual))
                if d in self.days]

    def years_of(self, period):
        return [y for p, y in self.composites if p == period]

    def latest(self):
        """(period, year) of the composite whose period ends last; None for an empty plan."""
        return self.latest_of(self.composites)

    def latest_of(self, composites):
        if not composites:
            return None
        return max(composites,
                   key=lambda py: period_dates(py[1], py[0], self.length, self.actual)[1])

    def latest_period(self):
        """(period, year, first day, last day) of the latest composite; ValueError when the run has
        none."""
        latest = self.latest()
        if latest is None:
            raise ValueError("the run has no period with data")
        period, year = latest
        return (period, year) + period_dates(year, period, self.length, self.actual)

    # File names, all under the output folder.
    def path(self, *parts):
        return os.path.join(self.out, *parts)

    def mask(self):
        return self.path("mask", "aoi_mask.hdf")

    def daily(self, day):
        return self.path("daily", day, "NDVI%s.hdf" % day)

    def screened(self, day):
        return self.path("screened", day, "NDVI%s.hdf" % day)

    def composite_input(self, day):
        """The daily grid that a composite lists: the screened one when the run screens clouds."""
        return self.screened(day) if self.cloud_screen else self.daily(day)

    def unscreened(self, kind, year, period, ext):
        """The latest period's products made without screening, beside the screened run's."""
        name = "%s_%s.%s" % ("vci" if kind == "vci" else "ndvi", self.tag(year, period), ext)
        return self.path("unscreened", str(year), name)

    def period_list(self, year, period):
        return self.path("lists", "periods", str(year),
                         "%s_%s.txt" % (self.period_name, self.tag(year, period)))

    def composite_list(self, year, period):
        return self.path("lists", "composite", str(year), "ndvi_%s.txt" % self.tag(year, period))

    def composite_dir(self):
        return self.path("composite")

    def composite(self, year, period):
        return self.path("composite", str(year), "ndvi_%s.hdf" % self.tag(year, period))

    def extremes(self, period):
        return self.path("extremes", "%d-%d" % (self.first_year, self.last_year),
                         "maxmin_%02d.hdf" % period)

    def vci(self, year, period):
        return self.path("vci", str(year), "vci_%s.hdf" % self.tag(year, period))

    def report(self, kind, year, period, ext):
        return self.path("reports", str(year), "%s_%s.%s" % (kind, self.tag(year, period), ext))

    def quicklook(self, kind, year, period):
        return self.path("quicklooks", str(year), "%s_%s.png" % (kind, self.tag(year, period)))

    def geotiff(self, kind, year, period):
        return self.path("geotiff", str(year), "%s_%s.tif" % (kind, self.tag(year, period)))

    def history_years(self, year, period):
        """The history of a period of `year`: the other years of the span with its composite."""
        return [y for y in self.years_of(period) if y != year]

    def indicators(self, year, period):
        return self.path("indicators", str(year), "indicators_%s.json" % self.tag(year, period))

    def timeseries(self, ext):
        return self.path("indicators", "timeseries.%s" % ext)

    def charted(self):
        """The indicators charted across periods and years (the crop share with a crop mask)."""
        return CHARTED + (("crop_vci_poor_share",) if self.crop_mask else ())

    def chart(self, indicator):
        return self.path("indicators", "charts", "%s.png" % indicator)

    def catalogue(self):
        return self.path("stac", "catalog.json")

    def legend(self, kind):
        return self.path("quicklooks", "legend_%s.svg" % kind)

    def page(self):
        return self.path("index.html")

    def product(self, kind, year, period):
        """The HDF-EOS file holding the 8-bit field of a VCI or NDVI product."""
        return self.vci(year, period) if kind == "vci" else self.composite(year, period)

    def used_days(self):
        """Date texts of every day that feeds some composite of the plan, in date order."""
        return sorted({d for p, y in self.composites for d in self.present_days(y, p)})

    def products(self):
        """Every file the run keeps: the mask, daily grids, lists, composites, extremes, VCI grids,
        GeoTIFFs, reports, quicklooks, indicators, their time series and charts, legends and the
        page (the catalogue, made for the whole run, is asked for beside them). Asking for all of
        them (and not only the last ones) makes a run remake any of them that was removed, with
        what depends on it."""
        files = [self.page(), self.legend("ndvi"), self.legend("vci"), self.mask()]
        files += [self.daily(d) for d in self.used_days()]
        if self.cloud_screen and self.composites:
            files += [self.screened(d) for d in self.used_days()]
            period, year = self.latest()
            files += [self.unscreened("vci", year, period, "png")]
        files += [self.extremes(p) for p in self.periods]
        if self.composites:
            files += [self.timeseries("csv"), self.timeseries("json")]
            files += [self.chart(i) for i in self.charted()]
        for p, y in self.composites:
            files += [self.period_list(y, p), self.composite_list(y, p), self.composite(y, p),
                      self.vci(y, p), self.indicators(y, p)]
            for kind in KINDS:
                files += [self.report(kind, y, p, "csv"), self.report(kind, y, p, "json"),
                          self.quicklook(kind, y, p), self.geotiff(kind, y, p)]
        return files


def write_composite_list(period_list, dailies, out):
    """Write the composite's input list: the daily files of the dates that `periodlist` wrote, in
    its order, for the days that have a daily file. Every daily file given must belong to a listed
    date."""
    by_date = {}
    for path in dailies:
        match = re.search(r"NDVI(\d{4}\.\d{2}\.\d{2})\.hdf$", path)
        if not match:
            raise PlanError("%s is not a daily NDVI file name" % path)
        by_date[match.group(1)] = path
    with open(period_list) as handle:
        dates = handle.read().split()
    unknown = sorted(set(by_date) - set(dates))
    if unknown:
        raise PlanError("%s does not list the day(s) %s" % (period_list, " ".join(unknown)))
    lines = [by_date[d] for d in dates if d in by_date]
    if not lines:
        raise PlanError("no daily NDVI file for any day of %s" % period_list)
    outputs.write_text(out, "".join(line + "\n" for line in lines))
