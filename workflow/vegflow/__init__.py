"""The workflow's own code: the plan of a run (plan, regions), what it knows of the programs'
products (products), its outputs written whole or not at all (outputs), raster geometry (rasters),
the GIS-ready copies, quicklooks and legends (maps), the pages and text tables (pages), the national
mosaics and reports (national), the step runner (steps), sample inputs (samples), and the commands
that the workflow's rules and the demos run: `python3 -m vegflow <command> ...` (commands/).

The package is found through PYTHONPATH holding the folder `workflow/`: the Snakefile sets it for
the commands of a run, CTest for the tests, the demos for themselves.
"""
