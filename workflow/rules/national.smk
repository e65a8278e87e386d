# The rules of a national run (a configuration with `regions`), included by the Snakefile: the
# regions' area rasters, one copy of the chain's rules per region (its files under <out>/<region>/),
# and per period and year the national mosaics of the regions' 8-bit copies, the national reports
# and the national page.

from shlex import quote as shlex_quote

REGION_IDS = [r.id for r in PLAN.regions]
CELL_ACRES = repr(PLAN.cell_acres)


wildcard_constraints:
    region="|".join(REGION_IDS) if REGION_IDS else "(?!)",


# Each region with tiles runs the chain's own rules with its configuration; the rules are named
# region_<id>_<rule>. (This is what a `module` statement with `use rule * from ... as ...` does,
# written as calls so that the regions can come from the plan.)
for _region in PLAN.active_regions():
    workflow.module(_region.module, snakefile=os.path.join(workflow.basedir, "Snakefile"),
                    config=_region.config)
    workflow.userule(rules=("*",), from_module=_region.module, exclude_rules=None,
                     name_modifier=_region.module + "_*", lineno=1)(lambda: None)
    workflow.localrules(*["%s_%s" % (_region.module, name) for name in ("all", "legend", "page", "timeseries", "charts", "catalogue")])


localrules: regions_layer, region_area, national_page, national_indicators, national_timeseries, \
    national_charts


# The national page takes the place of the chain's page at the top of the output folder.
ruleorder: national_page > page


if PLAN.layer is not None:

    rule regions_layer:
        input:
            PLAN.layer,
        output:
            PLAN.regions_layer(),
        params:
            config=json.dumps(config, sort_keys=True),
        resources:
            runtime=RUNTIMES["regions_layer"],
        log:
            os.path.join(OUT, "logs", "national", "regions_layer.log"),
        shell:
            limited("regions_layer", "{VEGFLOW} national layer --config {params.config:q} "
                    "--output {output:q}", "{log:q}")

    rule region_area:
        input:
            PLAN.regions_layer(),
        output:
            os.path.join(OUT, "regions", "{region}.tif"),
        params:
            extent=lambda wc: " ".join(repr(v) for v in PLAN.region(wc.region).box),
            size=lambda wc: "%d %d" % (PLAN.region(wc.region).columns, PLAN.region(wc.region).rows),
        resources:
            runtime=RUNTIMES["region_area"],
        log:
            os.path.join(OUT, "logs", "national", "area_{region}.log"),
        shell:
            limited("region_area", "{VEGFLOW} national area --layer {input:q} "
                    "--id {wildcards.region} --extent {params.extent} --size {params.size} "
                    "--output {output:q}", "{log:q}")


def national_period(wc):
    return int(wc.year), period_of(wc)


rule national_mosaic:
    input:
        lambda wc: PLAN.region_copies(wc.kind, *national_period(wc)),
    output:
        os.path.join(OUT, "national", "{year}", "{kind}_{tag}.tif"),
    resources:
        mem_mb=500,
        runtime=RUNTIMES["national_mosaic"],
    log:
        os.path.join(OUT, "logs", "national", "mosaic", "{year}", "{kind}_{tag}.log"),
    shell:
        limited("national_mosaic", "{VEGFLOW} national mosaic --kind {wildcards.kind} "
                "--output {output:q} {input:q}", "{log:q}")


def national_title(wc):
    return quicklook_title(wc) + ", national mosaic"


rule national_quicklook:
    input:
        os.path.join(OUT, "national", "{year}", "{kind}_{tag}.tif"),
    output:
        os.path.join(OUT, "national", "quicklooks", "{year}", "{kind}_{tag}.png"),
    params:
        title=national_title,
    resources:
        runtime=RUNTIMES["national_quicklook"],
    log:
        os.path.join(OUT, "logs", "national", "quicklook", "{year}", "{kind}_{tag}.log"),
    shell:
        "{RUN} --log {log:q} --time-limit {LIMITS[national_quicklook]} --expect {output:q} -- "
        "{VEGFLOW} quicklook image --kind {wildcards.kind} --input {input:q} "
        "--output {output:q} --title {params.title:q} --width {QUICKLOOK_WIDTH}"


