#!/usr/bin/env bash
# Fails when a Python file of the tree does not pass flake8 (settings in .flake8) or a shell script
# does not pass shellcheck (settings in .shellcheckrc; sourced files are followed).
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for tool in flake8 shellcheck; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "check-lint: ${missing[*]} not installed (scripts/install-deps.sh installs them)" >&2
    exit 1
fi
mapfile -t python < <(git ls-files '*.py')
mapfile -t shell < <(git ls-files '*.sh' .ci/run)
status=0
flake8 "${python[@]}" || status=1
shellcheck "${shell[@]}" || status=1
if [ "$status" -ne 0 ]; then
    echo "check-lint: fix the findings above" >&2
    exit 1
fi
echo "check-lint: ${#python[@]} Python files pass flake8, ${#shell[@]} shell scripts pass shellcheck"
