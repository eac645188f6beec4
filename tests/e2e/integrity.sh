#!/usr/bin/env bash
# The lock database holding together under races and crashes, with the real
# programs on loopback: lockserver, kandrilox --headless stations with the
# virtual encoder, frontdesk and hotellock-card. Every scenario is a bounded
# loop; it prints its counts and fails when one that must be zero is not.
#
#   integrity.sh BIN_DIR race sqlite|postgresql   two stations check the same free room in at once
#   integrity.sh BIN_DIR kill-lockserver          lockserver killed during check-ins and check-outs
#   integrity.sh BIN_DIR kill-station             kandrilox killed during check-ins and check-outs
#   integrity.sh BIN_DIR full-disk                a check-in on a full disk (root: a small tmpfs;
#                                                 otherwise a read-only database file)
# ROUNDS (race, default 30) and KILLS (check-in/check-out pairs, default 16) bound the loops.
# Exit codes: 0 passed, 1 failed, 77 skipped.
set -euo pipefail

bin=$(cd "$1" && pwd)
scenario=$2
backend=${3:-sqlite}
rounds=${ROUNDS:-30}
kills=${KILLS:-16}

work=$(mktemp -d "${TMPDIR:-/tmp}/kx-integrity.XXXXXX")
pids=()
pg_database=
mounted=
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [[ -n $pg_database ]]; then
        psql_admin -c "DROP DATABASE IF EXISTS $pg_database WITH (FORCE)" >/dev/null 2>&1 || true
    fi
    if [[ -n $mounted ]]; then umount "$mounted" 2>/dev/null || true; fi
    [[ -n ${KEEP_WORK:-} ]] && echo "integrity.sh: kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "integrity.sh: $*" >&2; exit 1; }
skip() { echo "integrity.sh: skipped: $*"; exit 77; }

# Waits for "listening on ADDR:PORT" in log and prints the port.
wait_port() {
    local log=$1 pid=$2
    for _ in $(seq 1 400); do
        if grep -q '^listening on ' "$log" 2>/dev/null; then
            sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$log" | head -n1
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.025
    done
    cat "$log" >&2
    fail "no listening line in $log"
}

# A random pause of 0 to $1 milliseconds.
pause() { sleep "$(awk -v max="$1" -v r="$RANDOM" 'BEGIN { printf "%.3f", (r % (max + 1)) / 1000 }')"; }

psql_admin() { psql "$KANDRILOX_TEST_POSTGRES_URL" -v ON_ERROR_STOP=1 -q "$@"; }

# How long frontdesk waits for an answer: long enough for a loaded machine, as a
# late answer would be counted as none; a request a kill left unanswered costs it.
desk_timeout=${DESK_TIMEOUT_MS:-10000}
[[ $scenario != kill-* ]] || desk_timeout=${DESK_TIMEOUT_MS:-3000}
[[ $scenario != full-disk ]] || desk_timeout=${DESK_TIMEOUT_MS:-3000}

db_url=
lock_pid=
lock_port=0
lock_starts=0
start_lockserver() {
    lock_starts=$((lock_starts + 1))
    local log=$work/lockserver.$lock_starts.err
    "$bin/lockserver" --listen "127.0.0.1:$lock_port" --database "$db_url" 2>"$log" &
    lock_pid=$!
    pids+=("$lock_pid")
    lock_port=$(wait_port "$log" "$lock_pid")
}
kill_lockserver() { kill -9 "$lock_pid" 2>/dev/null || true; wait "$lock_pid" 2>/dev/null || true; }

