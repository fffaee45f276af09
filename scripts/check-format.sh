#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the tree differs from the project's .clang-format.
# `scripts/check-format.sh --fix` formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[ "${1:-}" = "--fix" ] && fix=1
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
if [ $fix -eq 1 ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'Not formatted (run scripts/check-format.sh --fix):\n' >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "${#files[@]} files formatted"
