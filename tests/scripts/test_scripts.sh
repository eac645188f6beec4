#!/usr/bin/env bash
# The README's two commands where they must refuse to go on:
#   ci-postgres  under CI=true, scripts/test.sh fails when PostgreSQL cannot
#                start (here: no PostgreSQL programs), before it builds anything;
#   run-store    scripts/run.sh does not go on against another program that
#                holds the records store's port.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'kill $holder 2>/dev/null; rm -rf "$scratch"' EXIT
holder=

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case "${1:-}" in
ci-postgres)
    CI=true PG_BIN="$scratch/no-postgresql" KANDRILOX_TEST_POSTGRES_DIR="$scratch/pg" \
        timeout 120 "$root/scripts/test.sh" >"$scratch/out" 2>&1
    rc=$?
    cat "$scratch/out"
    [ $rc -ne 0 ] || fail "scripts/test.sh went on without PostgreSQL under CI=true"
    [ $rc -ne 124 ] || fail "scripts/test.sh did not stop at once"
    grep -q "PostgreSQL could not start: under CI" "$scratch/out" || fail "no word of the failed cluster"
    ;;
run-store)
    # scripts/run.sh has the records store on its fixed port 2008: hold that
    # port with another lockserver, of another folder (if some other program
    # holds it already, that does as well).
    bin=${KANDRILOX_BIN_DIR:?the program folder}
    "$bin/lockserver" --listen 127.0.0.1:2008 --database "sqlite:$scratch/other.db" 2>"$scratch/holder" &
    holder=$!
    for _ in $(seq 100); do
        grep -q "^listening on" "$scratch/holder" && break
        kill -0 $holder 2>/dev/null || break
        sleep 0.1
    done
    timeout 120 "$root/scripts/run.sh" --no-build >"$scratch/out" 2>&1
    rc=$?
    cat "$scratch/out"
    [ $rc -eq 1 ] || fail "scripts/run.sh gave $rc, not 1"
    grep -q "records store could not listen on 127.0.0.1:2008" "$scratch/out" || fail "no word of the taken port"
    grep -q "front desk on port 7800" "$scratch/out" && fail "scripts/run.sh announced a records store it does not run"
    ;;
*)
    echo "usage: $0 ci-postgres|run-store" >&2
    exit 2
    ;;
esac
echo PASS
