#!/usr/bin/env bash
# Scraping while requests run. Starts the whole system on free loopback ports
# with the station's metrics endpoint on, runs "frontdesk bench" once quiet
# and once while a scraper asks for /metrics and /healthz every INTERVAL
# seconds (default 0.1: 150 times Prometheus's usual 15 s), and prints both
# with the p50 and p99 each operation gained under scraping.
#
#   bench/scrape.sh [BUILD_DIR]          (default: build)
#   CYCLES=500 READS=500 bench/scrape.sh build
#   INTERVAL=0 bench/scrape.sh build     (scrape without pause)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin=$build/bin
cycles=${CYCLES:-200}
reads=${READS:-200}
interval=${INTERVAL:-0.1}
for program in "$bin/lockserver" "$bin/kandrilox" "$bin/frontdesk" "$bin/hotellock-card"; do
    [[ -x $program ]] || { echo "scrape.sh: $program is missing; build the project first" >&2; exit 1; }
done

source "$(dirname "$0")/system.sh"
start_system "$bin" --metrics 0
# Announced before the listening line that start_system waited for.
metrics_port=$(sed -n 's/^metrics on .*:\([0-9]*\)$/\1/p' "$work/kandrilox.err")

# Scrapes until killed, one connection per scrape as a monitoring system's
# first contact would be; counts the answers read whole. The server keeps the
# connection open, so the answer is read by its Content-Length.
scraper() {
    local count=0 line length
    trap 'echo "$count" >"$work/scrapes"; exit 0' TERM
    while :; do
        for path in /metrics /healthz; do
            exec 3<>"/dev/tcp/127.0.0.1/$metrics_port"
            printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n' "$path" >&3
            length=0
            while IFS= read -r -u 3 line; do
                line=${line%$'\r'}
                [ -z "$line" ] && break
                case ${line,,} in content-length:*) length=${line#*: } ;; esac
            done
            [ "$length" -gt 0 ] && read -r -N "$length" -u 3 _
            exec 3<&-
            count=$((count + 1))
        done
        sleep "$interval"
    done
}

# A first run warms the database file and the caches, so that the order of
# the two measured runs does not count.
"$bin/frontdesk" --port "$port" bench --cycles 50 --reads 50 >/dev/null
echo "== quiet: frontdesk bench --cycles $cycles --reads $reads"
"$bin/frontdesk" --port "$port" bench --cycles "$cycles" --reads "$reads" | tee "$work/quiet.txt"
scraper &
scraper_pid=$!
started=$(date +%s.%N)
echo "== scraped: the same while /metrics and /healthz are asked every $interval s"
"$bin/frontdesk" --port "$port" bench --cycles "$cycles" --reads "$reads" | tee "$work/scraped.txt"
ended=$(date +%s.%N)
kill -TERM "$scraper_pid"
wait "$scraper_pid" || true
echo "scrapes: $(cat "$work/scrapes") in $(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }') s"
echo

# Columns of a line: name count "requests" rate "req/s" "p50" p50 "ms" "p99" p99 "ms".
field() { awk -v op="$2" -v col="$3" '$1 == op { print $col }' "$1"; }
echo "== added by scraping (scraped - quiet)"
for op in checkin checkout read all; do
    awk -v op="$op" \
        -v q50="$(field "$work/quiet.txt" "$op" 7)" -v s50="$(field "$work/scraped.txt" "$op" 7)" \
        -v q99="$(field "$work/quiet.txt" "$op" 10)" -v s99="$(field "$work/scraped.txt" "$op" 10)" \
        'BEGIN { printf "%-9s p50 %+.3f ms   p99 %+.3f ms\n", op, s50 - q50, s99 - q99 }'
done
