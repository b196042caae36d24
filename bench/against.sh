#!/usr/bin/env bash
# Times this tree's voxdump against an older build in the same run, so that a
# slowdown shows the day it lands: the compute-heavy and the write-heavy
# workload (log mode) of both, by wall time, the two builds run in turns,
# best and mean of 5 runs, and the ratio of this tree's to the older one's.
#
#   bench/against.sh [COMMIT | OLDER_VOXDUMP] [voxdump_bench --against options]
#
# A commit (default af021b1) is checked out into a temporary git worktree and
# built there (release); a path to an executable is used as it is. The
# options go to `voxdump_bench --against`: --runs N, --calls N (each given
# count is a run of both workloads; default 3000 and 30000), --only compute
# or --only write. This tree is built with the bench preset.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
older=${1:-af021b1}
[ $# -gt 0 ] && shift
work=$(mktemp -d)
cleanup() {
    if [ -d "$work/src" ]; then git -C "$root" worktree remove --force "$work/src"; fi
    rm -rf "$work"
}
trap cleanup EXIT

if [ -f "$older" ] && [ -x "$older" ]; then
    old_binary=$(realpath "$older")
else
    echo "building $older in $work"
    git -C "$root" worktree add --detach "$work/src" "$older" >/dev/null 2>&1
    cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVOXDUMP_TESTS=OFF >/dev/null
    nice cmake --build "$work/build" --target voxdump >/dev/null
    old_binary=$work/build/voxdump
fi
(cd "$root" && cmake --preset bench >/dev/null &&
    nice cmake --build --preset bench --target voxdump voxdump_bench >/dev/null)
nice "$root/build/bench/bench/voxdump_bench" --against "$@" "$old_binary" \
    "$root/build/bench/voxdump"