use_backend() {
    if [[ $1 == postgresql ]]; then
        [[ -n ${KANDRILOX_TEST_POSTGRES_URL:-} ]] ||
            skip "KANDRILOX_TEST_POSTGRES_URL is not set (scripts/test-postgres.sh start gives one)"
        command -v psql >/dev/null || skip "psql is not installed"
        pg_database=kandrilox_integrity_$$
        psql_admin -c "DROP DATABASE IF EXISTS $pg_database" -c "CREATE DATABASE $pg_database" >/dev/null
        db_url=${KANDRILOX_TEST_POSTGRES_URL%/*}/$pg_database
    else
        db_url=sqlite:${2:-$work/lock.db}
    fi
}

# Stations: one program folder each, with its own card slot.
declare -A station_pid station_port station_starts
make_station() {
    local home=$work/$1
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
CardFile=$home/card.bin
INI
    station_starts[$1]=0
}
start_station() {
    local home=$work/$1
    station_starts[$1]=$((station_starts[$1] + 1))
    local log=$home/kandrilox.${station_starts[$1]}.err
    "$bin/kandrilox" --headless --home "$home" --port 0 >>"$home/kandrilox.out" 2>"$log" &
    station_pid[$1]=$!
    pids+=("${station_pid[$1]}")
    station_port[$1]=$(wait_port "$log" "${station_pid[$1]}")
}
kill_station() {
    kill -9 "${station_pid[$1]}" 2>/dev/null || true
    wait "${station_pid[$1]}" 2>/dev/null || true
}
# Everything the station reported on standard error, over all its runs.
station_reports() { cat "$work/$1"/kandrilox.*.err; }
# Waits until the station's journal is empty (its start-up mended or reported it).
wait_journal() {
    for _ in $(seq 1 200); do
        [[ -e $work/$1/CardJournal.json ]] || return 0
        sleep 0.025
    done
}

place_card() { "$bin/hotellock-card" --ini "$work/$1/Kandrilox.ini" place --serial "$2" >/dev/null; }
# The room the card on the station's encoder opens (0 for a blank card, none without a card).
card_room() {
    "$bin/hotellock-card" --ini "$work/$1/Kandrilox.ini" show --json |
        sed -n 's/.*"room":\(-\{0,1\}[0-9]*\).*/\1/p' | grep . || echo none
}
# frontdesk against a station; writes what it printed to the file $2.
desk() {
    local name=$1 out=$2
    shift 2
    "$bin/frontdesk" --port "${station_port[$name]}" --timeout "$desk_timeout" "$@" >"$out" 2>&1 || true
}
checkin() { desk "$1" "$2" checkin "$3" Li "2024-05-20 14:00:00" "2024-05-22 12:00:00"; }
# The result code in a frontdesk output, or "none" when no reply came.
reply() { sed -n 's/^result \([0-9]*\).*/\1/p' "$1" | grep . || echo none; }

records() { "$bin/lockserver" --database "$db_url" records; }
count_stays() { grep -c "^stay .* Room=$2 " "$1" || true; }
count_open_stays() { grep "^stay .* Room=$2 " "$1" | grep -c "enOverride=0" || true; }
count_cards() { grep -c "^card .* Room=$2 " "$1" || true; }

race() {
    use_backend "$backend"
    "$bin/lockserver" --database "$db_url" rooms add "101-$((100 + rounds))" >/dev/null
    start_lockserver
    make_station a
    make_station b
    start_station a
    start_station b
    local single=0 double=0 touched=0 other=0
    for i in $(seq 1 "$rounds"); do
        local room=$((100 + i))
        place_card a "$(printf 'A%07X' "$i")"
        place_card b "$(printf 'B%07X' "$i")"
        checkin a "$work/a.$i" "$room" &
        local first=$!
        checkin b "$work/b.$i" "$room" &
        wait "$first" $!
        local ra rb
        ra=$(reply "$work/a.$i")
        rb=$(reply "$work/b.$i")
        if [[ $ra == 0 && $rb == 0 ]]; then
            double=$((double + 1))
        elif [[ "$ra $rb" == "0 17" || "$ra $rb" == "17 0" ]]; then
            single=$((single + 1))
            local loser=a
            [[ $ra == 17 ]] || loser=b
            [[ $(card_room "$loser") == 0 ]] || touched=$((touched + 1))
        else
            other=$((other + 1))
            echo "round $i: replies '$ra' and '$rb'" >&2
        fi
    done
    records >"$work/records"
    local stays_wrong=0
    for i in $(seq 1 "$rounds"); do
        local room=$((100 + i))
        [[ $(count_open_stays "$work/records" "$room") == 1 && $(count_cards "$work/records" "$room") == 1 ]] ||
            stays_wrong=$((stays_wrong + 1))
    done
    echo "race ($backend): $rounds rounds of two stations checking one free room in at once:" \
        "$single answered once 0 and once 17; double check-ins $double; loser's card touched $touched;" \
        "other replies $other; rooms without exactly one open stay and one card record $stays_wrong"
    [[ $single == "$rounds" && $double == 0 && $touched == 0 && $stays_wrong == 0 ]] || fail "race ($backend) failed"
}

# Runs KILLS check-in/check-out pairs on station s, each operation with a kill
# of the program named by $1 at a random moment, then counts what the kills left.
kill_loop() {
    local victim=$1
    use_backend sqlite
    "$bin/lockserver" --database "$db_url" rooms add "101-$((101 + kills))" >/dev/null
    start_lockserver
    make_station s
    start_station s
    for i in $(seq 1 "$kills"); do
        local room=$((100 + i))
        place_card s "$(printf 'C0DE%04X' "$i")"
        for op in in out; do
            if [[ $op == in ]]; then
                checkin s "$work/in.$i" "$room" &
            else
                desk s "$work/out.$i" checkout "$room" &
            fi
            local desk_pid=$!
            pause "${KILL_WINDOW_MS:-40}"
            if [[ $victim == lockserver ]]; then kill_lockserver; else kill_station s; fi
            wait "$desk_pid"
            card_room s >"$work/card-$op.$i"
            if [[ $victim == lockserver ]]; then start_lockserver; else start_station s; fi
        done
    done
    # One more request, so that what the last kill left is settled too.
    place_card s C0DEFFFF
    checkin s "$work/last" "$((101 + kills))"
    [[ $victim == lockserver ]] || wait_journal s
    records >"$work/records"
    station_reports s >"$work/reports"

    local ok=0 success_without_records=0 records_without_reply=0 half=0 double=0 unreported=0 mended=0
    local checkout_not_done=0
    for i in $(seq 1 "$kills"); do
        local room=$((100 + i))
        local rin rout stays open cards told_in told_out
        rin=$(reply "$work/in.$i")
        rout=$(reply "$work/out.$i")
        stays=$(count_stays "$work/records" "$room")
        open=$(count_open_stays "$work/records" "$room")
        cards=$(count_cards "$work/records" "$room")
        told_in=$(grep -c "check in of room $room," "$work/reports" || true)
        told_out=$(grep -c "check out of room $room," "$work/reports" || true)
        [[ $told_in == 0 ]] || mended=$((mended + 1))
        local bad=0
        [[ $stays == "$cards" ]] || { half=$((half + 1)); bad=1; }
        [[ $stays -le 1 ]] || { double=$((double + 1)); bad=1; }
        if [[ $rin == 0 && $stays != 1 ]]; then success_without_records=$((success_without_records + 1)); bad=1; fi
        if [[ $rin != 0 && $stays == 1 && $told_in == 0 ]]; then records_without_reply=$((records_without_reply + 1)); bad=1; fi
        # A card written for the room with no records of it, and nobody told.
        if [[ $(cat "$work/card-in.$i") == "$room" && $stays == 0 && $told_in == 0 ]]; then
            unreported=$((unreported + 1)); bad=1
        fi
        # Records closed while the card still opens the room, and nobody told.
        if [[ $stays == 1 && $open == 0 && $(cat "$work/card-out.$i") == "$room" && $told_out == 0 ]]; then
            unreported=$((unreported + 1)); bad=1
        fi
        if [[ $rout == 0 && ($open != 0 || $(cat "$work/card-out.$i") == "$room") ]]; then
            checkout_not_done=$((checkout_not_done + 1)); bad=1
        fi
        if [[ $bad == 0 ]]; then ok=$((ok + 1)); else
            echo "room $room: check-in reply $rin, check-out reply $rout, stays $stays (open $open), card records $cards," \
                "card after check-in $(cat "$work/card-in.$i"), after check-out $(cat "$work/card-out.$i")," \
                "reports $told_in/$told_out" >&2
        fi
    done
    local temporaries
    temporaries=$(find "$work/s" -name 'card.bin.tmp-*' | wc -l)
    echo "kill $victim: $((2 * kills)) kills in $kills check-ins and $kills check-outs: rooms consistent $ok/$kills," \
        "reported and settled by the journal $mended; successes without records $success_without_records;" \
        "records without a reply $records_without_reply; half-recorded check-ins $half; double stays $double;" \
        "cards left unreported $unreported; check-outs answered 0 but not done $checkout_not_done;" \
        "encoder temporary files left $temporaries"
    [[ $ok == "$kills" && $temporaries == 0 ]] || fail "kill $victim failed"
}

# A check-in while the database cannot store anything: it must fail before
# the card is written.
full_disk() {
    local dbdir=$work/db how
    mkdir -p "$dbdir"
    if [[ $(id -u) != 0 ]]; then
        how="a read-only database file (not root: no tmpfs)"
    elif mount -t tmpfs -o size=2m kx-full-disk "$dbdir" 2>/dev/null; then
        mounted=$dbdir
        how="a 2 MiB tmpfs filled up"
    else
        skip "root, but no tmpfs can be mounted here, and a read-only file does not stop root"
    fi
    use_backend sqlite "$dbdir/lock.db"
    "$bin/lockserver" --database "$db_url" rooms add 101-102 >/dev/null
    start_lockserver
    make_station s
    start_station s
    place_card s C0DE0001
    checkin s "$work/first" 101
    [[ $(reply "$work/first") == 0 ]] || fail "the check-in before the disk filled up failed: $(cat "$work/first")"
    if [[ -n $mounted ]]; then
        # Fill the disk, and let the write-ahead log start afresh so that no
        # space is left in it either.
        dd if=/dev/zero of="$dbdir/filler" bs=64k 2>/dev/null || true
        sync
    else
        kill_lockserver
        chmod a-w "$dbdir/lock.db" "$dbdir"
        start_lockserver
    fi
    place_card s C0DE0002
    checkin s "$work/full" 102
    local r card
    r=$(reply "$work/full")
    card=$(card_room s)
    if [[ -z $mounted ]]; then chmod u+w "$dbdir" "$dbdir/lock.db"; else rm -f "$dbdir/filler"; fi
    records >"$work/records"
    echo "full disk ($how): check-in reply '$r', card room after it '$card'," \
        "stays of the room $(count_stays "$work/records" 102), card records $(count_cards "$work/records" 102)"
    [[ $r != 0 && $card == 0 && $(count_stays "$work/records" 102) == 0 ]] || fail "full disk failed"
    grep -q . "$work/s"/kandrilox.*.err || fail "the station reported nothing"
}

case $scenario in
race) race ;;
kill-lockserver) kill_loop lockserver ;;
kill-station) kill_loop station ;;
full-disk) full_disk ;;
*) fail "unknown scenario $scenario" ;;
esac
