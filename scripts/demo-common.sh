# shellcheck shell=bash
# Steps shared by the demos, sourced by scripts/demo.sh and scripts/demo-national.sh once they have
# set `name` (for messages), `repo`, `bin`, `out` and `cores`.
# shellcheck disable=SC2154  # those variables are the sourcing script's

# The demos run the workflow's commands as `python3 -m vegflow ...`; the package lies in workflow/.
export PYTHONPATH="$repo/workflow${PYTHONPATH:+:$PYTHONPATH}"

# demo_check_tools TOOL...: snakemake and the given tools on the PATH, the toolkit's programs in
# $bin; sets `python` to the interpreter that runs snakemake, which also carries GDAL's bindings.
demo_check_tools() {
    local tool prog
    for tool in snakemake "$@"; do
        command -v "$tool" >/dev/null || { echo "$name: $tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
    done
    for prog in modis-tilegen zonegrid daymosaic periodlist peakcomposite periodextremes conditionmap tallyband; do
        [ -x "$bin/$prog" ] || { echo "$name: $bin/$prog is missing; build first" >&2; exit 1; }
    done
    python=$(sed -n '1s/^#! *\([^ ]*\).*/\1/p' "$(command -v snakemake)")
    [ -x "$python" ] || python=python3
}

# demo_reference: the first day's h18v04 tile (sed reads the whole list: a reader that stops early
# would fail the pipeline under pipefail).
demo_reference() {
    find "$out/tiles" -name 'h18v04.hdf' | sort | sed -n 1p
}

# demo_run_workflow: the workflow on all cores with $out/config.yaml through the run command
# (which resumes a demo that was killed), its full output in a log; the end of the log and exit 1
# when it fails, else the line that counts its steps.
demo_run_workflow() {
    local steps
    echo "== Running the workflow with $cores cores (log: $out/workflow.log)"
    if ! "$python" -m vegflow run --directory "$out" --configfile "$out/config.yaml" \
            --cores "$cores" --keep-going --scheduler greedy > "$out/workflow.log" 2>&1; then
        echo "$name: the workflow failed; the end of its log:" >&2
        tail -n 40 "$out/workflow.log" >&2
        exit 1
    fi
    # What the run command cleared of a killed earlier run, if anything.
    grep '^vegflow run:' "$out/workflow.log" | sed 's/^/   /' || true
    steps=$(grep -E '^[0-9]+ of [0-9]+ steps' "$out/workflow.log" | tail -n 1 || true)
    echo "   ${steps:-nothing to do: every product is up to date}"
}
