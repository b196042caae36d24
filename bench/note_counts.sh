#!/usr/bin/env bash
# Notes per track of the .mid of every tune of a folder, for two builds side
# by side: what a change to the study gains and loses, tune by tune.
#
# usage: bench/note_counts.sh old-voxdump new-voxdump tunes-folder [calls] [voxdump arguments]
# Needs midicsv (Debian: midicsv). Prints per tune the notes of each build
# and, per track that differs, old -> new.
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
tunes=$3
calls=${4:-1500}
shift $(($# < 4 ? $# : 4))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "track name=notes ..." for a .mid.
counts() {
    midicsv "$1" | awk -F', *' '
        $3 == "Title_t" { name[$1] = $4; gsub(/"/, "", name[$1]); order[++n] = $1 }
        $3 == "Note_on_c" && $6 > 0 { notes[$1]++ }
        END { for (k = 2; k <= n; k++) printf "%s=%d\n", name[order[k]], notes[order[k]] + 0 }'
}

printf '%-60s %6s %6s  %s\n' tune old new "tracks that changed (old -> new)"
totalOld=0 totalNew=0
for tune in "$tunes"/*/*.sid "$tunes"/*.sid; do
    [ -f "$tune" ] || continue
    for side in old new; do
        mkdir -p "$work/$side"
        cp "$tune" "$work/$side/t.sid"
        binary=$old
        [ "$side" = new ] && binary=$new
        (cd "$work/$side" && "$binary" t.sid "$calls" --midi "$@" >/dev/null 2>&1) || true
        counts "$work/$side/t.mid" >"$work/$side.counts"
    done
    sumOld=$(awk -F= '{ s += $2 } END { print s + 0 }' "$work/old.counts")
    sumNew=$(awk -F= '{ s += $2 } END { print s + 0 }' "$work/new.counts")
    changed=$(paste -d= "$work/old.counts" "$work/new.counts" |
        awk -F= '$2 != $4 { printf "%s %d -> %d; ", $1, $2, $4 }')
    printf '%-60s %6d %6d  %s\n' "$(basename "$tune")" "$sumOld" "$sumNew" "$changed"
    totalOld=$((totalOld + sumOld))
    totalNew=$((totalNew + sumNew))
done
printf '%-60s %6d %6d\n' total "$totalOld" "$totalNew"
