#!/usr/bin/env bash
# Plays a sample of a collection with voxdump --collection and measures it:
# the wall time, songs a second, and how often the lengths found agree with
# the lengths the collection's listeners wrote down.
#
# usage: bench/collection.sh VOXDUMP AGREEMENT COLLECTION [JOBS] [voxdump options...]
#   AGREEMENT: the voxdump_length_agreement tool (bench preset)
#   COLLECTION: a folder with tunes/ and lengths.tsv, e.g. ../shared/collection
# Set KEEP=DIR to keep the table and the list there.
set -euo pipefail
voxdump=$1
agreement=$2
collection=$3
jobs=${4:-2}
shift $(($# < 4 ? $# : 4))
work=${KEEP:-$(mktemp -d)}
mkdir -p "$work"

start=$(date +%s%N)
status=0
"$voxdump" --collection --undocumented --max-cycles 1000000 -j "$jobs" "$@" \
    --csv "$work/songs.csv" --songlengths "$work/songs.md5" "$collection/tunes" 2>"$work/errors" ||
    status=$?
end=$(date +%s%N)
songs=$(grep -vc -e "^path," -e "^#settings," "$work/songs.csv" || true)
millis=$(((end - start) / 1000000))
rate=$((songs * 100000 / millis / jobs))  # hundredths of songs a second per job
echo "$songs songs in $((millis / 1000)).$(printf %03d $((millis % 1000))) s with $jobs jobs" \
    "(exit status $status): $((rate / 100)).$(printf %02d $((rate % 100))) songs a second per job"
"$agreement" "$collection/lengths.tsv" "$work/songs.csv" ${VERBOSE:+-v}
[ -n "${KEEP:-}" ] || rm -rf "$work"
