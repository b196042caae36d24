#!/usr/bin/env bash
# Reads the study's files with programs that know nothing of voxdump: the
# picture with xmllint and rsvg-convert, the MIDI file with midicsv.
# Arguments: the voxdump binary, the example tune, the shared folder (which
# may be absent).
set -euo pipefail
voxdump=$1
example=$2
shared=${3:-}
for tool in xmllint rsvg-convert midicsv; do
    command -v "$tool" >/dev/null || { echo "study files: skipped, $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "study files: $*" >&2; exit 1; }

bars() {
    xmllint --xpath "count(//*[local-name()='g'][starts-with(@id,'voice')]/*[local-name()='rect'])" "$1"
}

# The example tune: voice 1 steps through C major, E-4, G-4, C-5 and C-4, a
# call each: one chord of four keys.
cp "$example" "$work/a.sid"
(cd "$work" && "$voxdump" a.sid 4 --roll --midi >/dev/null)
xmllint --noout "$work/a.svg" || fail "a.svg is not well-formed XML"
[ "$(bars "$work/a.svg")" = 4 ] || fail "a.svg has $(bars "$work/a.svg") note bars, not 4"
rsvg-convert "$work/a.svg" -o "$work/a.png" && [ -s "$work/a.png" ] || fail "rsvg-convert cannot draw a.svg"
events=$(midicsv "$work/a.mid" 2>"$work/midicsv.err" | awk -F', ' '$3 ~ /^Note_/ {printf "%s %s %s %s|", $2, $3, $5, $6}')
[ ! -s "$work/midicsv.err" ] || fail "midicsv: $(cat "$work/midicsv.err")"
# Velocity 123: the envelope has decayed to 238 of 255 at the end of call 1.
expected="1 Note_on_c 60 123|1 Note_on_c 64 123|1 Note_on_c 67 123|1 Note_on_c 72 123|5 Note_off_c 60 0|5 Note_off_c 64 0|5 Note_off_c 67 0|5 Note_off_c 72 0|"
[ "$events" = "$expected" ] || fail "a.mid holds $events"

# The tempo map stands in the first track and again, at the same ticks, in
# the first track with notes (here voice 1's).
tempos() { midicsv "$1" | awk -F', ' -v t="$2" '$1 == t && $3 == "Tempo" { printf "%s %s|", $2, $4 }'; }
[ -n "$(tempos "$work/a.mid" 1)" ] && [ "$(tempos "$work/a.mid" 1)" = "$(tempos "$work/a.mid" 2)" ] ||
    fail "a.mid: tempos $(tempos "$work/a.mid" 1) in the first track, $(tempos "$work/a.mid" 2) in voice 1's"

# Every real tune, 3000 calls: a picture of at most 2 MB that is drawn whole,
# and a MIDI file that reads without complaint, whose voice tracks set their
# bend range (RPN 0) and keep to their channel, the drum hits on channel 10,
# and whose first track with notes holds the first track's tempo map.
if [ -n "$shared" ] && [ -d "$shared/tunes" ]; then
    largest=0 bends=0
    for tune in "$shared"/tunes/*/*.sid; do
        cp "$tune" "$work/b.sid"
        (cd "$work" && "$voxdump" b.sid 3000 --undocumented --table --roll --midi >/dev/null 2>&1) ||
            fail "voxdump failed on $tune"
        size=$(stat -c %s "$work/b.svg")
        [ "$size" -le 2000000 ] || fail "$tune: the picture takes $size bytes"
        [ "$size" -le "$largest" ] || largest=$size
        xmllint --noout "$work/b.svg" || fail "$tune: the picture is not well-formed XML"
        rsvg-convert "$work/b.svg" -o "$work/b.png" || fail "$tune: rsvg-convert cannot draw it"
        midicsv "$work/b.mid" >"$work/b.csv" 2>"$work/midicsv.err" && [ ! -s "$work/midicsv.err" ] ||
            fail "$tune: midicsv: $(cat "$work/midicsv.err")"
        awk -F', ' '
            $3 == "Title_t" { name[$1] = $4 }
            $3 == "Tempo" { tempo[$1] = tempo[$1] " " $2 ":" $4 }
            $3 ~ /^Note_on_c$/ && !first { first = $1 }
            $3 == "Control_c" && $5 == 6 && $6 == 24 { range[$1] = 1 }
            $3 ~ /^(Note_on_c|Note_off_c|Pitch_bend_c)$/ {
                if (name[$1] == "\"Drums\"" ? $4 != 9 : $4 == 9) bad = bad " track " $1 " channel " $4 }
            END {
                for (t in name) if (name[t] ~ /^"Voice/ && !(t in range)) bad = bad " no bend range in track " t
                if (first && tempo[first] != tempo[1]) bad = bad " track " first " tempos" tempo[first] " not" tempo[1]
                if (bad != "") { print bad; exit 1 } }' "$work/b.csv" >"$work/bad" ||
            fail "$tune: $(cat "$work/bad")"
        bends=$((bends + $(grep -c Pitch_bend_c "$work/b.csv" || true)))
    done
    echo "study files: the real tunes' largest picture takes $largest bytes; their MIDI files bend $bends times"
fi
echo "study files: read as they should be"
