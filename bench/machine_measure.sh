#!/bin/bash
# Measures the machine environment on the interrupt-driven tunes of a
# collection sample: how many write the sound chip in at least half of their
# calls (3000 calls, start song, --machine --undocumented), and how often
# --length agrees with the sample's list of lengths (within 2 s and 10 s),
# with the sample's PSID tunes measured the same way for comparison. Besides
# the time at the end of the first repeat (measured), the length of the
# repeating part (loop) is recorded.
#
#   bench/machine_measure.sh VOXDUMP COLLECTION [EXTRA_TUNES_DIR] [irq] > report.tsv
#
# With "irq" the PSID tunes with a play address are left out, with "psid"
# only they are measured.
#
# COLLECTION holds lengths.tsv (path, md5, kind, interrupt_driven, songs,
# start_song, lengths) and the tunes under tunes/. The tunes are copied to a
# scratch folder, so that nothing is written beside the originals.
set -u
voxdump=$1
collection=$2
extra=${3:-}
only=${4:-all}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Seconds of m:ss(.fff).
seconds() { awk -F: '{ printf "%.3f", $1 * 60 + $2 }' <<<"$1"; }

# The share of calls (call 0 excluded) whose part of the .log has a write.
playing() {
    awk '/^#/ { c++; next } /^[0-9]/ && c > 0 { w[c] = 1 } END { n = 0; for (k in w) n++; printf "%d %d", n, c }' "$1"
}

printf 'tune\tkind\tcalls_with_writes\tcalls\tplays\tlisted\tmeasured\tloop\tstatus\n'
run_one() {  # tune kind listed-length
    local tune=$1 kind=$2 listed=$3 copy="$scratch/t.sid"
    cp "$tune" "$copy"
    local counts="- -" plays=- measured=- loop=- status
    if [ "$kind" != PSID ]; then
        timeout 300 "$voxdump" "$copy" 3000 --machine --undocumented >/dev/null 2>"$scratch/err"
        status=$?
        read -r with calls <<<"$(playing "$scratch/t.log")"
        counts="$with $calls"
        plays=$([ "$calls" -gt 0 ] && [ $((2 * with)) -ge "$calls" ] && echo 1 || echo 0)
    fi
    local line
    timeout 600 "$voxdump" "$copy" --length --machine --undocumented --max-cycles 1000000 \
        >"$scratch/out" 2>/dev/null
    status=$?  # the --length run's exit status
    line=$(tail -1 "$scratch/out")
    if [[ $line =~ lasts\ ([0-9]+:[0-9.]+) ]]; then measured=$(seconds "${BASH_REMATCH[1]}"); fi
    if [[ $line =~ repeats\ from\ ([0-9]+:[0-9.]+) ]]; then
        loop=$(awk -v a="$measured" -v b="$(seconds "${BASH_REMATCH[1]}")" 'BEGIN { printf "%.3f", a - b }')
    fi
    local with calls
    read -r with calls <<<"$counts"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tune" "$kind" "$with" "$calls" "$plays" "$listed" "$measured" "$loop" "$status"
}

tail -n +2 "$collection/lengths.tsv" | while IFS=$'\t' read -r path md5 kind driven songs start lengths; do
    listed=$(cut -d' ' -f"$(( start < 1 ? 1 : start ))" <<<"$lengths")
    k=$([ "$driven" = 1 ] && echo "$kind-irq" || echo PSID)
    [ "$only" = irq ] && [ "$k" = PSID ] && continue
    [ "$only" = psid ] && [ "$k" != PSID ] && continue
    run_one "$collection/tunes/$path" "$k" "$(seconds "$listed")"
done
if [ -n "$extra" ] && [ "$only" != psid ]; then
    for tune in "$extra"/*.sid; do run_one "$tune" RSID-extra -; done
fi
