#!/usr/bin/env bash
# Runs two builds of voxdump on the same tunes with the same arguments and
# compares everything they produce byte for byte: the .log or .dis, the
# study's files, standard output, standard error and the exit status. For a
# change that must keep every output as it was:
#
#   bench/compare_outputs.sh OLD_VOXDUMP NEW_VOXDUMP [tunes...]
#
# Without tunes: examples/arpeggio.sid and ../shared/tunes/*/*.sid (from the
# repository's root). Each run has a folder of its own with a copy of the
# tune under its own name. Prints each difference and the count; exits 1 when
# there is one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
tunes=("$@")
if [ ${#tunes[@]} -eq 0 ]; then
    tunes=("$root/examples/arpeggio.sid")
    if [ -d "$root/../shared/tunes" ]; then tunes+=("$root"/../shared/tunes/*/*.sid); fi
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

argument_sets=(
    ""
    "3000 1"
    "100 0 1"
    "100 1 1"
    "--undocumented"
    "2"
    "--undocumented 50 0"
    "--table --roll --midi --length"
    "--machine 500"
)
runs=0
different=0
for tune in "${tunes[@]}"; do
    name=$(basename "$tune")
    for arguments in "${argument_sets[@]}"; do
        for build in old new; do
            rm -rf "${work:?}/$build"
            mkdir "$work/$build"
            cp "$tune" "$work/$build/$name"
            binary=$old
            [ "$build" = new ] && binary=$new
            # shellcheck disable=SC2086 # the arguments are meant to split
            (set +e; cd "$work/$build" && "$binary" "$name" $arguments >stdout 2>stderr
             echo $? >status)
        done
        runs=$((runs + 1))
        if ! diff -r "$work/old" "$work/new" >"$work/diff"; then
            different=$((different + 1))
            echo "compare: $name $arguments: the outputs differ"
            head -n 20 "$work/diff"
        fi
    done
done
echo "compare: $runs runs of each build, $different with different outputs"
[ "$different" -eq 0 ]
