#!/usr/bin/env bash
# Runs shellcheck over every shell script of the tree (by name or by its
# first line), following what each sources. A finding that is deliberate
# carries a directive with its reason at the line; nothing is disabled
# wholesale.
#
# Usage: scripts/shellcheck.sh
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
bash scripts/install-deps.sh lint >/dev/null || exit 1
command -v shellcheck >/dev/null || { echo "shellcheck: not installed (Debian's shellcheck: scripts/install-deps.sh lint)" >&2; exit 2; }

scripts=()
while IFS= read -r -d '' file; do
    if [[ $file == *.sh ]] || head -n 1 "$file" | grep -qE '^#!.*\b(ba|da)?sh\b'; then
        scripts+=("$file")
    fi
done < <(git ls-files -z 2>/dev/null || find . -path ./build -prune -o -type f -print0)
((${#scripts[@]})) || { echo "shellcheck: no shell script found to check" >&2; exit 2; }
if shellcheck -x -P SCRIPTDIR "${scripts[@]}"; then
    echo "shellcheck: ${#scripts[@]} scripts clean"
else
    echo "shellcheck: findings above (${#scripts[@]} scripts checked)"
    exit 1
fi
