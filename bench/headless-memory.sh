#!/usr/bin/env bash
# Resident memory of kandrilox --headless over many requests. Starts the whole
# system in a temporary folder on free loopback ports (lockserver on a SQLite
# file, the virtual encoder), sends the requests in batches with
# "frontdesk bench" (check-in/check-out cycles and card reads, one connection
# per batch, so each batch also writes a connection and a disconnection row)
# and prints kandrilox's resident set size after each batch. Every request
# writes one connection-log row; the figure should stay flat.
#
#   bench/headless-memory.sh [BUILD_DIR]                (default: build)
#   REQUESTS=100000 BATCHES=10 bench/headless-memory.sh build
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin=$build/bin
requests=${REQUESTS:-100000}
batches=${BATCHES:-10}
for program in "$bin/lockserver" "$bin/kandrilox" "$bin/frontdesk" "$bin/hotellock-card"; do
    [[ -x $program ]] || { echo "headless-memory.sh: $program is missing; build the project first" >&2; exit 1; }
done

# The rows go to /dev/null: only the service's own memory is of interest.
source "$(dirname "$0")/system.sh"
start_system "$bin"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$kandrilox/status"; }

# A batch of n requests: a quarter check-in/check-out cycles, the rest card reads.
per_batch=$((requests / batches))
cycles=$((per_batch / 8))
reads=$((per_batch - 2 * cycles - 2))
echo "== kandrilox --headless: $batches batches of $((2 * cycles + reads + 2)) requests"
printf '%10s %12s\n' requests rss_kB
printf '%10d %12d\n' 0 "$(rss_kb)"
sent=0
first=
for _ in $(seq 1 "$batches"); do
    "$bin/frontdesk" --port "$port" bench --cycles "$cycles" --reads "$reads" >/dev/null
    sent=$((sent + 2 * cycles + reads + 2))
    rss=$(rss_kb)
    first=${first:-$rss}
    printf '%10d %12d\n' "$sent" "$rss"
done
echo "growth after the first batch: $((rss - first)) kB over $((sent - 2 * cycles - reads - 2)) requests"
