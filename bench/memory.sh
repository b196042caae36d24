#!/usr/bin/env bash
# How a song's memory grows with its calls: plays one tune as a collection's
# song (--collection --calls N) for several N and prints the peak resident
# memory of each run, and the bytes a call that each step added. A song whose
# state never repeats (or repeats late) plays all N calls; memory that stays
# flat shows as 0 bytes a call.
#
# usage: bench/memory.sh VOXDUMP TUNE [N...]
#   N: the calls of each run, ascending (default 50000 100000 200000 400000)
#   e.g. bench/memory.sh build/release/voxdump \
#          ../shared/collection/tunes/MUSICIANS/P/Pegasus/Impulses.sid
#   or, 30 minutes of 17,000 calls a second that never repeat:
#        bench/storm_tune.sh /tmp/storm.sid
#        bench/memory.sh build/release/voxdump /tmp/storm.sid 1000000 4000000 16000000 30000000
# Needs GNU time (/usr/bin/time) for the peak.
set -euo pipefail
voxdump=$1
tune=$2
shift 2
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(50000 100000 200000 400000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
previousKb=0
previousCalls=0
for n in "${counts[@]}"; do
    /usr/bin/time -f "%M %e" -o "$work/time" "$voxdump" --collection --undocumented \
        --max-cycles 1000000 -j 1 --calls "$n" --csv "$work/songs.csv" "$tune" 2>/dev/null || true
    read -r kb seconds <"$work/time"
    played=$(grep -v -e '^path,' -e '^#settings,' "$work/songs.csv" | head -1 | cut -d, -f10)
    line="$n calls asked, $played played: peak $kb KiB in $seconds s"
    if [ "$previousCalls" -gt 0 ] && [ "$played" -gt "$previousCalls" ]; then
        line+=", $(((kb - previousKb) * 1024 / (played - previousCalls))) bytes a call since"
    fi
    echo "$line"
    previousKb=$kb
    previousCalls=$played
done
