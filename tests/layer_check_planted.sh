#!/usr/bin/env bash
# The layer check must notice an include against the order: copies the
# engine folders, plants one upward include at a time and expects a failure
# that names the planted line; the untouched copy must pass.
set -uo pipefail
src="$1"
tmp="$(mktemp -d)"; trap 'rm -rf "$tmp"' EXIT
for d in core results interchange viewer instruments eeg physio tools acquisition shell; do
  [ -d "$src/$d" ] && cp -r "$src/$d" "$tmp/"
done
check="$src/scripts/check_layers.sh"
"$check" "$tmp" >/dev/null 2>&1 || { echo "the untouched copy fails the check"; exit 1; }
fail=0
plant() {  # plant FILE INCLUDE: the check must fail and name FILE
  local file="$1" inc="$2" saved
  saved="$(mktemp)"; cp "$tmp/$file" "$saved"
  printf '#include "%s"\n' "$inc" >>"$tmp/$file"
  if out="$("$check" "$tmp" 2>&1)"; then
    echo "not noticed: $file includes $inc"; fail=1
  elif ! grep -q "^$file:" <<<"$out"; then
    echo "noticed, but not at $file: $out"; fail=1
  fi
  cp "$saved" "$tmp/$file"; rm -f "$saved"
}
plant core/study_state.h eeg/spectral.h                # engine upward
plant results/text_results.h interchange/edf.h         # same layer
plant eeg/maps.h eeg/ui/map_window.h                   # engine includes a window
plant eeg/ui/map_window.h shell/ui/main_window.h       # window upward
exit $fail
