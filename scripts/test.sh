#!/usr/bin/env bash
# Installs what the tests need, builds Kandrilox with warnings as errors, starts
# a throwaway PostgreSQL cluster for the records-store tests, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
KANDRILOX_CMAKE_ARGS="-DKANDRILOX_WERROR=ON ${KANDRILOX_CMAKE_ARGS:-}" "$root/scripts/build.sh"

if pg_env=$("$root/scripts/test-postgres.sh" start); then
    export "$pg_env"
    trap '"$root/scripts/test-postgres.sh" stop' EXIT
else
    echo "PostgreSQL could not start: the PostgreSQL tests will be skipped." >&2
fi

ctest --test-dir "$root/build" --output-on-failure -j2 --timeout 300 "$@"
