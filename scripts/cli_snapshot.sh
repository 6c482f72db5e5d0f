#!/usr/bin/env bash
# Runs a fixed set of velor-cli commands over the demo study and the shared
# recordings and keeps every output (stdout, stderr, exit status, written
# files) in OUTDIR, so two builds can be compared byte for byte:
#   scripts/cli_snapshot.sh OLD/velor-cli /tmp/a; scripts/cli_snapshot.sh build/velor-cli /tmp/b
#   diff -r /tmp/a /tmp/b
set -uo pipefail
cli="$(realpath "$1")"; out="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
data="$here/../shared/data"
rm -rf "$out"; mkdir -p "$out/work"; cd "$out/work"
n=0
run() {  # run NAME ARGS...: keeps stdout, stderr and status of one command
  local name="$1"; shift
  "$cli" "$@" >"$out/$name.out" 2>"$out/$name.err"; echo $? >"$out/$name.rc"
  n=$((n + 1))
}
run demo demo demo.cad --records 2 --seconds 8 --seed 7
inputs=(demo.cad "$data/eegmat/Subject00_1.edf" "$data/mne-python/test.bdf"
  "$data/mne-python/test_edf_stim_channel.edf" "$data/mne-testing-data/scan41_short.cnt"
  "$data/mne-testing-data/test_edf_overlapping_annotations.edf"
  "$data/mne-testing-data/multiple_annotation_chans.bdf"
  "$data/mne-testing-data/test_CNT_events_mne_JWoess_clipped.cnt")
i=0
for f in "${inputs[@]}"; do
  i=$((i + 1))
  run "info$i" info "$f"
  run "infojson$i" info "$f" --json
  run "dump$i" dump "$f"
  run "dumpraw$i" dump "$f" --raw --record 2 --channels 0,2
  run "spectrum$i" spectrum "$f" --window 1 --kind 1
  run "spectrumraw$i" spectrum "$f" --raw --averaged 2
  run "bands$i" bands "$f" --measure 1 --kind 1
  run "bands0$i" bands "$f"
  run "report$i" eeg-report "$f"
  run "reportjson$i" eeg-report "$f" --json
  run "period$i" period "$f" --band 8 13 --all
  run "period1$i" period "$f" --band 8 13 --channel 2
  run "map$i" map "$f" --png "map$i.png" --measure band
  run "map2$i" map "$f" --png "map2_$i.png" --measure spectrum --size 200
  run "cad$i" convert "$f" "conv$i.cad"
  run "edf$i" convert "$f" "conv$i.edf"
  run "udf$i" convert "$f" "conv$i.udf"
  run "txt$i" convert "$f" "conv$i.txt"
  run "bl$i" convert "$f" "conv$i.eeg"
  run "fft$i" fft-filter "$f" "fft$i.cad" --mode remove --low 45 --high 55
  run "fftg$i" fft-filter "$f" "fftg$i.cad" --mode gauss --low 8 --high 13
  run "filter$i" filter "$f" "filt$i.cad" --code 2 --order 4 --f2 0.1
  run "print$i" print "$f" --pdf "print$i.pdf"
done
run design filter-design --code 7 --order 6 --f1 0.2 --f2 0.05 --at 0.01,0.1,0.3
run reconvert info conv1.txt
run reconvert2 dump conv3.txt
run reconvert3 info conv1.edf --json
run reconvert4 dump conv5.eeg --raw
run missing info /nonexistent.cad
run empty info /dev/null
echo "$n commands" >&2
# PDFs carry their creation time; compare them as page pictures instead.
for p in *.pdf; do
  [ -f "$p" ] || continue
  if command -v pdftoppm >/dev/null; then pdftoppm -r 40 -png "$p" "${p%.pdf}-page" && rm "$p"; fi
done
