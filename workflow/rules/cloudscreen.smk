# Cloud screening (configuration key cloud_screen: a rule name of cloudscreen): each day's daily
# grid screened with the day's 1 km state tiles is what the composite lists hold. For comparison,
# the latest period is also composited without screening, up to its VCI quicklook, under
# <out>/unscreened/<year>/.

import types

CLOUDSCREEN = os.path.join(BIN, "cloudscreen")


rule cloud_screen:
    input:
        daily=os.path.join(OUT, "daily", "{day}", "NDVI{day}.hdf"),
        state=lambda wc: PLAN.state_tiles[wc.day],
    output:
        os.path.join(OUT, "screened", "{day}", "NDVI{day}.hdf"),
    resources:
        mem_mb=memory_mb(15, 400),
        runtime=runtime_min(2),
    group:
        "ndvi"
    log:
        os.path.join(OUT, "logs", "cloudscreen", "{day}.log"),
    shell:
        "{RUN} --log {log:q} --expect {output:q} -- "
        "{CLOUDSCREEN:q} {PLAN.cloud_screen} {input.daily:q} {output:q} {input.state:q}"


rule unscreened_list:
    input:
        dates=os.path.join(OUT, "lists", "periods", "{year}", PLAN.period_name + "_{tag}.txt"),
        daily=lambda wc: [PLAN.daily(d) for d in PLAN.present_days(int(wc.year), period_of(wc))],
    output:
        os.path.join(OUT, "unscreened", "{year}", "ndvi_{tag}.txt"),
    shell:
        "{VEGFLOW} composite-list {input.dates:q} {output:q} {input.daily:q}"


rule unscreened_composite:
    input:
        os.path.join(OUT, "unscreened", "{year}", "ndvi_{tag}.txt"),
    output:
        os.path.join(OUT, "unscreened", "{year}", "ndvi_{tag}.hdf"),
    resources:
        mem_mb=memory_mb(7),
        runtime=runtime_min(2),
    log:
        os.path.join(OUT, "logs", "unscreened", "{year}", "composite_{tag}.log"),
    shell:
        "{RUN} --log {log:q} --expect {output:q} -- {PEAKCOMPOSITE:q} {input:q} {output:q}"


rule unscreened_vci:
    input:
        extremes=lambda wc: PLAN.extremes(period_of(wc)),
        ndvi=os.path.join(OUT, "unscreened", "{year}", "ndvi_{tag}.hdf"),
    output:
        os.path.join(OUT, "unscreened", "{year}", "vci_{tag}.hdf"),
    resources:
        mem_mb=memory_mb(13),
        runtime=runtime_min(2),
    log:
        os.path.join(OUT, "logs", "unscreened", "{year}", "vci_{tag}.log"),
    shell:
        "{RUN} --log {log:q} --expect {output:q} -- "
        "{CONDITIONMAP:q} {input.extremes:q} {input.ndvi:q} {output:q}"


rule unscreened_quicklook:
    input:
        os.path.join(OUT, "unscreened", "{year}", "vci_{tag}.hdf"),
    output:
        tif=os.path.join(OUT, "unscreened", "{year}", "vci_{tag}.tif"),
        png=os.path.join(OUT, "unscreened", "{year}", "vci_{tag}.png"),
    params:
        title=lambda wc: quicklook_title(
            types.SimpleNamespace(kind="vci", year=wc.year, tag=wc.tag)) + ", without screening",
    resources:
        mem_mb=memory_mb(3, 300),
        runtime=runtime_min(3),
    log:
        os.path.join(OUT, "logs", "unscreened", "{year}", "quicklook_{tag}.log"),
    shell:
        "{RUN} --log {log:q} --expect {output.tif:q} -- "
        "{VEGFLOW} quicklook gis --kind vci --input {input:q} --output {output.tif:q} && "
        "{RUN} --log {log:q}.image --expect {output.png:q} -- "
        "{VEGFLOW} quicklook image --kind vci --input {output.tif:q} --output {output.png:q} "
        "--title {params.title:q} --width {QUICKLOOK_WIDTH}"
