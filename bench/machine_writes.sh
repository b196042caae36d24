#!/bin/bash
# How many interrupt-driven tunes write the sound chip in 30 or more of 3000
# calls with --machine: one line per tune (path, calls with a write, exit
# status, seconds, the first diagnostic).
#
#   bench/machine_writes.sh VOXDUMP COLLECTION [EVERY [OFFSET]] > writes.tsv
#
# COLLECTION holds lengths.tsv (path, md5, kind, interrupt_driven, ...) and
# the tunes under tunes/; with EVERY, only every EVERY-th interrupt-driven
# tune (from OFFSET, 1 being the first) is run. Each tune is copied to a
# scratch folder and given 60 seconds.
set -u
voxdump=$1
collection=$2
every=${3:-1}
offset=${4:-1}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
awk -F'\t' 'NR > 1 && $4 == 1 { print $1 }' "$collection/lengths.tsv" |
    awk -v e="$every" -v o="$offset" 'NR % e == o % e' |
    while read -r path; do
        rm -f "$scratch"/*
        cp "$collection/tunes/$path" "$scratch/t.sid"
        start=$(date +%s.%N)
        (cd "$scratch" && timeout 60 "$voxdump" t.sid 3000 --machine >out.txt 2>err.txt)
        status=$?
        end=$(date +%s.%N)
        calls=0
        [ -f "$scratch/t.log" ] &&
            calls=$(awk '/^#/ { c = 1; next } c == 1 && NF >= 3 { n++; c = 2 } END { print n + 0 }' \
                "$scratch/t.log")
        printf '%s\t%d\t%d\t%.2f\t%s\n' "$path" "$calls" "$status" "$(echo "$end - $start" | bc)" \
            "$(head -n 1 "$scratch/err.txt")"
    done
