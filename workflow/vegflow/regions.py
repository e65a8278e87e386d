"""Plan of a national run: the regions, the tiles each one needs, and the national products.

A national grid cannot be one run of the chain: an HDF4 file stops at 2 GiB, `daymosaic` takes at
most 32 tiles and every step holds its whole grid in memory. The configuration key `regions` cuts
the country into regions (a vector layer with an id field, or a list of area rasters on the tiles'
grid); each region runs the whole chain under <out>/<region>/ with the usual file names, on the
tiles that overlap it, and the national products (mosaics of the regions' 8-bit copies, a report
with one row per region and the national totals, the page) go under <out>/national/ and
<out>/index.html.

The plan is made when the workflow starts: a region that would pass one of the walls is refused
then, by name, before any step runs. GDAL's Python bindings are imported only for a national run.
"""

import math
import os
import re

from vegflow import products, rasters, sources
from vegflow.plan import MAX_TILES_PER_DAY, Plan, PlanError, discover_days, tile_key, whole_number

# Keys of the configuration that describe the regions; a region's own run does not see them.
REGION_KEYS = ("regions", "region_field", "region_layer", "region_memory_bytes")
REGION_ID = re.compile(r"^[A-Za-z0-9][A-Za-z0-9_-]*$")
# Folders of the output that a region's folder must not take the name of.
RESERVED_IDS = {"national", "regions", "mask", "daily", "lists", "composite", "extremes", "vci",
                "geotiff", "quicklooks", "reports", "logs", "cog"}

# An HDF4 file cannot pass 2 GiB. The largest file of the chain is the daily grid: the eight tile
# fields, the 16-bit and the 8-bit NDVI hold 14 bytes per cell, counted as if nothing compressed
# (noisy data barely does), plus room for the file's own structures.
FILE_LIMIT_BYTES = 2 ** 31
DAILY_BYTES_PER_CELL = 14
FILE_OVERHEAD_BYTES = 16 * 2 ** 20
# The step that holds the most per cell is `daymosaic`: the mask, the eight tile fields and both
# NDVI forms, 15 bytes per cell of the region's grid.
STEP_BYTES_PER_CELL = 15
# The variable that the programs' own memory check reads instead of MemAvailable.
MEMORY_VARIABLE = "VEG_MEMAVAILABLE_BYTES"

# Cells along each side of a region's grid are counted on the tiles' cell edges; coordinates within
# this share of a cell of an edge count as on it.
EDGE_TOLERANCE = 1e-6


def available_memory(config):
    """Bytes one step may hold: the configuration's `region_memory_bytes` (the memory of a cluster
    node, which the planning machine cannot know), else the programs' own override variable, else
    MemAvailable of this machine; None when none of them is known."""
    if config.get("region_memory_bytes") is not None:
        return whole_number(config, "region_memory_bytes")
    text = os.environ.get(MEMORY_VARIABLE, "")
    if text.isdigit():
        return int(text)
    try:
        with open("/proc/meminfo") as handle:
            for line in handle:
                fields = line.split()
                if fields[:1] == ["MemAvailable:"] and len(fields) >= 2 and fields[1].isdigit():
                    return int(fields[1]) * 1024
    except OSError:
        pass
    return None


class Grid:
    """The tiles' cell grid: origin, cell size and projection of the reference tile."""

    def __init__(self, geotransform, projection):
        self.x0, self.dx, _, self.y0, _, self.dy = geotransform
        self.projection = projection
        if self.dx <= 0 or self.dy >= 0:
            raise PlanError("the reference tile has no north-up geotransform")

    def snap(self, xmin, ymin, xmax, ymax):
        """(columns, rows, (xmin, ymin, xmax, ymax)) of the smallest block of whole cells that holds
        the box; at least one cell."""
        c0 = math.floor((xmin - self.x0) / self.dx + EDGE_TOLERANCE)
        c1 = max(c0 + 1, math.ceil((xmax - self.x0) / self.dx - EDGE_TOLERANCE))
        r0 = math.floor((self.y0 - ymax) / -self.dy + EDGE_TOLERANCE)
        r1 = max(r0 + 1, math.ceil((self.y0 - ymin) / -self.dy - EDGE_TOLERANCE))
        box = (self.x0 + c0 * self.dx, self.y0 + r1 * self.dy, self.x0 + c1 * self.dx,
               self.y0 + r0 * self.dy)
        return c1 - c0, r1 - r0, box


