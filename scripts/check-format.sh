#!/usr/bin/env bash
# Fails when a C++ source of the tree differs from the project's .clang-format; with --fix, formats
# them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-format: clang-format is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
    grep -E '^[^ ].*: (error|warning):' "$report" | cut -d: -f1 | sort -u |
        sed 's/^/check-format: not formatted: /' >&2
    echo "check-format: run scripts/check-format.sh --fix" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files match .clang-format"
