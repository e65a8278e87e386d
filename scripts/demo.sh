#!/usr/bin/env bash
# The demo: runs the period utilities over an example year until the grid chain is in place.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
out=demo-out
mkdir -p "$out"
echo "Demo output folder: $out"
if [ -x "$bin/periodlist" ]; then
    for p in 1 2 3; do
        "$bin/periodlist" 2024 "$p" 7 7 "$out/period_$p.txt" || true
        echo "period $p:"; cat "$out/period_$p.txt" 2>/dev/null || true
    done
fi