def raster_box(path):
    """(columns, rows, (xmin, ymin, xmax, ymax)) of a north-up area raster."""
    try:
        return rasters.raster_box(path)
    except RuntimeError as err:
        raise PlanError("cannot open the area raster %s: %s" % (path, err))


def tile_box(path):
    """(xmin, ymin, xmax, ymax) of a reflectance tile."""
    try:
        return rasters.tile_box(path)
    except RuntimeError as err:
        raise PlanError("cannot read the grid of tile %s: %s" % (path, err))


def overlaps(a, b, tolerance):
    """Whether two boxes share more than an edge."""
    return (min(a[2], b[2]) - max(a[0], b[0]) > tolerance and
            min(a[3], b[3]) - max(a[1], b[1]) > tolerance)


def region_id(value, source):
    """A region's folder name: its id with every character other than letters, digits, '_' and '-'
    made '_'."""
    text = re.sub(r"[^A-Za-z0-9_-]", "_", str(value).strip())
    if not REGION_ID.match(text):
        raise PlanError("%s: region id %r gives no usable folder name" % (source, value))
    if text.lower() in RESERVED_IDS:
        raise PlanError("%s: region id %r is the name of an output folder; rename the "
                        "region" % (source, value))
    return text


def projected_features(layer, projection):
    """(feature, geometry) of every feature of an OGR layer that has a geometry, the geometry a copy
    in `projection` (a WKT text)."""
    from osgeo import osr
    target = osr.SpatialReference()
    target.ImportFromWkt(projection)
    target.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    source = layer.GetSpatialRef()
    transform = None
    if source is not None and not source.IsSame(target):
        source = source.Clone()
        source.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        transform = osr.CoordinateTransformation(source, target)
    for feature in layer:
        geometry = feature.GetGeometryRef()
        if geometry is None or geometry.IsEmpty():
            continue
        geometry = geometry.Clone()
        if transform is not None:
            geometry.Transform(transform)
        yield feature, geometry


def read_layer(path, layer_name, field, projection):
    """{id: (name, (xmin, ymin, xmax, ymax))} of a vector layer's regions, their features' extents
    taken in the tiles' projection; a region may have several features."""
    from osgeo import ogr
    ogr.UseExceptions()
    try:
        ds = ogr.Open(path)
    except RuntimeError as err:
        raise PlanError("cannot open the region layer %s: %s" % (path, err))
    layer = ds.GetLayerByName(str(layer_name)) if layer_name else ds.GetLayer(0)
    if layer is None:
        raise PlanError("%s has no layer %s" % (path, layer_name))
    if layer.GetLayerDefn().GetFieldIndex(field) < 0:
        raise PlanError("the region layer %s has no field %r" % (path, field))
    regions = {}
    for feature, geometry in projected_features(layer, projection):
        xmin, xmax, ymin, ymax = geometry.GetEnvelope()
        name = feature.GetField(field)
        if name is None:
            raise PlanError("%s: feature %d has no %s" % (path, feature.GetFID(), field))
        rid = region_id(name, path)
        if rid in regions:
            if regions[rid][0] != str(name):
                raise PlanError("%s: regions %r and %r share the folder name %s"
                                % (path, regions[rid][0], str(name), rid))
            box = regions[rid][1]
            xmin, ymin = min(xmin, box[0]), min(ymin, box[1])
            xmax, ymax = max(xmax, box[2]), max(ymax, box[3])
        regions[rid] = (str(name), (xmin, ymin, xmax, ymax))
    if not regions:
        raise PlanError("the region layer %s holds no region" % path)
    return regions


