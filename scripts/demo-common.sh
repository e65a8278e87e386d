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

# demo_start_imitation FOLDER: serves FOLDER's tiles from the local imitation of the archive
# (tests/fetch/archive_imitation.py, on 127.0.0.1 only) in the background, on the port of the last
# demo when it is free (so that the run's configuration stays the same), else on any free port;
# writes tilefetch's settings for it to $out/imitation.conf. It is stopped when the demo ends,
# however it ends.
demo_start_imitation() {
    local port wait
    trap demo_stop_imitation EXIT
    trap 'demo_stop_imitation; exit 130' INT TERM
    for port in "$(cat "$out/imitation.port" 2>/dev/null || echo 0)" 0; do
        rm -f "$out/imitation.conf"
        "$python" "$repo/tests/fetch/archive_imitation.py" "$1" --port "$port" \
            --config "$out/imitation.conf" > "$out/imitation.log" 2>&1 &
        imitation_pid=$!
        for wait in $(seq 100); do
            grep -q '^imitation on' "$out/imitation.log" && break
            kill -0 "$imitation_pid" 2>/dev/null || break
            [ "$wait" -lt 100 ] && sleep 0.1
        done
        port=$(sed -n 's/^imitation on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out/imitation.log")
        if [ -n "$port" ]; then
            echo "$port" > "$out/imitation.port"
            echo "== Serving them from the local imitation of the archive on 127.0.0.1:$port"
            return 0
        fi
        demo_stop_imitation
    done
    echo "$name: the imitation of the archive did not start; its output:" >&2
    cat "$out/imitation.log" >&2
    exit 1
}

demo_stop_imitation() {
    if [ -n "${imitation_pid:-}" ]; then
        kill "$imitation_pid" 2>/dev/null || true
        wait "$imitation_pid" 2>/dev/null || true
        imitation_pid=
    fi
}

# demo_run_fetch: the workflow's fetch stage alone (tilefetch: catalogue search, download and
# verification of the run's tiles), its output in a log; prints tilefetch's summary.
demo_run_fetch() {
    local summary
    echo "== Fetching the run's tiles: catalogue search, download, verification (log: $out/fetch.log)"
    if ! snakemake -s "$repo/workflow/Snakefile" --directory "$out" --configfile "$out/config.yaml" \
            --cores 1 fetch > "$out/fetch.log" 2>&1; then
        echo "$name: the fetch stage failed; the end of its log:" >&2
        tail -n 40 "$out/fetch.log" >&2
        exit 1
    fi
    summary=$(cat "$out"/results/lists/fetch/*.txt 2>/dev/null | sed -n 's/^tilefetch: /   /p')
    if grep -q 'Nothing to be done' "$out/fetch.log"; then
        echo "   the tiles are in $out/tiles from an earlier run"
    else
        echo "${summary:-   (no summary)}"
        echo "   each file checked before it took its name: size and SHA-256 against the catalogue's"
        echo "   record, the HDF4 signature, and its grid opened by the grid probe"
    fi
}
