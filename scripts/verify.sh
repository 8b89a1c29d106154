#!/usr/bin/env bash
# Checks a downloaded release against its source: the files are whole
# (SHA256SUMS), and a rebuild of the commit in a fresh clone gives the same
# files (scripts/repro.sh). A signed release matches when what each
# signature covers is the rebuilt file's (osslsigncode extract-data); the rest
# must be the same bytes.
#
# Usage: scripts/verify.sh RELEASE_DIR [COMMIT]
#   RELEASE_DIR  the zip, the three packages and SHA256SUMS, as downloaded
#   COMMIT       the release's commit (default: this clone's HEAD)
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
    sed -n '2,11p' "${BASH_SOURCE[0]}"
    exit 2
fi
release="$(cd "$1" && pwd)" || exit 2
commit="${2:-HEAD}"

bash "$ROOT/scripts/install-deps.sh" windows bundle msi arm64 >/dev/null || exit 1
[ -f "$release/SHA256SUMS" ] || { echo "verify: $release has no SHA256SUMS" >&2; exit 1; }
(cd "$release" && sha256sum --check --quiet SHA256SUMS) || { echo "verify: the download is not whole (SHA256SUMS)" >&2; exit 1; }
echo "verify: SHA256SUMS holds for $(wc -l <"$release/SHA256SUMS") file(s)"
bash "$ROOT/scripts/repro.sh" --reference "$release" --commit "$commit" --signed