class Region:
    """One region of the layout: its id (folder name), the name it has in the layer, its grid, the
    tiles that overlap it, and its own run's configuration and plan (None when no tile overlaps
    it)."""

    def __init__(self, rid, name, columns, rows, box, area):
        self.id, self.name, self.columns, self.rows, self.box, self.area = (
            rid, name, columns, rows, box, area)
        self.tile_keys = []
        self.config = None
        self.plan = None

    @property
    def cells(self):
        return self.columns * self.rows

    @property
    def module(self):
        """Name of the region's copy of the chain's rules."""
        return "region_" + self.id.replace("-", "_")


def check_walls(region, memory):
    """Refuse a region that one run of the chain cannot carry, saying which wall and what to do."""
    split = "split it into smaller regions"
    if len(region.tile_keys) > MAX_TILES_PER_DAY:
        raise PlanError(
            "region %s overlaps %d tiles; daymosaic takes at most %d: %s"
            % (region.id, len(region.tile_keys), MAX_TILES_PER_DAY, split))
    file_bytes = region.cells * DAILY_BYTES_PER_CELL + FILE_OVERHEAD_BYTES
    if file_bytes > FILE_LIMIT_BYTES:
        raise PlanError(
            "region %s (%d x %d cells) would make daily grids of about %d bytes, beyond the 2 GiB "
            "limit of an HDF4 file: %s"
            % (region.id, region.columns, region.rows, file_bytes, split))
    step_bytes = region.cells * STEP_BYTES_PER_CELL
    if memory is not None and step_bytes > memory:
        raise PlanError(
            "region %s (%d x %d cells) needs about %d bytes of memory in one step; %d are "
            "available: %s" % (region.id, region.columns, region.rows, step_bytes, memory, split))


