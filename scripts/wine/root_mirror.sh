# shellcheck shell=bash
# shellcheck source-path=SCRIPTDIR
# root_mirror SUITE: prints the Debian archive to make a root of SUITE from:
# NORV_DEBIAN_MIRROR if set, else the first of this machine's apt sources
# that carries the suite, else the one this machine's own release comes from,
# else deb.debian.org.
root_mirror() {
    [ -n "${NORV_DEBIAN_MIRROR:-}" ] && { echo "$NORV_DEBIAN_MIRROR"; return; }
    local file suite own
    # shellcheck source=/dev/null  # the machine's own release file
    own="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
    for suite in "$1" $own; do
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$file" ] || continue
            awk -v s="$suite" '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $(i + 1) == s) { print $i; exit } }' \
                "$file" | grep . && return
        done
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk -v s="$suite" 'BEGIN { RS = ""; FS = "\n" }
                { uri = ""; hit = 0
                  for (i = 1; i <= NF; i++) {
                      if ($i ~ /^URIs:/) { split($i, u, " "); uri = u[2] }
                      if ($i ~ /^Suites:/) { n = split($i, w, " "); for (j = 2; j <= n; j++) if (w[j] == s) hit = 1 }
                  }
                  if (hit && uri != "") { print uri; exit } }' "$file" | grep . && return
        done
    done
    echo http://deb.debian.org/debian
}
