"""What the workflow knows of the programs' grid products: the grid and field names, the name by
which GDAL opens a field, the 8-bit sentinels and the scale and offset that turn a byte into NDVI or
VCI.

The values are those of the grid module of the programs; the contract test of the workflow reads
them back from products the built programs wrote.
"""

# The one grid of every product and of the reflectance tiles.
GRID = "MODIS_Grid_2D"

# The reflectance tiles' red band: the geometry of a tile is read from it.
RED_FIELD = "sur_refl_b01_1"
NDVI_FIELD = "sur_ndvi_b02_b01"
NDVI8_FIELD = "sur_ndvi_b02_b01_8bit"
VCI_FIELD = "sur_vci_b02_b01"
VCI8_FIELD = "sur_vci_b02_b01_8bit"

# The two product kinds that the maps, reports and mosaics show.
KINDS = ("ndvi", "vci")

# 8-bit fields: valid values 0..VALID_MAX; NO_DATA marks a cell inside the area of interest without
# a usable value, FILL a cell outside the area.
VALID_MAX = 250
NO_DATA = 254
FILL = 255

# value = byte * scale + offset, for the valid bytes of each kind.
SCALE_OFFSET = {"ndvi": (1 / 125.0, -1.0), "vci": (1 / 250.0, 0.0)}

# Acres per square metre, the factor of the statistics reports.
ACRES_PER_SQUARE_METRE = 0.000247105

# Side of a tile of the sinusoidal tile grid, in metres.
TILE_SIDE = 1111950.5197665


def field_8bit(kind):
    """The 8-bit field of a product kind ("ndvi" for composites and daily grids, "vci")."""
    return VCI8_FIELD if kind == "vci" else NDVI8_FIELD


def subdataset(path, field):
    """GDAL's name for a field of a grid file (a product or a reflectance tile)."""
    return 'HDF4_EOS:EOS_GRID:"%s":%s:%s' % (path, GRID, field)


# Indicators of a region and period: (name, what it is, unit, decimals of its texts). Shares are
# percent of the cells counted for them; NDVI values are in NDVI units.
INDICATORS = (
    ("vci_mean", "mean VCI", "VCI", 3),
    ("vci_poor_share", "share of the counted area with VCI below the threshold", "%", 2),
    ("crop_vci_mean", "mean VCI of the crop area", "VCI", 3),
    ("crop_vci_poor_share", "share of the counted crop area with VCI below the threshold", "%", 2),
    ("ndvi_mean", "mean NDVI of the cells with a history", "NDVI", 4),
    ("ndvi_history_mean", "mean NDVI of the same period over the history years", "NDVI", 4),
    ("ndvi_anomaly", "NDVI minus its history mean", "NDVI", 4),
    ("ndvi_anomaly_percent", "NDVI anomaly in percent of the history mean", "%", 2),
)
# The indicators that the pages chart across periods and years.
CHARTED = ("vci_mean", "vci_poor_share", "ndvi_anomaly_percent")
# A VCI below this value counts as poor condition (configuration key poor_vci_threshold).
POOR_VCI_THRESHOLD = 0.35
# A cell's history mean needs a value in at least this many history years (anomaly_min_years).
ANOMALY_MIN_YEARS = 3
