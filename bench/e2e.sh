#!/usr/bin/env bash
# End-to-end load benchmark. Starts the whole system in a temporary folder on
# free loopback ports (lockserver on a SQLite file, kandrilox --headless with
# the virtual encoder), runs "frontdesk bench" against it, then runs the same
# statements straight on the same SQLite file with bench_sql_direct, and
# prints both with the middleware's cost as a ratio.
#
#   bench/e2e.sh [BUILD_DIR]          (default: build)
#   CYCLES=500 READS=500 bench/e2e.sh build
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin=$build/bin
cycles=${CYCLES:-200}
reads=${READS:-200}
for program in "$bin/lockserver" "$bin/kandrilox" "$bin/frontdesk" "$bin/hotellock-card" "$build/bench/bench_sql_direct"; do
    [[ -x $program ]] || { echo "e2e.sh: $program is missing; build the project first" >&2; exit 1; }
done

source "$(dirname "$0")/system.sh"
kandrilox_out=$work/kandrilox.out start_system "$bin"

echo "== through kandrilox and lockserver: frontdesk bench --cycles $cycles --reads $reads"
"$bin/frontdesk" --port "$port" bench --cycles "$cycles" --reads "$reads" | tee "$work/system.txt"
echo
echo "== the same statements straight on SQLite: bench_sql_direct"
"$build/bench/bench_sql_direct" --database "$db" --cycles "$cycles" --reads "$reads" | tee "$work/direct.txt"
echo

# Columns of a line: name count "requests" rate "req/s" "p50" p50 "ms" "p99" p99 "ms".
field() { awk -v op="$2" -v col="$3" '$1 == op { print $col }' "$1"; }
echo "== middleware cost (system / direct)"
for op in checkin checkout read all; do
    awk -v op="$op" -v s50="$(field "$work/system.txt" "$op" 7)" -v d50="$(field "$work/direct.txt" "$op" 7)" \
        -v srate="$(field "$work/system.txt" "$op" 4)" -v drate="$(field "$work/direct.txt" "$op" 4)" \
        'BEGIN { if (d50 > 0 && srate > 0) printf "%-9s p50 %.1fx slower, throughput %.1fx lower\n", op, s50 / d50, drate / srate }'
done
