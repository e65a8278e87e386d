#!/usr/bin/env bash
# The longer fault campaign on the demo's chain (4 tiles of 160 x 160 cells, weeks 18-20 of
# 2020-2024): KILLS kills at seeded random moments, each resumed with the run command, then a hung
# step; as root also DISK_POINTS fill points of a small output file system. make test runs the
# same campaign bounded on a smaller chain (ctest -L faults).
#
# Usage: bench/faults/campaign.sh [build folder]   (KILLS=40 DISK_POINTS=8 SEED=1 by default)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-build}
python=$(sed -n '1s/^#! *\([^ ]*\).*/\1/p' "$(command -v snakemake)")
export PYTHONPATH="$repo/workflow:$repo/tests/workflow${PYTHONPATH:+:$PYTHONPATH}"
"$python" "$repo/tests/faults/test_fault_campaign.py" --bin "$build/bin" --part kills --size demo \
    --kills "${KILLS:-40}" --seed "${SEED:-1}"
"$python" "$repo/tests/faults/test_fault_campaign.py" --bin "$build/bin" --part disk --size demo \
    --disk-points "${DISK_POINTS:-8}"
