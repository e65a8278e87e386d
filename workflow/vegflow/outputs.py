"""Every file the workflow's own steps write appears whole or not at all: it is written under a
temporary name beside it and renamed into place when complete; on any failure the temporary file is
removed and an earlier output of that name stays as it was."""

import contextlib
import os
import secrets


def remove(*paths):
    """Remove the files that exist among `paths`."""
    for path in paths:
        if os.path.lexists(path):
            os.remove(path)


@contextlib.contextmanager
def atomic_output(output):
    """Yields a temporary name in the folder of `output` that keeps its extension (GDAL picks a
    driver by it) and is unique to this writer (two writers of one output do not share it). When the
    block ends normally, the temporary file becomes `output`; when it raises, the temporary file is
    removed and the exception goes on."""
    base, ext = os.path.splitext(output)
    tmp = "%s.tmp%s%s" % (base, secrets.token_hex(4), ext)
    try:
        yield tmp
        os.replace(tmp, output)
    finally:
        remove(tmp)


def write_text(output, text):
    """Write a text file atomically."""
    with atomic_output(output) as tmp:
        with open(tmp, "w") as handle:
            handle.write(text)
