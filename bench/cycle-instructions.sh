#!/usr/bin/env bash
# Instructions per check-in/check-out cycle in lockserver and in kandrilox,
# counted by valgrind's callgrind: unlike wall-clock time, the count does not
# change with the load of a shared machine, so it compares a change before
# and after. Both run under callgrind on tmpfs (no disk waits) in a temporary
# folder; after WARMUP cycles the counters are zeroed, CYCLES cycles run, and
# the counts are dumped. Blank-card reads are counted the same way.
#
#   bench/cycle-instructions.sh [BUILD_DIR]      (default: build)
#   CYCLES=50 READS=100 bench/cycle-instructions.sh build
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin=$build/bin
cycles=${CYCLES:-30}
reads=${READS:-60}
warmup=${WARMUP:-5}
command -v valgrind >/dev/null || { echo "cycle-instructions.sh: valgrind is not installed" >&2; exit 1; }

export TMPDIR=${TMPDIR:-/dev/shm}
source "$(dirname "$0")/system.sh"
launch="valgrind --tool=callgrind --callgrind-out-file=$work/NAME.out --dump-line=no" wait_seconds=120 \
    start_system "$bin"
lock_pid=$lockserver
kx_pid=$kandrilox

desk() { "$bin/frontdesk" --port "$port" --timeout 120000 bench "$@"; }
desk --cycles "$warmup" --reads 0 >/dev/null

# Instructions of process $1 since its counters were last zeroed: a dump
# writes them to a new file beside its output file ($2.out.N).
total() {
    callgrind_control -d "$1" >/dev/null 2>&1
    local file
    file=$(ls -t "$work/$2.out".* | head -n1)
    awk '/^(summary|totals):/ { print $2; exit }' "$file"
}
callgrind_control -z "$lock_pid" >/dev/null 2>&1
callgrind_control -z "$kx_pid" >/dev/null 2>&1
desk --cycles "$cycles" --reads 0 >/dev/null
ls_cycle=$(total "$lock_pid" lockserver)
kx_cycle=$(total "$kx_pid" kandrilox)
callgrind_control -z "$kx_pid" >/dev/null 2>&1
desk --cycles 0 --reads 0 --blank-reads "$reads" >/dev/null
kx_read=$(total "$kx_pid" kandrilox)

echo "instructions per check-in + check-out cycle ($cycles cycles after $warmup):"
echo "  lockserver $((ls_cycle / cycles))"
echo "  kandrilox  $((kx_cycle / cycles))"
echo "instructions per blank-card read in kandrilox ($reads reads): $((kx_read / reads))"
