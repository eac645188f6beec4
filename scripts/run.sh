#!/usr/bin/env bash
# Builds what the system needs to run (not the tests or benchmarks) and runs it
# with its embedded defaults: lockserver on build/bin/lock.db (rooms 101-110)
# on 127.0.0.1:2008, and kandrilox on port 7800 with the virtual encoder.
# Headless by default; --gui shows the tray and windows. Ctrl-C stops both.
#   scripts/run.sh [--gui] [--no-build]
# --no-build runs the program folder as it is ($KANDRILOX_BIN_DIR, default
# build/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=(--headless)
build=yes
for arg in "$@"; do
    case "$arg" in
    --gui) mode=() ;;
    --no-build) build=no ;;
    *) echo "usage: scripts/run.sh [--gui] [--no-build]" >&2; exit 2 ;;
    esac
done
store=127.0.0.1:2008

bin="$root/build/bin"
if [ $build = yes ]; then
    "$root/scripts/deps.sh"
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KANDRILOX_CMAKE_ARGS:-} >/dev/null
    cmake --build "$root/build" -j"$(nproc)" \
        --target kandrilox lockserver hotellock hotellock-card frontdesk program_files
else
    bin=${KANDRILOX_BIN_DIR:-$bin}
fi
cd "$bin"

./lockserver --database sqlite:lock.db rooms add 101-110 >/dev/null
# lockserver says "listening on ADDR:PORT" once it listens; until then (or
# when it ends, say because another program holds the port) nobody must be
# taken for it.
log=$(mktemp "${TMPDIR:-/tmp}/kandrilox-lockserver.XXXXXX")
./lockserver --listen "$store" --database sqlite:lock.db 2>"$log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do
    grep -q "^listening on $store\$" "$log" && break
    kill -0 $server 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "^listening on $store\$" "$log"; then
    cat "$log" >&2
    echo "Kandrilox: the records store could not listen on $store; is another program using that port?" \
         "(ss -ltnp 'sport = :${store##*:}' shows which)" >&2
    exit 1
fi
# From here on lockserver's messages go to the terminal.
tail -n +2 -f "$log" >&2 --pid=$server &

echo "Kandrilox: records store on $store, front desk on port 7800. Ctrl-C stops." >&2
./kandrilox "${mode[@]}"
