#!/usr/bin/env bash
# What MuseScore 3 makes of voxdump's .mid files: per tune, the key and time
# signatures the file holds (midicsv) and those MuseScore shows (its MusicXML
# export of the imported file), the most tempo changes in one bar, and the
# share of notes MuseScore writes as 32nd notes or shorter; then the totals.
#
# usage: bench/musescore_score.sh voxdump calls tune.sid... [-- voxdump arguments]
#   default arguments: --undocumented
# Needs midicsv, MuseScore 3 and python3 (Debian: midicsv, musescore3, python3).
set -euo pipefail
voxdump=$(realpath "$1")
calls=$2
shift 2
tunes=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do tunes+=("$1"); shift; done
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || set -- --undocumented
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tune in "${tunes[@]}"; do
    rm -f "$work"/t.*
    cp "$tune" "$work/t.sid"
    (cd "$work" && "$voxdump" t.sid "$calls" --midi "$@" >/dev/null 2>&1) || true
    name=$(basename "$tune")
    if [ ! -s "$work/t.mid" ]; then
        echo "$name	no .mid"
        continue
    fi
    midicsv "$work/t.mid" >"$work/t.csv"
    QT_QPA_PLATFORM=offscreen timeout 300 mscore3 -o "$work/t.musicxml" "$work/t.mid" >/dev/null 2>&1 || true
    python3 - "$name" "$work/t.csv" "$work/t.musicxml" <<'PY'
import re, sys
name, csv, xml = sys.argv[1:4]
key = time = None
notes = 0
for line in open(csv, encoding="latin-1"):
    f = [x.strip() for x in line.split(',')]
    if f[2] == 'Key_signature' and key is None:
        key = (int(f[3]), f[4].strip('"'))
    elif f[2] == 'Time_signature' and time is None:
        time = (int(f[3]), 2 ** int(f[4]))
    elif f[2] == 'Note_on_c' and int(f[5]) > 0:
        notes += 1
try:
    x = open(xml, encoding="utf-8", errors="replace").read()
except OSError:
    print(f"{name}\tMuseScore made nothing"); sys.exit()
part = x.split('</part>')[0]
fifths = re.search(r'<fifths>(-?\d+)</fifths>', part)
mode = re.search(r'<mode>(\w+)</mode>', part)
beats = re.search(r'<beats>(\d+)</beats>\s*<beat-type>(\d+)</beat-type>', part)
shownKey = (int(fifths.group(1)), mode.group(1) if mode else 'major') if fifths else None
shownTime = (int(beats.group(1)), int(beats.group(2))) if beats else None
# tempo changes: MuseScore writes each as <sound tempo=...> in the first part
most = 0
for measure in re.findall(r'<measure\b.*?</measure>', part, re.S):
    most = max(most, len(re.findall(r'<sound tempo=', measure)))
types = re.findall(r'<type>(\w+)</type>', x)
short = sum(t in ('32nd', '64th', '128th', '256th') for t in types)
fileKey = None
if key:
    fileKey = (key[0], 'minor' if key[1] == 'minor' else 'major')
keyAgrees = fileKey is not None and shownKey is not None and fileKey[0] == shownKey[0]
timeAgrees = time is not None and shownTime == time
print(f"{name}\tnotes {notes}\tkey file {fileKey} shown {shownKey} {'=' if keyAgrees else '!='}"
      f"\ttime file {time} shown {shownTime} {'=' if timeAgrees else '!='}"
      f"\ttempo changes in a bar at most {most}"
      f"\tshort {short}/{len(types)} {100.0 * short / max(len(types), 1):.1f} %")
PY
done
