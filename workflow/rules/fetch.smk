# The fetch stage of a run with `source:` (included by the Snakefile): tilefetch brings the tiles
# of every day of the run's periods into the `tiles` folder before the daily mosaics. It is a
# checkpoint: the plan takes the days that arrived once it has run. On a cluster it is a local
# rule, so it runs where the workflow runs (the login node, which reaches the archive).

localrules: fetch


checkpoint fetch:
    output:
        PLAN.fetch_stamp(),
    params:
        config=json.dumps(config, sort_keys=True),
    resources:
        runtime=RUNTIMES["fetch"],
    log:
        os.path.join(OUT, "logs", "tilefetch", os.path.basename(PLAN.fetch_stamp())[:-4] + ".log"),
    shell:
        limited("fetch", "{VEGFLOW} fetch --config {params.config:q} --bin {BIN:q} --log {log:q} "
                         "--output {output:q}")

