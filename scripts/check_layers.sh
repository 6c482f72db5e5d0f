#!/usr/bin/env bash
# Fails when a source includes a header of a layer above its own.
#   scripts/check_layers.sh [ROOT]
# Engine folders, lowest first (a folder includes its own headers and those of
# folders on lower levels; folders on one level do not include each other):
#   core < results, interchange < viewer < instruments < eeg < physio, tools
#        < acquisition < shell < app
# Engine code never includes a ui/ header. A ui/ folder includes the engine
# and ui/ headers of its own folder and of lower levels only, so the wiring of
# one window to others lives in shell/ui/. app/ includes anything.
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"
levels="core=0 results=1 interchange=1 viewer=2 instruments=3 eeg=4 physio=5 tools=5 acquisition=6 shell=7"
files=()
for entry in $levels; do
  folder="${entry%%=*}"
  [ -d "$folder" ] && while IFS= read -r f; do files+=("$f"); done < <(find "$folder" -name '*.h' -o -name '*.cpp' | sort)
done
[ ${#files[@]} -eq 0 ] && { echo "check_layers: no sources under $root" >&2; exit 2; }
awk -v levels="$levels" '
  BEGIN { n = split(levels, e, " "); for (i = 1; i <= n; ++i) { split(e[i], kv, "="); level[kv[1]] = kv[2] } }
  FNR == 1 { split(FILENAME, p, "/"); from = p[1]; fromUi = (p[2] == "ui") }
  /^[ \t]*#[ \t]*include[ \t]*"/ {
    line = $0; sub(/^[^"]*"/, "", line); sub(/".*$/, "", line)
    m = split(line, q, "/"); to = q[1]
    if (m < 2 || !(to in level)) next
    toUi = (m > 2 && q[2] == "ui")
    why = ""
    if (!fromUi && toUi) why = "engine code includes a window header"
    else if (to != from && level[to] > level[from]) why = "includes a higher layer"
    else if (to != from && level[to] == level[from]) why = "includes a folder of the same layer"
    if (why != "") { printf "%s:%d: %s: \"%s\"\n", FILENAME, FNR, why, line; bad = 1 }
  }
  END { exit bad }
' "${files[@]}" || { echo "check_layers: includes against the layer order (see README, Layout)" >&2; exit 1; }
