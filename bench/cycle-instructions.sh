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

work=$(mktemp -d "${TMPDIR:-/dev/shm}/kx-cycle.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

wait_port() {
    local log=$1 pid=$2
    for _ in $(seq 1 1200); do
        if grep -q '^listening on ' "$log" 2>/dev/null; then
            sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$log" | head -n1
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "cycle-instructions.sh: no listening line in $log:" >&2
    cat "$log" >&2
    return 1
}

# Runs a program under callgrind in place of the calling (background) shell.
grind() { exec valgrind --tool=callgrind --callgrind-out-file="$work/$1.out" --dump-line=no "${@:2}"; }

db=$work/lock.db
"$bin/lockserver" --database "sqlite:$db" rooms add 101 >/dev/null
grind lockserver "$bin/lockserver" --listen 127.0.0.1:0 --database "sqlite:$db" 2>"$work/lockserver.err" &
pids+=($!)
lock_pid=${pids[-1]}
lock_port=$(wait_port "$work/lockserver.err" "$lock_pid")

home=$work/home
mkdir -p "$home"
cp -r "$bin/Db" "$home/"
cat >"$home/Kandrilox.ini" <<INI
[SystemInfo]
ServerIp=127.0.0.1
RmtPort=$lock_port
[Config]
M1CommonDataSector=0
[Encoder]
Library=$bin/libhotellock.so
CardFile=$work/card.bin
INI
"$bin/hotellock-card" --ini "$home/Kandrilox.ini" place --serial 0BE0C0DE >/dev/null
grind kandrilox "$bin/kandrilox" --headless --home "$home" --port 0 >"$work/kandrilox.out" 2>"$work/kandrilox.err" &
pids+=($!)
kx_pid=${pids[-1]}
port=$(wait_port "$work/kandrilox.err" "$kx_pid")

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
