#!/usr/bin/env bash
# How readable the .mid is as music, over a folder of tunes: per tune the
# pitched notes (chord keys included) and the share of them that last at
# most two calls, as the note model writes them (before they are held to
# whole rows in the files), and, once MuseScore has made a score of the .mid,
# the share of the pitched notes it writes as 32nd notes or shorter and the
# voice tracks it shows as percussion; then the medians.
#
# usage: bench/transcription.sh voxdump note-lengths tunes-folder [calls] [voxdump arguments]
#   note-lengths: the benchmark's voxdump_note_lengths, or "midi" to count
#   the notes of the .mid instead (for a build that has no such tool)
# Needs midicsv, xmllint and MuseScore 3 (Debian: midicsv, libxml2-utils, musescore3).
set -euo pipefail
voxdump=$(realpath "$1")
lengths=$2
[ "$lengths" = midi ] || lengths=$(realpath "$lengths")
tunes=$3
calls=${4:-1000}
shift $(($# < 4 ? $# : 4))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-60s %6s %8s %8s %5s\n' tune notes "<=2 calls" "<=32nd" "perc"
: >"$work/short" ; : >"$work/written"
for tune in "$tunes"/*/*.sid "$tunes"/*.sid; do
    [ -f "$tune" ] || continue
    cp "$tune" "$work/t.sid"
    (cd "$work" && "$voxdump" t.sid "$calls" --midi "$@" >/dev/null 2>&1) || true
    if [ "$lengths" = midi ]; then
        # Pitched notes of the .mid (channels 1 to 9) and their lengths in ticks.
        read -r notes short < <(midicsv "$work/t.mid" | awk -F', *' '
            $3 == "Note_on_c" && $6 > 0 && $4 < 9 { on[$4 "," $5] = $2 }
            ($3 == "Note_off_c" || ($3 == "Note_on_c" && $6 == 0)) && ($4 "," $5) in on {
                n++; if ($2 - on[$4 "," $5] <= 2) s++; delete on[$4 "," $5] }
            END { printf "%d %d\n", n, s }')
    else
        read -r notes short < <(cd "$work" && "$lengths" t.sid "$calls" "$@" 2>/dev/null)
    fi
    # MuseScore's score of it.
    QT_QPA_PLATFORM=offscreen timeout 300 mscore3 -o "$work/t.musicxml" "$work/t.mid" >/dev/null 2>&1 || true
    x() { xmllint --nonet --xpath "$1" "$work/t.musicxml" 2>/dev/null || echo 0; }
    written=$(x "count(//note[pitch][not(grace)])")
    tiny=$(x "count(//note[pitch][not(grace)][type='32nd' or type='64th' or type='128th' or type='256th'])")
    percussion=0
    for id in $(x "//score-part[contains(part-name, 'Voice')]/@id" | sed -n 's/.*id="\([^"]*\)".*/\1/p'); do
        [ "$(x "count(//part[@id='$id']//clef[sign='percussion'])")" = 0 ] || percussion=$((percussion + 1))
    done
    shortShare=$(awk -v s="$short" -v n="$notes" 'BEGIN { print n ? 100 * s / n : 0 }')
    writtenShare=$(awk -v s="$tiny" -v n="$written" 'BEGIN { print n ? 100 * s / n : 0 }')
    [ "$notes" = 0 ] || echo "$shortShare" >>"$work/short"
    [ "$written" = 0 ] || echo "$writtenShare" >>"$work/written"
    echo "$percussion" >>"$work/percussion"
    printf '%-60s %6d %7.1f%% %7.1f%% %5d\n' "$(basename "$tune")" "$notes" "$shortShare" "$writtenShare" "$percussion"
done
printf '%-60s %6s %7s%% %7s%% %5d\n' "median (sum of percussion tracks)" "" "$(median <"$work/short")" \
    "$(median <"$work/written")" "$(awk '{ s += $1 } END { print s + 0 }' "$work/percussion")"
