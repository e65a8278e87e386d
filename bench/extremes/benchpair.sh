#!/usr/bin/env bash
# Side-by-side timing of a program and its I/O-only baseline: `benchpair <label> <runs> -- <program
# command> -- <baseline command>` runs them alternately, prints each run's wall time (s) and peak
# resident memory (KB), then the medians and the ratios program / baseline.
benchpair() {
    local label=$1 runs=$2
    shift 3
    local program=() baseline=()
    while [[ $# -gt 0 && $1 != "--" ]]; do program+=("$1"); shift; done
    shift
    # shellcheck disable=SC2034  # read through the name reference `cmd` below
    baseline=("$@")
    local stats times_p=() times_b=() mem_p=() mem_b=()
    stats=$(mktemp)
    for ((i = 1; i <= runs; i++)); do
        for which in program baseline; do
            local -n cmd=$which
            if ! /usr/bin/time -f "%e %M" -o "$stats" "${cmd[@]}" >/dev/null 2>&1; then
                echo "$label: $which run failed: ${cmd[*]}" >&2
                rm -f "$stats"
                return 1
            fi
            read -r secs kb <"$stats"
            echo "$label run $i $which ${secs}s ${kb}KB"
            if [[ $which == program ]]; then times_p+=("$secs"); mem_p+=("$kb")
            else times_b+=("$secs"); mem_b+=("$kb"); fi
        done
    done
    rm -f "$stats"
    median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
    local tp tb mp mb
    tp=$(median "${times_p[@]}"); tb=$(median "${times_b[@]}")
    mp=$(median "${mem_p[@]}"); mb=$(median "${mem_b[@]}")
    awk -v l="$label" -v tp="$tp" -v tb="$tb" -v mp="$mp" -v mb="$mb" -v n="$runs" 'BEGIN {
        printf "%s: median of %d: program %.2fs, baseline %.2fs, ratio %.3f; peak memory %.0f MB vs %.0f MB (+%.0f MB)\n",
               l, n, tp, tb, tp / tb, mp / 1024, mb / 1024, (mp - mb) / 1024 }'
}
