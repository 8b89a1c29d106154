#!/usr/bin/env bash
# Checks that the release is reproducible: builds it a second time, in a
# fresh clone of this commit, in a folder of another name and length, later,
# under another time zone, locale and umask, and compares it file by file with
# this clone's release (scripts/release_diff.sh: the verdict byte for byte,
# diffoscope's report of where a file differs). The test command gives it the release it already made from
# its own Windows builds (--reference), so only the second release is built
# and the step takes about as long as one release build. The releases
# compared are unsigned: signing comes after.
#
# Usage: scripts/repro.sh [--reference DIR] [--commit C] [--signed] [--second-epoch N]
#   --reference DIR   this clone's release, made from this commit (default:
#                     release.sh builds and makes it in build/release)
#   --commit C        rebuild C instead of this clone's commit (scripts/verify.sh)
#   --signed          the reference may be signed (release_diff.sh --signed)
#   --second-epoch N  SOURCE_DATE_EPOCH=N for the second build only: a forced
#                     difference, to see the check fail
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${NORV_BUILD_ROOT:-$ROOT/build}"
reference="" second_epoch="" commit="" signed=()
while [ "$#" -gt 0 ]; do
    case "$1" in
        --reference) reference="$2"; shift ;;
        --second-epoch) second_epoch="$2"; shift ;;
        --commit) commit="$2"; shift ;;
        --signed) signed=(--signed) ;;
        -h|--help) sed -n '2,20p' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) echo "repro: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
unset NORV_SIGN_CERT NORV_SIGN_KEY

if [ -n "$commit" ]; then
    commit="$(git -C "$ROOT" rev-parse --verify "$commit^{commit}")" || exit 1
else
    # The second clone builds the commit: changes not in it would show as a
    # difference that is none.
    if [ -n "$(git -C "$ROOT" status --porcelain)" ]; then
        echo "repro: the clone has changes that are not committed; commit them first:" >&2
        git -C "$ROOT" status --porcelain | sed 's/^/  /' >&2
        exit 1
    fi
    commit="$(git -C "$ROOT" rev-parse HEAD)"
fi
if [ -z "$reference" ]; then
    # Built (configured afresh, so with this commit's time), not only packaged.
    reference="$BUILD_ROOT/release"
    bash "$ROOT/scripts/release.sh" --out "$reference" >/dev/null || exit 1
fi
[ -f "$reference/SHA256SUMS" ] || { echo "repro: $reference holds no release (no SHA256SUMS)" >&2; exit 1; }

base="$(mktemp -d "${TMPDIR:-/tmp}/norv-second-clone.XXXXXX")"
trap 'rm -rf "$base"' EXIT
clone="$base/rebuilt-here"
while [ "${#clone}" -eq "${#ROOT}" ]; do clone+=x; done
git clone -q --no-hardlinks "$ROOT" "$clone" && git -C "$clone" checkout -q "$commit" || exit 1

# Another zone (UTC+14, written so that it needs no zone files), another
# locale and another umask than this shell's.
zone="XYZ-14"
[ "${TZ:-}" != "$zone" ] || zone=UTC0
locale=C.UTF-8
[ "${LC_ALL:-${LANG:-}}" != C.UTF-8 ] || locale=C
mask=077
[ "$(umask)" != 0077 ] || mask=022
echo "repro: second build of $commit in $clone (TZ=$zone LC_ALL=$locale umask $mask${second_epoch:+ SOURCE_DATE_EPOCH=$second_epoch})"
start=$(date +%s)
(
    umask "$mask"
    unset NORV_BUILD_ROOT SOURCE_DATE_EPOCH
    [ -z "$second_epoch" ] || export SOURCE_DATE_EPOCH="$second_epoch"
    # The ARM64 import libraries are an input made from Debian's package, not
    # something under test: the second clone uses this clone's.
    export NORV_ARM64_SDK="${NORV_ARM64_SDK:-$BUILD_ROOT/arm64-sdk}"
    TZ="$zone" LC_ALL="$locale" bash "$clone/scripts/release.sh" --out "$base/release" >"$base/release.log" 2>&1
) || { echo "repro: the second release build failed:" >&2; tail -n 20 "$base/release.log" >&2; exit 1; }
echo "repro: second release built in $(($(date +%s) - start)) s"
bash "$ROOT/scripts/release_diff.sh" "${signed[@]}" "$reference" "$base/release"