def national_report_args(wc):
    """--region and --missing arguments: every region of the layout, with its report or the
    reason it has none."""
    year, period = national_period(wc)
    return missing_args(wc, {r.id: path for r, path in PLAN.region_reports(wc.kind, year, period)})


rule national_report:
    input:
        lambda wc: [path for _, path in PLAN.region_reports(wc.kind, *national_period(wc))],
    output:
        csv=os.path.join(OUT, "national", "reports", "{year}", "{kind}_{tag}.csv"),
        json=os.path.join(OUT, "national", "reports", "{year}", "{kind}_{tag}.json"),
    params:
        regions=national_report_args,
    resources:
        runtime=RUNTIMES["national_report"],
    log:
        os.path.join(OUT, "logs", "national", "report", "{year}", "{kind}_{tag}.log"),
    shell:
        limited("national_report", "{VEGFLOW} national report "
                "--workid {wildcards.kind}_{wildcards.tag} --cell-acres {CELL_ACRES} "
                "--csv {output.csv:q} --json {output.json:q} {params.regions}", "{log:q}")


def missing_args(wc, have):
    """--region and --missing arguments: every region of the layout, with its file `have` gives or
    the reason it has none."""
    args = []
    for region in PLAN.regions:
        if region.id in have:
            args += ["--region", region.id, region.name, have[region.id]]
        else:
            note = "no tile overlaps the region" if region.plan is None else \
                "no tiles for this period"
            args += ["--missing", region.id, region.name, note]
    return " ".join(shlex_quote(a) for a in args)


rule national_indicators:
    input:
        lambda wc: PLAN.region_indicators(*national_period(wc)),
    output:
        csv=os.path.join(OUT, "national", "indicators", "{year}", "indicators_{tag}.csv"),
        json=os.path.join(OUT, "national", "indicators", "{year}", "indicators_{tag}.json"),
    params:
        head=indicator_head,
        regions=lambda wc: missing_args(wc, {r.id: r.plan.indicators(*national_period(wc))
                                             for r in PLAN.active_regions(*national_period(wc))}),
    resources:
        runtime=RUNTIMES["national_indicators"],
    log:
        os.path.join(OUT, "logs", "national", "indicators", "{year}", "{tag}.log"),
    shell:
        limited("national_indicators",
                "{VEGFLOW} indicators national --head {params.head:q} --csv {output.csv:q} "
                "--json {output.json:q} {params.regions}", "{log:q}")


rule national_timeseries:
    input:
        [PLAN.national_indicators(y, p, "json") for p, y in PLAN.national_composites],
    output:
        csv=PLAN.national_timeseries("csv"),
        json=PLAN.national_timeseries("json"),
    resources:
        runtime=RUNTIMES["national_timeseries"],
    log:
        os.path.join(OUT, "logs", "national", "timeseries.log"),
    shell:
        limited("national_timeseries",
                "{VEGFLOW} indicators series --csv {output.csv:q} --json {output.json:q} "
                "{input:q}", "{log:q}")


rule national_charts:
    input:
        PLAN.national_timeseries("json"),
    output:
        [PLAN.national_chart(i) for i in PLAN.charted()],
    params:
        charts=" ".join("--chart %s %s" % (i, shlex_quote(PLAN.national_chart(i)))
                        for i in PLAN.charted()),
        others=" ".join(shlex_quote(r.id) for r in PLAN.active_regions()),
    resources:
        runtime=RUNTIMES["national_charts"],
    log:
        os.path.join(OUT, "logs", "national", "charts.log"),
    shell:
        limited("national_charts",
                "{VEGFLOW} indicators chart --series {input:q} --region national --title "
                "national --others {params.others} {params.charts}", "{log:q}")


rule national_page:
    input:
        lambda wc: [f for f in run_products() if f != PLAN.page()],
    output:
        PLAN.page(),
    params:
        config=json.dumps(config, sort_keys=True),
    resources:
        runtime=RUNTIMES["national_page"],
    shell:
        limited("national_page", "{VEGFLOW} national page --config {params.config:q}")
