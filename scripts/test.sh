#!/usr/bin/env bash
# Installs what the tests need, starts a throwaway PostgreSQL cluster for the
# records-store tests, builds Kandrilox with warnings as errors, and runs every
# test. Under CI=true a cluster that cannot start fails the run (before the
# build): CI runs the PostgreSQL tests instead of skipping them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"

if pg_env=$("$root/scripts/test-postgres.sh" start); then
    export "$pg_env"
    trap '"$root/scripts/test-postgres.sh" stop' EXIT
elif [ "${CI:-}" = "true" ]; then
    echo "PostgreSQL could not start: under CI the PostgreSQL tests must run, so this is a failure." >&2
    exit 1
else
    echo "PostgreSQL could not start: the PostgreSQL tests will be skipped." >&2
fi

KANDRILOX_CMAKE_ARGS="-DKANDRILOX_WERROR=ON ${KANDRILOX_CMAKE_ARGS:-}" "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j2 --timeout 300 "$@"
