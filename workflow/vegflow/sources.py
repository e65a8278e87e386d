"""The archive as a run's source: the `source:` section of the configuration, the tiles and days a
run asks of the archive, and tilefetch's configuration.

With a source the plan cannot look in the tiles folder for its days: it plans every day of the
requested periods, the fetch stage brings those days' tiles into the `tiles` folder, and once the
fetch's stamp file is there the plan takes the days that arrived. Standard library only.
"""

import math
import os

from vegflow.products import TILE_SIDE

# The sinusoidal grid of 36 x 18 tiles: x from -GRID_WEST_X to GRID_WEST_X, y from -GRID_NORTH_Y to
# GRID_NORTH_Y, metres.
GRID_WEST_X = -20015109.354
GRID_NORTH_Y = 10007554.677
TILE_COLUMNS, TILE_ROWS = 36, 18
# A box that reaches less than this far into a tile (metres; about a millimetre) does not meet it.
EDGE_TOLERANCE = 1e-3

# Keys of `source:` that the workflow reads itself; every other key goes to tilefetch's
# configuration as it is (a list gives the key once per item).
OWN_KEYS = ("product", "tiles", "token_variable")
DEFAULT_PRODUCT = "MOD09GQ"


class SourceError(ValueError):
    """A `source:` section that the fetch cannot run with; the text names the key."""


def read(config):
    """The `source:` section as a dict (None without one); SourceError when it is not usable."""
    source = config.get("source")
    if source is None:
        return None
    if not isinstance(source, dict):
        raise SourceError("source must be a section of keys (product, catalogue, netrc, ...), "
                          "not %r" % (source,))
    product = str(source.get("product", DEFAULT_PRODUCT))
    if not product.replace("_", "").isalnum():
        raise SourceError("source: product %r is not a product name such as MOD09GQ" % product)
    tiles = source.get("tiles")
    if tiles is not None:
        tiles = tiles.split() if isinstance(tiles, str) else [str(t) for t in tiles]
        bad = [t for t in tiles if tile_position(t) is None]
        if bad or not tiles:
            raise SourceError("source: tiles must be tile names hXXvYY, not %r" % (bad or tiles,))
    if source.get("token_variable") is not None and source.get("token_file") is not None:
        raise SourceError("source: give token_variable or token_file, not both")
    return dict(source, product=product, tiles=tiles)


def tile_position(name):
    """(h, v) of a tile name "hXXvYY" on the grid; None when it is not one."""
    if len(name) != 6 or name[0] != "h" or name[3] != "v" or not (name[1:3] + name[4:]).isdigit():
        return None
    h, v = int(name[1:3]), int(name[4:])
    return (h, v) if h < TILE_COLUMNS and v < TILE_ROWS else None


def tile_box(name):
    """(xmin, ymin, xmax, ymax) in metres of the tile named hXXvYY."""
    h, v = tile_position(name)
    west, north = GRID_WEST_X + h * TILE_SIDE, GRID_NORTH_Y - v * TILE_SIDE
    return west, north - TILE_SIDE, west + TILE_SIDE, north


def tiles_meeting(box):
    """Names of the tiles whose area a box (xmin, ymin, xmax, ymax, metres) reaches into."""
    xmin, ymin, xmax, ymax = box
    first_h = max(0, math.floor((xmin + EDGE_TOLERANCE - GRID_WEST_X) / TILE_SIDE))
    last_h = min(TILE_COLUMNS - 1, math.floor((xmax - EDGE_TOLERANCE - GRID_WEST_X) / TILE_SIDE))
    first_v = max(0, math.floor((GRID_NORTH_Y - ymax + EDGE_TOLERANCE) / TILE_SIDE))
    last_v = min(TILE_ROWS - 1, math.floor((GRID_NORTH_Y - ymin - EDGE_TOLERANCE) / TILE_SIDE))
    return ["h%02dv%02d" % (h, v) for v in range(first_v, last_v + 1)
            for h in range(first_h, last_h + 1)]


def tilefetch_config(source, token_file=None):
    """tilefetch's configuration text for a `source:` section: its keys other than the workflow's
    own, one `key = value` line each (a list repeats the key), and the token file if given."""
    lines = []
    for key in sorted(k for k in source if k not in OWN_KEYS):
        values = source[key] if isinstance(source[key], list) else [source[key]]
        for value in values:
            text = os.path.expanduser(str(value)) if key in ("netrc", "token_file") else str(value)
            if "\n" in text or "#" in text:
                raise SourceError("source: %s %r cannot be one line of tilefetch's configuration"
                                  % (key, text))
            lines.append("%s = %s\n" % (key, text))
    if token_file is not None:
        lines.append("token_file = %s\n" % token_file)
    return "".join(lines)
