# Sourced by the end-to-end benchmarks. start_system BIN [OPTION...] starts the
# whole system in a temporary folder on free loopback ports: lockserver on a fresh
# SQLite file with the rooms $rooms (default 101; a copy of the fresh file goes
# to $db_copy when that is set), kandrilox --headless (its rows to
# $kandrilox_out, default /dev/null; the OPTIONs added to its command line)
# with the virtual encoder and a blank card on it. $launch, when set, is put before both server commands (for example
# a valgrind command line; $work/NAME in it names a file per program). It sets
# work, db, home, lock_port, port, lockserver and kandrilox (the process ids)
# and startup_ms (from kandrilox's start to its listening line); everything is
# stopped and removed when the script exits. A program gets $wait_seconds
# (default 10) to start listening.

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits for a program's "listening on ADDR:PORT" line and prints the port.
wait_port() {
    local log=$1 pid=$2
    for _ in $(seq 1 $((${wait_seconds:-10} * 500))); do
        if grep -q '^listening on ' "$log" 2>/dev/null; then
            sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$log" | head -n1
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.002
    done
    echo "$(basename "$0"): no listening line in $log:" >&2
    cat "$log" >&2
    return 1
}

start_system() {
    local bin=$1
    shift
    db=$work/lock.db
    "$bin/lockserver" --database "sqlite:$db" rooms add ${rooms:-101} >/dev/null
    [[ -z ${db_copy:-} ]] || cp "$db" "$db_copy"
    ${launch:+${launch//NAME/lockserver}} "$bin/lockserver" --listen 127.0.0.1:0 --database "sqlite:$db" 2>"$work/lockserver.err" &
    pids+=($!)
    lockserver=${pids[-1]}
    lock_port=$(wait_port "$work/lockserver.err" "$lockserver")

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
    local started
    started=$(date +%s%N)
    ${launch:+${launch//NAME/kandrilox}} "$bin/kandrilox" --headless --home "$home" --port 0 "$@" >"${kandrilox_out:-/dev/null}" \
        2>"$work/kandrilox.err" &
    pids+=($!)
    kandrilox=${pids[-1]}
    port=$(wait_port "$work/kandrilox.err" "$kandrilox")
    startup_ms=$((($(date +%s%N) - started) / 1000000))
    "$bin/hotellock-card" --ini "$home/Kandrilox.ini" place --serial 0BE0C0DE >/dev/null
}