class NationalPlan(Plan):
    """The plan of a run with `regions`. As a Plan it has no composites of its own (the
    chain's rules of the top level stay idle); its regions' plans and the national products are
    what it makes."""

    def __init__(self, config):
        if config.get("aoi") is not None:
            raise PlanError("the configuration gives both aoi and regions; give one")
        base = {k: v for k, v in config.items() if k not in REGION_KEYS}
        base["aoi"] = ""
        base["tile_keys"] = []
        super().__init__(base)
        self.config = config
        self.layer = None
        self.layer_name = config.get("region_layer")
        self.field = config.get("region_field")
        grid = self.reference_grid()
        self.cell_acres = grid.dx * -grid.dy * products.ACRES_PER_SQUARE_METRE
        self.regions = self.read_regions(config.get("regions"), grid)
        footprints = {}
        if self.source is not None:
            # Before the fetch: the tiles of the sinusoidal grid that the regions reach into.
            for region in self.regions:
                footprints.update((k, sources.tile_box(k))
                                  for k in sources.tiles_meeting(region.box))
        else:
            for tiles in discover_days(self.tiles).values():
                for tile in tiles:
                    key = tile_key(tile)
                    if key not in footprints:
                        footprints[key] = tile_box(tile)
        # A region's own run has no source: it takes its days once the national fetch is done.
        region_base = {k: v for k, v in base.items() if k != "source"}
        if self.source is not None:
            region_base["fetch_stamp"] = self.fetch_stamp()
        memory = available_memory(config)
        for region in self.regions:
            tolerance = abs(grid.dx) * 0.5
            region.tile_keys = sorted(k for k, box in footprints.items()
                                      if overlaps(region.box, box, tolerance))
            check_walls(region, memory)
            if not region.tile_keys:
                continue
            region.config = dict(region_base, aoi=region.area, out=self.path(region.id),
                                 tile_keys=region.tile_keys, region_id=region.id,
                                 region_name=region.name)
            region.plan = Plan(region.config)

    @property
    def national_composites(self):
        """(period, year) of every composite of some region, by year and period."""
        return sorted({c for r in self.regions if r.plan for c in r.plan.composites},
                      key=lambda py: (py[1], py[0]))

    def reference_grid(self):
        try:
            g, _, _, projection = rasters.tile_grid(self.reference)
        except RuntimeError as err:
            raise PlanError("cannot read the grid of the reference tile %s: %s"
                            % (self.reference, err))
        return Grid(g, projection)

    def read_regions(self, setting, grid):
        regions = []
        if isinstance(setting, str):
            if not self.field:
                raise PlanError("regions %s is a vector layer: name its id field with "
                                "region_field" % setting)
            self.layer = setting
            found = read_layer(setting, self.layer_name, str(self.field), grid.projection)
            for rid in sorted(found):
                name, (xmin, ymin, xmax, ymax) = found[rid]
                columns, rows, box = grid.snap(xmin, ymin, xmax, ymax)
                regions.append(Region(rid, name, columns, rows, box, self.region_area(rid)))
        elif isinstance(setting, (list, dict)) and setting:
            # Area rasters, already on the tiles' grid: a list (ids from the file names) or a
            # mapping id -> raster.
            pairs = setting.items() if isinstance(setting, dict) else [
                (os.path.splitext(os.path.basename(str(p)))[0], p) for p in setting]
            for name, path in pairs:
                rid = region_id(name, "regions")
                if any(r.id == rid for r in regions):
                    raise PlanError("regions: two regions share the id %s" % rid)
                columns, rows, box = raster_box(str(path))
                regions.append(Region(rid, str(name), columns, rows, box, str(path)))
        else:
            raise PlanError("regions must be a vector layer or a list of area rasters, "
                            "not %r" % (setting,))
        return regions

    def region(self, rid):
        for region in self.regions:
            if region.id == rid:
                return region
        raise KeyError(rid)

    def active_regions(self, year=None, period=None):
        """Regions whose run makes a composite of the period and year (every region with tiles
        when none is given), in id order."""
        return [r for r in self.regions if r.plan and
                (year is None or (period, year) in r.plan.composites)]

    # File names of the national products.
    def regions_layer(self):
        return self.path("regions", "regions.gpkg")

    def region_area(self, rid):
        return self.path("regions", "%s.tif" % rid)

    def national(self, kind, year, period):
        return self.path("national", str(year), "%s_%s.tif" % (kind, self.tag(year, period)))

    def national_quicklook(self, kind, year, period):
        return self.path("national", "quicklooks", str(year),
                         "%s_%s.png" % (kind, self.tag(year, period)))

    def national_report(self, kind, year, period, ext):
        return self.path("national", "reports", str(year),
                         "%s_%s.%s" % (kind, self.tag(year, period), ext))

    def national_indicators(self, year, period, ext):
        return self.path("national", "indicators", str(year),
                         "indicators_%s.%s" % (self.tag(year, period), ext))

    def national_timeseries(self, ext):
        return self.path("national", "indicators", "timeseries.%s" % ext)

    def national_chart(self, indicator):
        return self.path("national", "indicators", "charts", "%s.png" % indicator)

    def region_indicators(self, year, period):
        return [r.plan.indicators(year, period) for r in self.active_regions(year, period)]

    def region_copies(self, kind, year, period):
        """The regions' 8-bit copies that the national mosaic joins."""
        return [r.plan.geotiff(kind, year, period) for r in self.active_regions(year, period)]

    def region_reports(self, kind, year, period):
        return [(r, r.plan.report(kind, year, period, "json"))
                for r in self.active_regions(year, period)]

    def latest(self):
        return self.latest_of(self.national_composites)

    def products(self):
        files = [self.page(), self.legend("ndvi"), self.legend("vci")]
        for region in self.active_regions():
            files += region.plan.products()
        if self.national_composites:
            files += [self.national_timeseries("csv"), self.national_timeseries("json")]
            files += [self.national_chart(i) for i in self.charted()]
        for p, y in self.national_composites:
            files += [self.national_indicators(y, p, "csv"), self.national_indicators(y, p, "json")]
            for kind in products.KINDS:
                files += [self.national(kind, y, p), self.national_quicklook(kind, y, p),
                          self.national_report(kind, y, p, "csv"),
                          self.national_report(kind, y, p, "json")]
        return files


def plan(config):
    """The plan of a configuration: national with `regions`, else the one area's."""
    if config.get("regions") is not None:
        return NationalPlan(config)
    return Plan(config)
