"""GIS-ready copies, quicklook maps and legends of the 8-bit NDVI and VCI fields.

A byte value is coloured by a ramp over the valid range 0..250; the no-data value 254 is grey and
the fill value 255 (outside the area of interest) is left out.

The GIS-ready copy is a Cloud-Optimized GeoTIFF of the product's 8-bit field with the grid's
georeferencing: tiles of 512 x 512, overviews by nearest neighbour (so that no sentinel is mixed
into a value), deflate, the fill value declared as no data, the colour ramp as the band's colour
table and the scale and offset that turn a byte into the product's value. The statistics reports,
the quicklooks and the national mosaics read these copies.

The quicklook is a map a person reads: a title with the product and the period, the field coloured
by the ramp, grid coordinates in km with a latitude/longitude graticule, a scale bar taken from the
geotransform, and a colour bar marked with the report classes.
"""

import math

from vegflow import outputs
from vegflow.products import FILL, NO_DATA, SCALE_OFFSET, VALID_MAX, field_8bit, subdataset

NO_DATA_RGBA = (160, 160, 160, 255)
FILL_RGBA = (0, 0, 0, 0)
COG_BLOCK = 512

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

# Class limits of the statistics reports, in product values.
CLASS_EDGES = {
    "ndvi": [-1.0] + [i / 10.0 for i in range(11)],
    "vci": [i / 10.0 for i in range(11)],
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


def colour_entries(kind):
    """The 256 RGBA entries of the colour table, one per byte value."""
    return [colour(kind, v) for v in range(256)]


def view_size(width, height, largest=1024):
    """Size at which a field is read for its quicklook: shrunk to at most `largest` columns (and
    rows), never enlarged."""
    if width <= 0 or height <= 0:
        raise ValueError("empty field %dx%d" % (width, height))
    factor = max(1.0, max(width, height) / float(largest))
    return max(1, int(round(width / factor))), max(1, int(round(height / factor)))


def nice_length(limit):
    """The largest 1, 2 or 5 times a power of ten that is not above `limit` (> 0)."""
    power = 10.0 ** math.floor(math.log10(limit))
    for step in (5, 2, 1):
        if step * power <= limit:
            return step * power
    return power


def open_raster(path):
    from osgeo import gdal
    gdal.UseExceptions()
    return gdal.Open(path)


def make_cog(kind, product, output):
    """The product's 8-bit field as a Cloud-Optimized GeoTIFF (see the module's description)."""
    from osgeo import gdal
    gdal.UseExceptions()
    source = subdataset(product, field_8bit(kind))
    field = open_raster(source)
    width, height = field.RasterXSize, field.RasterYSize
    field = None
    # GDAL reads a deflated, non-tiled HDF4 field in strips and inflates the field from its start
    # again for every strip; one block of the whole field (as far as the setting's 32-bit
    # integer reaches) inflates it once.
    previous = gdal.GetConfigOption("HDF4_BLOCK_PIXELS")
    block = min(width * height, 2**31 - 1)
    gdal.SetConfigOption("HDF4_BLOCK_PIXELS", str(block))
    # That block must stay in GDAL's cache while the copy is written, or it is inflated again.
    gdal.SetCacheMax(max(gdal.GetCacheMax(), block + 128 * 2**20))
    try:
        field = gdal.Translate("", source, format="VRT")
        band = field.GetRasterBand(1)
        table = gdal.ColorTable()
        for value, rgba in enumerate(colour_entries(kind)):
            table.SetColorEntry(value, rgba)
        band.SetColorTable(table)
        band.SetNoDataValue(FILL)
        scale, offset = SCALE_OFFSET[kind]
        band.SetScale(scale)
        band.SetOffset(offset)
        band.SetDescription("%s (value = byte * %g + %g; %d no data, %d outside the area)"
                            % (LABELS[kind][0], scale, offset, NO_DATA, FILL))
        with outputs.atomic_output(output) as tmp:
            # Closing the copy writes its last directories; GDAL reports a failed write there (a
            # file size limit reached, a full disk) only to its error handler, so every error
            # while the copy is written and closed fails it.
            errors = []
            gdal.PushErrorHandler(lambda level, _, message: errors.append(message)
                                  if level >= gdal.CE_Failure else None)
            try:
                copy = gdal.Translate(tmp, field, format="COG", creationOptions=[
                    "COMPRESS=DEFLATE", "BLOCKSIZE=%d" % COG_BLOCK, "OVERVIEW_RESAMPLING=NEAREST"])
                if copy is None:
                    errors.append("no copy")
                copy = None
            finally:
                gdal.PopErrorHandler()
            if errors:
                raise RuntimeError("GDAL could not write %s: %s" % (output, errors[0]))
        field = None
    finally:
        gdal.SetConfigOption("HDF4_BLOCK_PIXELS", previous)


def graticule(ax, srs, extent):
    """Latitude and longitude lines, labelled in degrees, over a map in projected coordinates."""
    import numpy
    from osgeo import osr
    geographic = srs.CloneGeogCS()
    for ref in (srs, geographic):
        ref.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_degrees = osr.CoordinateTransformation(srs, geographic)
    xs = numpy.linspace(extent[0], extent[1], 41)
    ys = numpy.linspace(extent[2], extent[3], 41)
    grid_x, grid_y = numpy.meshgrid(xs, ys)
    points = to_degrees.TransformPoints(numpy.column_stack([grid_x.ravel(), grid_y.ravel()]))
    lonlat = numpy.array(points, dtype=float)[:, :2].reshape(grid_x.shape + (2,))
    # A point that cannot be transformed has no latitude or longitude.
    lonlat[~numpy.isfinite(lonlat) | (numpy.abs(lonlat) > 180.0)] = numpy.nan
    for index, (plus, minus) in enumerate((("E", "W"), ("N", "S"))):
        degrees = lonlat[..., index]
        if numpy.isnan(degrees).all():
            continue
        low, high = float(numpy.nanmin(degrees)), float(numpy.nanmax(degrees))
        if not high > low:
            continue
        step = nice_length((high - low) / 3.0)
        levels = [step * k for k in range(int(math.ceil(low / step)),
                                          int(math.floor(high / step)) + 1)]
        if not levels:
            continue
        lines = ax.contour(grid_x, grid_y, degrees, levels=levels, colors="#333333",
                           linewidths=0.5, linestyles="dotted")
        ax.clabel(lines, fontsize=7,
                  fmt=lambda v, p=plus, m=minus: "%g°%s" % (abs(v), p if v >= 0 else m))


def scale_bar(ax, extent, metres_per_unit):
    """A bar of a round length near a quarter of the map's width, in its lower left corner."""
    from matplotlib.patches import Rectangle
    width_m = (extent[1] - extent[0]) * metres_per_unit
    length_m = nice_length(width_m / 4.0)
    length = length_m / metres_per_unit
    x0 = extent[0] + 0.04 * (extent[1] - extent[0])
    y0 = extent[2] + 0.05 * (extent[3] - extent[2])
    tall = 0.015 * (extent[3] - extent[2])
    ax.add_patch(Rectangle((x0 - 0.02 * length, y0 - tall), 1.04 * length, 5.2 * tall,
                           facecolor="white", alpha=0.75, edgecolor="none"))
    for k in range(2):
        ax.add_patch(Rectangle((x0 + k * length / 2.0, y0), length / 2.0, tall,
                               facecolor="black" if k == 0 else "white", edgecolor="black",
                               linewidth=0.6))
    text = "%g km" % (length_m / 1000.0) if length_m >= 1000 else "%g m" % length_m
    ax.text(x0 + length / 2.0, y0 + 1.6 * tall, text, ha="center", va="bottom", fontsize=8)


def colour_bar(fig, rect, kind):
    """The ramp over the product's valid values with the class limits of the reports marked, and
    swatches of the two sentinels."""
    import numpy
    from matplotlib.patches import Patch
    scale, offset = SCALE_OFFSET[kind]
    low, high = offset, VALID_MAX * scale + offset
    ramp = numpy.array([colour(kind, v) for v in range(VALID_MAX + 1)], dtype=numpy.uint8)
    cax = fig.add_axes(rect)
    cax.imshow(ramp[numpy.newaxis, :, :], extent=(low, high, 0, 1), aspect="auto",
               interpolation="nearest")
    edges = CLASS_EDGES[kind]
    for edge in edges[1:-1]:
        cax.axvline(edge, color="black", linewidth=0.5)
    cax.set_yticks([])
    cax.set_xticks(edges)
    cax.set_xticklabels(["%g" % e for e in edges], fontsize=8)
    cax.set_xlabel("%s (report classes marked)" % LABELS[kind][0], fontsize=8)
    grey = tuple(c / 255.0 for c in NO_DATA_RGBA)
    fig.legend(handles=[Patch(facecolor=grey, edgecolor="black", label="no data"),
                        Patch(facecolor="white", edgecolor="black", label="outside the area")],
               loc="lower right", bbox_to_anchor=(0.98, rect[1] - 0.01), fontsize=8,
               frameon=False)


def make_image(kind, source, output, title, largest):
    """PNG map of a georeferenced byte raster (see the module's description)."""
    import numpy
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure
    from matplotlib.ticker import FuncFormatter
    from osgeo import gdal, osr

    raster = open_raster(source)
    cols, rows = raster.RasterXSize, raster.RasterYSize
    view_cols, view_rows = view_size(cols, rows, largest)
    values = raster.GetRasterBand(1).ReadAsArray(
        buf_xsize=view_cols, buf_ysize=view_rows, resample_alg=gdal.GRIORA_NearestNeighbour)
    lut = numpy.array(colour_entries(kind), dtype=numpy.uint8)
    lut[FILL] = (255, 255, 255, 0)
    x0, dx, _, y0, _, dy = raster.GetGeoTransform()
    extent = (x0, x0 + cols * dx, y0 + rows * dy, y0)
    srs = None
    if raster.GetProjection():
        srs = osr.SpatialReference(wkt=raster.GetProjection())
    raster = None

    width_in = max(4.0, largest / 100.0)
    map_w = 0.78 * width_in
    map_h = min(max(map_w * abs(rows * dy) / abs(cols * dx), 1.5), 2.5 * map_w)
    top, bottom = 0.75, 1.5  # inches for the title and for the axis labels and colour bar
    height_in = map_h + top + bottom
    fig = Figure(figsize=(width_in, height_in), dpi=100, facecolor="white")
    FigureCanvasAgg(fig)
    ax = fig.add_axes([0.12, bottom / height_in, map_w / width_in, map_h / height_in])
    ax.imshow(lut[values], extent=extent, interpolation="nearest", aspect="equal")
    ax.set_xlim(extent[0], extent[1])
    ax.set_ylim(extent[2], extent[3])
    metres = None
    if srs is not None and srs.IsProjected():
        metres = srs.GetLinearUnits()
        in_km = FuncFormatter(lambda v, _: "%g" % (v * metres / 1000.0))
        ax.xaxis.set_major_formatter(in_km)
        ax.yaxis.set_major_formatter(in_km)
        ax.set_xlabel("x (km)", fontsize=8)
        ax.set_ylabel("y (km)", fontsize=8)
        try:
            graticule(ax, srs, extent)
        except (RuntimeError, ValueError):
            pass  # a grid without a geographic counterpart has no graticule
    elif srs is not None and srs.IsGeographic():
        ax.set_xlabel("longitude (°)", fontsize=8)
        ax.set_ylabel("latitude (°)", fontsize=8)
        middle = math.radians((extent[2] + extent[3]) / 2.0)
        metres = 111320.0 * max(math.cos(middle), 0.01)
    ax.tick_params(labelsize=7)
    if metres:
        scale_bar(ax, extent, metres)
    cell = ""
    if metres and srs.IsProjected():
        cell = "; cells of %.3g km" % (abs(dx) * metres / 1000.0)
    fig.text(0.5, 1 - 0.3 / height_in, title, ha="center", va="center", fontsize=12,
             weight="bold")
    fig.text(0.5, 1 - 0.58 / height_in, "%d x %d cells%s" % (cols, rows, cell), ha="center",
             va="center", fontsize=8)
    colour_bar(fig, [0.12, 0.55 / height_in, 0.5, 0.18 / height_in], kind)
    with outputs.atomic_output(output) as tmp:
        fig.savefig(tmp, format="png", dpi=100, facecolor="white")


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
