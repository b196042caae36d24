#!/usr/bin/env bash
# The tempo MuseScore 3 shows for each tune's .mid against the file's own:
# per tune of a folder (and its subfolders) the file's first tempo in beats a
# minute (60,000,000 / microseconds a quarter note), MuseScore's (its
# MusicXML's first <sound tempo=...>, else its first <per-minute>), and
# whether they agree within one beat a minute; then how many agree of the
# tunes that have notes.
#
# usage: bench/musescore_tempo.sh voxdump tunes-folder [calls] [voxdump arguments]
#   default: 1000 calls, --undocumented
# Needs midicsv and MuseScore 3 (Debian: midicsv, musescore3).
set -euo pipefail
voxdump=$(realpath "$1")
tunes=$2
calls=${3:-1000}
shift $(($# < 3 ? $# : 3))
[ $# -gt 0 ] || set -- --undocumented
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-60s %6s %9s %9s %s\n' tune notes file musescore agree
agree=0 withNotes=0
for tune in "$tunes"/*/*.sid "$tunes"/*.sid; do
    [ -f "$tune" ] || continue
    rm -f "$work"/t.*
    cp "$tune" "$work/t.sid"
    (cd "$work" && "$voxdump" t.sid "$calls" --midi "$@" >/dev/null 2>&1) || true
    name=$(basename "$tune")
    if [ ! -s "$work/t.mid" ]; then
        printf '%-60s %6s %9s %9s %s\n' "$name" - - - "no .mid"
        continue
    fi
    csv=$(midicsv "$work/t.mid")
    notes=$(awk -F', *' '$3 == "Note_on_c" && $6 > 0 { n++ } END { print n + 0 }' <<<"$csv")
    fileBpm=$(awk -F', *' '$3 == "Tempo" { printf "%.2f\n", 60000000 / $4; exit }' <<<"$csv")
    QT_QPA_PLATFORM=offscreen timeout 300 mscore3 -o "$work/t.musicxml" "$work/t.mid" >/dev/null 2>&1 || true
    shown=-
    if [ -s "$work/t.musicxml" ]; then
        shown=$(sed -n 's/.*<sound tempo="\([0-9.]*\)".*/\1/p' "$work/t.musicxml" | head -n 1)
        [ -n "$shown" ] || shown=$(sed -n 's/.*<per-minute>\([0-9.]*\)<.*/\1/p' "$work/t.musicxml" | head -n 1)
        [ -n "$shown" ] || shown=-
    fi
    verdict=$(awk -v f="$fileBpm" -v m="$shown" 'BEGIN {
        if (m == "-" || f == "") { print "-"; exit }
        d = f - m; if (d < 0) d = -d
        if (d <= 1) print "yes"; else printf "no (x%.3f)\n", m / f }')
    if [ "$notes" -gt 0 ]; then
        withNotes=$((withNotes + 1))
        [ "$verdict" != yes ] || agree=$((agree + 1))
    fi
    printf '%-60s %6d %9s %9s %s\n' "$name" "$notes" "${fileBpm:--}" "$shown" "$verdict"
done
echo "MuseScore shows $agree of the $withNotes tunes with notes at the file's tempo (within 1 beat a minute)"
